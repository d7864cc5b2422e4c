#include "CsvImport.h"

#include "PeopleExport.h"

#include "CsvReader.h"
#include "ImportUndo.h"
#include "PeopleTransfer.h"
#include "data/MainDataModule.h"
#include "data/PeopleBatch.h"
#include "data/DataError.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <algorithm>
#include <memory>
#include <vector>

namespace CsvImport {
namespace {
bool sameFile(const QString& a, const QString& b)
{
#ifdef Q_OS_UNIX
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
           && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#else
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical.compare(QFileInfo(b).canonicalFilePath(), Qt::CaseInsensitive) == 0;
#endif
}

} // namespace

// Reading one of these files through a handle of our own and closing it would drop the locks that
// keep other programs from deleting the database's log while we write to it (POSIX locks belong to
// the process, not to the handle); writing one would destroy the data.
bool isDatabaseFile(const QString& path, const QString& database)
{
    if (database.isEmpty())
        return false;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        if (sameFile(path, database + QLatin1String(suffix)))
            return true;
    return false;
}

namespace {
constexpr int kFields = 35;
constexpr int kName = 1;
constexpr int kEmail1 = 17;
// A field is kept to this many UTF-16 units: enough to tell that it is longer than the widest
// column (255 characters), and a line of any length costs no more memory than this.
constexpr int kKeptLength = 1024;

struct Field {
    const char* header;
    const char* column;
};
constexpr Field kMapping[kFields] = {
    {"Title", "Title"}, {"Name", "Name"}, {"Company", "Company"}, {"Profession", "Profession"},
    {"Job Title", "JobTitle"}, {"Home Street", "HAStreet"}, {"Home City", "HACity"}, {"Home State", "HAState"},
    {"Home ZIP", "HAPostalCode"}, {"Home Country", "HACountry"}, {"Home PO Box", "HAPostOfficeBox"},
    {"Business Street", "BAStreet"}, {"Business City", "BACity"}, {"Business State", "BAState"},
    {"Business ZIP", "BAPostalCode"}, {"Business Country", "BACountry"}, {"Business PO Box", "BAPostOfficeBox"},
    {"Email 1", "Email1"}, {"Email 2", "Email2"}, {"Mobile", "Mobile"}, {"Primary Tel", "PrimaryTel"},
    {"Callback Tel", "TelCallback"}, {"Main Tel", "TelMain"}, {"Home Tel 1", "TelH1"}, {"Home Tel 2", "TelH2"},
    {"Home Fax", "FaxH"}, {"Business Tel 1", "TelB1"}, {"Business Tel 2", "TelB2"}, {"Business Fax 1", "FaxB1"},
    {"Business Fax 2", "FaxB2"}, {"Telex", "Telex"}, {"Company Web Site", "WebPage"},
    {"Assistant Name", "AssistantName"}, {"Manager Name", "ManagerName"}, {"Hobbies", "Hobbies"}};

// Characters as the database counts them: a pair of surrogates is one.
int characters(QStringView text)
{
    int n = int(text.size());
    for (QChar c : text)
        if (c.isLowSurrogate())
            --n;
    return n;
}

QStringView trimmed(QStringView text, bool front, bool back)
{
    while (front && !text.isEmpty() && text.front().unicode() <= 32)
        text = text.sliced(1);
    while (back && !text.isEmpty() && text.back().unicode() <= 32)
        text.chop(1);
    return text;
}

// The first line, without blanks and control characters at its ends. Spreadsheet programs that
// quote every field quote the header too, so it is compared field by field.
bool isHeader(const CsvReader::Record& r)
{
    if (r.fieldCount() != kFields)
        return false;
    for (int i = 0; i < kFields; ++i) {
        if (r.isCut(i) || trimmed(r.field(i), i == 0, i == kFields - 1) != QLatin1String(kMapping[i].header))
            return false;
    }
    return true;
}

using PeopleTransfer::addedSoFar;
using PeopleTransfer::counted;
using PeopleTransfer::isBlank;

// Re-reading the person list and refilling the suggestion lists after an import costs about this
// much per person on file on a modest machine (100,000 people: some 2 seconds), so a short file
// read into a long list still shows its progress while the list is re-read.
constexpr qint64 kUpdateMicrosecondsPerPerson = 20;

// The progress of one import: the first pass over the file, which tells its encoding, takes a
// twentieth of the bar, the reading the rest.
class Progress {
public:
    Progress(QWidget* parent, const QString& fileName)
        : m_progress(parent, "ImportProgress", "Import", "Importing people from " + fileName)
    {
    }

    // The first pass: the share of it done.
    void checking(double fraction) { m_progress.stepTo(int(fraction * kCheckSteps), [] { return QString("Checking the file..."); }); }
    // After each record: the share of the file read and the people added so far.
    void reading(double fraction, int added)
    {
        m_progress.stepTo(kCheckSteps + int(fraction * (PeopleTransfer::Progress::kSteps - kCheckSteps)),
                          [added] { return addedSoFar(added); });
    }
    bool cancelled() const { return m_progress.cancelled(); }
    // Before the person list is re-read, which takes about the given time and cannot be cancelled.
    void updating(int added, qint64 expectedMilliseconds)
    {
        m_progress.closing(QString("%1 record(s) added. Updating the person list...").arg(added), expectedMilliseconds);
    }
    void close() { m_progress.close(); }

private:
    static constexpr int kCheckSteps = 50; // the first pass is quick

    PeopleTransfer::Progress m_progress;
};

class Import {
public:
    Import(QWidget* parent, TMainDataModule& data, const QString& path)
        : m_data(data), m_path(path), m_reader(path), m_progress(parent, QFileInfo(path).fileName())
    {
        m_reader.setFieldLimit(kFields);
        m_reader.setLengthLimit(kKeptLength);
        m_reader.setScanObserver([this](double done) {
            m_progress.checking(done);
            return !m_progress.cancelled();
        });
    }

    bool exec(); // true: the user asked to see the likely duplicates among the people added

private:
    // Every message of the import comes after its progress has gone.
    void tell(MessageBox::Icon icon, const QString& text)
    {
        m_progress.close();
        MessageBox::show(icon, text);
    }
    void unreadable()
    {
        if (m_reader.problem() == CsvReader::Problem::Stopped) // cancelled before the first person
            tell(MessageBox::Icon::Information, counted(0));
        else
            tell(MessageBox::Icon::Error,
                 PeopleTransfer::unreadable(m_path, m_reader.problem() == CsvReader::Problem::NotText,
                                            m_reader.errorString()));
    }
    QString importRecord(PeopleBatch& batch, bool testDuplicates);

    TMainDataModule& m_data;
    QString m_path;
    CsvReader m_reader;
    CsvReader::Record m_record;
    std::vector<QStringView> m_values = std::vector<QStringView>(kFields);
    Progress m_progress;
    int m_broken = 0;      // characters of the people added that could not be read
    int m_firstBroken = 0; // the line of the first
    qint64 m_firstAdded = 0;
};

// Adds the person of the current record unless it is to be skipped; returns why the import must
// stop, or nothing.
QString Import::importRecord(PeopleBatch& batch, bool testDuplicates)
{
    const CsvReader::Record& r = m_record;
    if (r.openQuoteLine > 0) {
        // Everything after the quote would be one value: better no person than a wrong one.
        const QString field = r.openQuoteField >= 0 && r.openQuoteField < kFields
                                  ? QString(" the value of \"%1\"").arg(QLatin1String(kMapping[r.openQuoteField].header))
                                  : QString(" a value");
        return QString("Line %1 of the file: the quote that begins%2 is never closed. The import stopped there.")
            .arg(r.openQuoteLine)
            .arg(field);
    }
    // Values that our export guarded against a spreadsheet's formulas come back as they were.
    for (int i = 0; i < kFields; ++i)
        m_values[i] = PeopleExport::csvFieldValue(r.field(i));
    if (r.isEmptyLine() || isBlank(m_values[kName]))
        return {};
    if (testDuplicates && batch.findDuplicate(m_values[kName], m_values[kEmail1]))
        return {};
    for (int i = 0; i < kFields; ++i) {
        const int width = batch.width(i);
        if (r.isCut(i) || (width > 0 && characters(m_values[i]) > width))
            return QString("Line %1 of the file: the value of \"%2\" is longer than %3 characters. "
                           "The import stopped there.")
                .arg(r.line)
                .arg(QLatin1String(kMapping[i].header))
                .arg(width);
    }
    const qint64 id = batch.add(m_values, r.line);
    if (!m_firstAdded)
        m_firstAdded = id;
    return {};
}

bool Import::exec()
{
    if (isDatabaseFile(m_path, m_data.MainADOConnection.databasePath())) {
        tell(MessageBox::Icon::Error, QString("The file %1 is the program's own database, not a CSV file. "
                                              "Nothing was imported.")
                                          .arg(QDir::toNativeSeparators(m_path)));
        return false;
    }
    if (!m_reader.open()) {
        unreadable();
        return false;
    }
    CsvReader::Record header;
    if (!m_reader.read(header)) {
        if (m_reader.problem() != CsvReader::Problem::None)
            unreadable();
        return false;
    }
    bool more = m_reader.read(m_record);
    if (!more && m_reader.problem() != CsvReader::Problem::None) {
        unreadable();
        return false;
    }
    if (!more && m_reader.linesRead() < 2)
        return false; // nothing but a header, or nothing at all: nothing to say

    PeopleBatch batch(m_data, peopleColumns());
    batch.recordImport(QDir::toNativeSeparators(m_path));
    batch.begin();
    if (!isHeader(header) || header.openQuoteLine > 0) {
        tell(MessageBox::Icon::Error, "Incompatible CSV file.");
        return false;
    }
    // Into an empty list every person is added, identical lines included.
    const bool testDuplicates = batch.startCount() > 0;

    QString stop;
    try {
        while (more) {
            const int before = batch.added();
            try {
                stop = importRecord(batch, testDuplicates);
                if (batch.added() > before && m_record.broken > 0) {
                    if (m_broken == 0)
                        m_firstBroken = m_record.firstBrokenLine;
                    m_broken += m_record.broken;
                }
            } catch (const DataError& e) {
                stop = PeopleTransfer::notAdded(m_record.line, e.text(), batch.lostFrom());
            }
            if (!stop.isEmpty())
                break;
            m_progress.reading(m_reader.progress(), batch.added());
            if (m_progress.cancelled()) // Cancel, Escape or the close box
                break;
            more = m_reader.read(m_record);
        }
        if (stop.isEmpty() && m_reader.problem() != CsvReader::Problem::None)
            stop = QString("The file %1 could not be read to its end: %2")
                       .arg(QDir::toNativeSeparators(m_path), m_reader.errorString());
        if (batch.added() > 0)
            m_progress.updating(batch.added(), (batch.startCount() + qint64(batch.added()))
                                                   * kUpdateMicrosecondsPerPerson / 1000);
        batch.finish();
    } catch (const DataError& e) {
        const QString lost = PeopleTransfer::notStored(e.text(), batch.lostFrom());
        stop = stop.isEmpty() ? lost : stop + "\n" + lost;
        runQuietly([&] { batch.finish(); });
    }
    QString count = counted(batch.committed());
    if (m_broken > 0)
        count += ' ' + PeopleTransfer::brokenNote(m_broken, m_firstBroken);
    const int likely = batch.committed() > 0 ? PeopleTransfer::likelyDuplicates(m_data, m_firstAdded) : 0;
    m_progress.close();
    return ImportUndo::report(m_data,
                              !stop.isEmpty()  ? MessageBox::Icon::Error
                              : m_broken > 0 ? MessageBox::Icon::Warning
                                             : MessageBox::Icon::Information,
                              stop.isEmpty() ? count : stop + "\n" + count, batch.importId(), likely);
}
} // namespace

const QStringList& headerNames()
{
    static const QStringList names = [] {
        QStringList l;
        for (const Field& f : kMapping)
            l << QString::fromLatin1(f.header);
        return l;
    }();
    return names;
}

const QStringList& peopleColumns()
{
    static const QStringList columns = [] {
        QStringList l;
        for (const Field& f : kMapping)
            l << QString::fromLatin1(f.column);
        return l;
    }();
    return columns;
}

QString headerLine() { return headerNames().join(','); }

bool run(QWidget* parent, TMainDataModule& data)
{
    FileDialog::Request ask;
    ask.objectName = "OpenDialogCSV";
    ask.caption = "Import data from a CSV file";
    ask.filter = "CSV (Comma delimited) (*.csv)";
    const QString path = FileDialog::ask(parent, ask);
    if (path.isEmpty())
        return false;
    bool look = false;
    runCommand([&] { look = Import(parent, data, path).exec(); });
    return look;
}

void setProgressDelay(int milliseconds) { PeopleTransfer::setProgressDelay(milliseconds); }
void setProgressObserver(std::function<void(QProgressDialog&)> observer)
{
    PeopleTransfer::setProgressObserver(std::move(observer));
}

} // namespace CsvImport
