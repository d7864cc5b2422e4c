#pragma once
// What each copy of the load test writes down, one line per event, and what the benchmark reads
// back at the end. Fields are separated by tabs; a text that may hold tabs or line breaks is
// flattened first.
//
//   SAVE    person column read wrote outcome answers start end ms roundTrips message
//   SEARCH  text found ms roundTrips
//   IMPORT  namePrefix lines added ms message
//   SEEN    token when          (a token of another copy showed in this copy's list)
//   FINAL   person column value (the watcher's list at the end)
//   DONE    operations
//
// outcome: stored, theirs (the question was answered No and the edit discarded), failed.
// answers: the answers to the conflict questions of that save, in order, comma-separated:
// yes (save over theirs), no-discard, no-again (No, then Save once more).
// Times are the wall clock in milliseconds since the epoch, shared by every process here.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdio>

namespace LoadLog {

inline QString flat(QString text)
{
    text.replace('\t', ' ');
    text.replace('\n', " / ");
    text.replace('\r', ' ');
    return text;
}

// A token a save writes: which copy, its count, and when the save began; unique in the run.
inline QString token(int copy, int count, qint64 when)
{
    return QString("c%1 s%2 t%3").arg(copy, 2, 10, QChar('0')).arg(count).arg(when);
}
inline int tokenCopy(const QString& token)
{
    return token.startsWith('c') ? token.mid(1, 2).toInt() : -1;
}
inline bool isToken(const QString& text) { return text.startsWith('c') && text.contains(" t"); }

class Writer {
public:
    explicit Writer(const QString& path) : m_file(std::fopen(path.toLocal8Bit().constData(), "w")) {}
    ~Writer()
    {
        if (m_file)
            std::fclose(m_file);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    bool ok() const { return m_file != nullptr; }
    // Each line reaches the file at once: a copy that crashes leaves what it did.
    void line(const QStringList& fields)
    {
        if (!m_file)
            return;
        QStringList f;
        for (const QString& field : fields)
            f << flat(field);
        const QByteArray text = f.join('\t').toUtf8() + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), m_file);
        std::fflush(m_file);
    }

private:
    std::FILE* m_file;
};

} // namespace LoadLog
