#include "PeopleExport.h"

#include "CsvImport.h"
#include "PeopleTransfer.h"
#include "VCard.h"
#include "VCardPeople.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "data/PeopleBatch.h"
#include "data/DataError.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace PeopleExport {
namespace {
constexpr qsizetype kChunk = 1 << 20; // bytes gathered before each write

QString cannotWrite(const QString& path, const QString& reason)
{
    return QString("The file %1 cannot be written: %2\nNothing was exported.")
        .arg(QDir::toNativeSeparators(path), PeopleTransfer::sentence(reason));
}

// What the system said of a failed write, in words a user acts on; the file's own text when the
// system said nothing.
QString writeFailure(int error, const QString& fallback)
{
    switch (error) {
    case 0: return fallback;
    case ENOSPC: return "The disk is full";
    case EDQUOT: return "The disk quota is used up";
    case EROFS: return "The disk is read-only";
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Why a file cannot be made in its folder: the folder is missing or not writable, or what the
// system said.
QString openFailure(const QString& path, const QString& fallback)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QString shown = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).isDir())
        return QString("The folder %1 does not exist").arg(shown);
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QString("The folder %1 cannot be written (%2)").arg(shown, writeFailure(errno, fallback).toLower());
    return fallback;
}

class Export {
public:
    Export(QWidget* parent, TMainDataModule& data, Format format, const QString& path)
        : m_parent(parent), m_data(data), m_format(format), m_path(path), m_file(path)
    {
    }
    void exec();

private:
    bool flush(QByteArray& bytes);
    // values: those of the walked columns; m_columns holds each exported column's place in them.
    void writeCsv(const std::vector<QVariant>& values, QByteArray& out);
    void writeVCard(const std::vector<QVariant>& values, VCard::Writer& out);

    QWidget* m_parent;
    TMainDataModule& m_data;
    Format m_format;
    QString m_path;
    QSaveFile m_file;
    Dataset* m_people = nullptr;
    std::vector<int> m_columns; // place of each exported column among the walked ones; -1: none
    QHash<qint64, QVector<int>> m_answers;
    int m_personId = -1;
    int m_error = 0; // what the system said of the write that failed
};

bool Export::flush(QByteArray& bytes)
{
    errno = 0;
    if (m_file.write(bytes) != bytes.size()) {
        m_error = errno;
        return false;
    }
    bytes.resize(0); // keeps its memory: a buffer made anew each time costs a page fault per page
    return true;
}

void Export::writeCsv(const std::vector<QVariant>& values, QByteArray& out)
{
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (i > 0)
            out += ',';
        if (m_columns[i] >= 0)
            appendCsvField(out, values[size_t(m_columns[i])].toString());
    }
    out += "\r\n";
}

void Export::writeVCard(const std::vector<QVariant>& values, VCard::Writer& out)
{
    const auto found = m_answers.constFind(values[size_t(m_personId)].toLongLong());
    VCardPeople::write(
        out, [&](int i) { return m_columns[i] < 0 ? QVariant() : values[size_t(m_columns[i])]; },
        found == m_answers.constEnd() ? nullptr : &*found);
}

void Export::exec()
{
    if (CsvImport::isDatabaseFile(m_path, m_data.MainADOConnection.databasePath())) {
        MessageBox::show(MessageBox::Icon::Error, QString("The file %1 is the program's own database. Nothing was "
                                                          "exported.")
                                                      .arg(QDir::toNativeSeparators(m_path)));
        return;
    }
    m_people = m_data.PeopleCompanyDet;
    // A pending change is saved first, as every command that reads the list does.
    m_people->settle();
    const int count = m_people->recordCount();
    if (count == 0) {
        MessageBox::show(MessageBox::Icon::Information, "The database is empty.");
        return;
    }
    const QStringList& columns = m_format == Format::Csv ? CsvImport::peopleColumns() : VCardPeople::columns();
    // The list is read in one pass over the table, in the list's order.
    QVector<int> walked;
    auto place = [&](const QString& name) {
        const int column = m_people->columnIndex(name);
        if (column < 0)
            return -1;
        const int at = int(walked.indexOf(column));
        if (at >= 0)
            return at;
        walked << column;
        return int(walked.size()) - 1;
    };
    for (const QString& c : columns)
        m_columns.push_back(place(c));
    m_personId = place("PersonID");
    if (m_format == Format::VCard)
        m_answers = readQuestionAnswers(m_data);

    if (!m_file.open(QIODevice::WriteOnly)) {
        MessageBox::show(MessageBox::Icon::Error, cannotWrite(m_path, openFailure(m_path, m_file.errorString())));
        return;
    }
    PeopleTransfer::Progress progress(m_parent, "ExportProgress", "Export",
                                      "Exporting people to " + QFileInfo(m_path).fileName());
    VCard::Writer vcard;
    QByteArray csv;
    QByteArray& out = m_format == Format::Csv ? csv : vcard.bytes();
    out.reserve(kChunk + kChunk / 4);
    if (m_format == Format::Csv) {
        // The byte-order mark tells spreadsheet programs that the file is UTF-8.
        csv = "\xEF\xBB\xBF" + CsvImport::headerLine().toUtf8() + "\r\n";
    }
    struct Stop {}; // ends the walk: cancelled, or the file refused a write
    bool written = true;
    try {
        m_people->walk(walked, [&](int row, const std::vector<QVariant>& values) {
            if (m_format == Format::Csv)
                writeCsv(values, csv);
            else
                writeVCard(values, vcard);
            if (out.size() >= kChunk && !(written = flush(out)))
                throw Stop{};
            if (progress.step(double(row + 1) / count,
                              [row] { return QString("%1 record(s) written so far.").arg(row + 1); }))
                throw Stop{};
        });
    } catch (const Stop&) {
        if (written) {
            // Cancelled: the file stays as it was, or is not made.
            progress.close();
            m_file.cancelWriting();
            return;
        }
    }
    written = written && flush(out);
    progress.closing(QString("%1 record(s) written. Closing the file...").arg(count));
    // The last buffered bytes are written before the commit, so that a full disk is named by
    // the write that met it rather than lost in the commit's own clean-up.
    if (written) {
        errno = 0;
        if (!m_file.flush()) {
            m_error = errno;
            written = false;
        }
    }
    errno = 0;
    const bool committed = written && m_file.commit();
    if (written && !committed)
        m_error = errno;
    progress.close();
    if (!committed) {
        MessageBox::show(MessageBox::Icon::Error, cannotWrite(m_path, writeFailure(m_error, m_file.errorString())));
        return;
    }
    MessageBox::show(MessageBox::Icon::Information, QString("%1 record(s) exported.").arg(count));
}
} // namespace

void appendCsvField(QByteArray& line, const QString& value)
{
    const QString guarded = u'\'' + value;
    if (isGuardedCsvField(guarded)) {
        line += '"';
        line += guarded.toUtf8().replace("\"", "\"\"");
        line += '"';
        return;
    }
    bool quote = false;
    for (QChar c : value) {
        const char16_t u = c.unicode();
        if (u == u',' || u == u'"' || u == u'\r' || u == u'\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        line += value.toUtf8();
        return;
    }
    line += '"';
    line += value.toUtf8().replace("\"", "\"\"");
    line += '"';
}

void run(QWidget* parent, TMainDataModule& data, Format format)
{
    // An empty list is said before a file is asked for; a pending change is saved first, as
    // every command that reads the list does.
    bool empty = false;
    if (!runCommand([&] {
            data.PeopleCompanyDet->settle();
            empty = data.PeopleCompanyDet->recordCount() == 0;
        }))
        return;
    if (empty) {
        MessageBox::show(MessageBox::Icon::Information, "The database is empty.");
        return;
    }
    FileDialog::Request ask;
    ask.save = true;
    if (format == Format::Csv) {
        ask.objectName = "SaveDialogCSV";
        ask.caption = "Export people to a CSV file";
        ask.filter = "CSV (Comma delimited) (*.csv)";
        ask.defaultSuffix = "csv";
    } else {
        ask.objectName = "SaveDialogVCard";
        ask.caption = "Export people to a vCard file";
        ask.filter = "vCard (*.vcf)";
        ask.defaultSuffix = "vcf";
    }
    const QString path = FileDialog::ask(parent, ask);
    if (path.isEmpty())
        return;
    runCommand([&] { Export(parent, data, format, path).exec(); });
}

} // namespace PeopleExport
