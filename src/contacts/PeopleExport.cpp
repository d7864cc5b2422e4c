#include "PeopleExport.h"

#include "CsvImport.h"
#include "ExportFile.h"
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

#include <vector>

namespace PeopleExport {
namespace {
constexpr qsizetype kChunk = 1 << 20; // bytes gathered before each write
const char* const kNothingExported = "Nothing was exported.";

class Export {
public:
    Export(QWidget* parent, TMainDataModule& data, Format format, const QString& path)
        : m_parent(parent), m_data(data), m_format(format), m_path(path), m_file(path)
    {
    }
    void exec();

private:
    // values: those of the walked columns; m_columns holds each exported column's place in them.
    void writeCsv(const std::vector<QVariant>& values, QByteArray& out);
    void writeVCard(const std::vector<QVariant>& values, VCard::Writer& out);

    QWidget* m_parent;
    TMainDataModule& m_data;
    Format m_format;
    QString m_path;
    ExportFile m_file;
    Dataset* m_people = nullptr;
    std::vector<int> m_columns; // place of each exported column among the walked ones; -1: none
    QHash<qint64, QVector<int>> m_answers;
    int m_personId = -1;
};

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
    if (ExportFile::isDatabase(m_path, m_data.MainADOConnection.databasePath())) {
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

    if (!m_file.open()) {
        MessageBox::show(MessageBox::Icon::Error, m_file.cannotWrite(kNothingExported));
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
            if (out.size() >= kChunk && !(written = m_file.write(out)))
                throw Stop{};
            if (progress.step(double(row + 1) / count,
                              [row] { return QString("%1 record(s) written so far.").arg(row + 1); }))
                throw Stop{};
        });
    } catch (const Stop&) {
        if (written) {
            // Cancelled: the file stays as it was, or is not made.
            progress.close();
            m_file.cancel();
            return;
        }
    }
    written = written && m_file.write(out);
    progress.closing(QString("%1 record(s) written. Closing the file...").arg(count));
    const bool committed = written && m_file.commit();
    progress.close();
    if (!committed) {
        MessageBox::show(MessageBox::Icon::Error, m_file.cannotWrite(kNothingExported));
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
    if (!ExportFile::peopleOnFile(data))
        return;
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
