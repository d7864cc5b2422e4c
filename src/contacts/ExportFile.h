#pragma once
#include <QByteArray>
#include <QSaveFile>
#include <QString>

class TMainDataModule;

// A file that an export writes: made beside its final name and put in place only when all of it
// is written, so that Cancel or a full disk leaves a file of that name as it was. What goes wrong
// is said in words a user acts on.
class ExportFile {
public:
    explicit ExportFile(const QString& path) : m_path(path), m_file(path) {}

    bool open();                  // false: failure() says why
    bool write(QByteArray& bytes); // emptied, keeping its memory, when written
    bool commit();                // writes what is buffered, then puts the file in place
    void cancel() { m_file.cancelWriting(); }
    QString failure() const { return m_failure; }
    // "The file ... cannot be written: <why>.\n" followed by what was not done.
    QString cannotWrite(const QString& nothingDone) const;

    // Before an export asks for a file: a pending change is saved first, as every command that
    // reads the list does, and an empty list is said ("The database is empty."). True when there
    // are people to export.
    static bool peopleOnFile(TMainDataModule& data);

    // The file names the program's own database, which is never written over.
    static bool isDatabase(const QString& path, const QString& database);

private:
    QString m_path;
    QSaveFile m_file;
    QString m_failure;
};
