#include "PeopleBatch.h"

#include "ChangeStamp.h"

#include "Connection.h"
#include "Dataset.h"
#include "MainDataModule.h"
#include "Trash.h"
#include "data/DataError.h"
#include "storage/Store.h"

namespace {
// Rows per transaction: large enough that commits cost little, small enough that a crash or a
// full disk takes back only a moment's work.
constexpr int kBatchRows = 5000;

bool isBlank(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() > 32)
            return false;
    return true;
}

bool beyondAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() > 0x7F)
            return true;
    return false;
}

QString fold(QStringView text) { return text.toString().toCaseFolded(); }

// As the duplicate test's index compares names: A to Z without their case, nothing else.
QString foldAZ(QStringView text)
{
    QString out = text.toString();
    for (QChar& c : out)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return out;
}

QString knownKey(const QString& name, QStringView email1) { return name + QChar(0x1F) + fold(email1); }

// An empty value stores nothing.
void bindText(storage::Statement& s, int index, QStringView text)
{
    if (text.isEmpty())
        s.bindNull(index);
    else
        s.bindTextInPlace(index, text);
}

void bindCompany(storage::Statement& s, int index, const QVariant& id)
{
    if (id.isNull() || !id.isValid())
        s.bindNull(index);
    else
        s.bindInteger(index, id.toLongLong());
}
} // namespace

PeopleBatch::PeopleBatch(TMainDataModule& data, const QStringList& columns) : m_data(data), m_columns(columns)
{
    m_nameColumn = int(columns.indexOf("Name"));
    m_email1Column = int(columns.indexOf("Email1"));
}

PeopleBatch::~PeopleBatch()
{
    if (!m_finished) {
        // Leaving early (an unexpected error): what was written stays written.
        try {
            commit();
        } catch (...) {
        }
        restoreSettings();
        if (m_committed > 0)
            m_data.MainADOConnection.noteWrite("People");
    }
}

void PeopleBatch::recordImport(const QString& fileName) { m_import = std::make_unique<Trash::ImportRecord>(fileName, m_data.MainADOConnection.userName()); }
qint64 PeopleBatch::importId() const { return m_import && m_committed > 0 ? m_import->id() : 0; }

storage::Store& PeopleBatch::store() const { return m_data.MainADOConnection.store(); }

std::unique_ptr<storage::Statement> PeopleBatch::prepare(const QString& sql) { return store().prepare(sql.toUtf8()); }

void PeopleBatch::failed(const DataError& error)
{
    if (m_inTransaction && !store().inTransaction()) {
        // The database took the whole transaction back: its rows are gone.
        m_data.MainADOConnection.rollback();
        m_inTransaction = false;
        dropGathered();
        if (m_pending > 0)
            m_lostFrom = m_pendingFrom;
        m_pending = 0;
        if (m_import)
            m_import->rolledBack();
    }
    throw error;
}

void PeopleBatch::begin()
{
    // Moving the companies dataset settles the current person, as a search does.
    Dataset* companies = m_data.CompaniesTable;
    companies->first();
    if (!companies->isEmpty())
        m_companyId = companies->value("CompanyID").toInt();
    Dataset* people = m_data.PeopleCompanyDet;
    m_startCount = people->recordCount();
    for (const QString& c : m_columns)
        m_widths << people->columnSize(c);

    // For the length of the batch: commits wait for the disk only at the checkpoint that ends it.
    // Put back when the batch ends.
    store().setBulkLoad(true);
    m_settingsChanged = true;

    QStringList names{Connection::quote("CompanyID")};
    QStringList marks{"?"};
    for (const QString& c : m_columns) {
        names << Connection::quote(c);
        marks << "?";
    }
    // Every person of the import carries who imported them and when.
    m_stamp.clear();
    QStringList stampColumns;
    ChangeStamp::add(m_data.MainADOConnection, "People", stampColumns, m_stamp);
    for (const QString& c : std::as_const(stampColumns)) {
        names << c;
        marks << "?";
    }
    m_versionAtBegin = m_data.MainADOConnection.tableVersion("People");
    m_gathering = store().prefersBatches();
    if (m_gathering) {
        m_rowColumns = QStringList{Connection::quote("PersonID")} + names;
        m_rows = std::make_unique<storage::Rows>(int(m_rowColumns.size()));
        m_answerRows = std::make_unique<storage::Rows>(3);
        return;
    }
    m_insert = prepare("INSERT INTO \"People\" (" + names.join(", ") + ") VALUES (" + marks.join(", ") + ")");
    // Name and CompanyID come from the index; the name without regard to the case of A to Z.
    m_find = prepare("SELECT \"PersonID\", \"Email1\" FROM \"People\" WHERE \"CompanyID\" = ?1 AND "
                     + store().equalFoldingAZ("\"Name\"", "?2"));
}

void PeopleBatch::restoreSettings()
{
    if (!m_settingsChanged)
        return;
    m_settingsChanged = false;
    // The checkpoint syncs the file, so the new people are on disk whatever the setting was; it
    // is the one a save ends with, so the file alone holds what the import reports, or the user
    // hears why not.
    if (m_committed > 0)
        m_data.MainADOConnection.checkpoint();
    if (m_data.MainADOConnection.isOpen())
        store().setBulkLoad(false);
}

int PeopleBatch::width(int column) const
{
    return column >= 0 && column < m_widths.size() ? m_widths[column] : 0;
}

void PeopleBatch::loadFoldedNames()
{
    m_foldedLoaded = true;
    {
        auto s = prepare("SELECT \"PersonID\", \"Name\" FROM \"People\" WHERE \"CompanyID\" = ?1 AND "
                         + store().beyondAscii("\"Name\""));
        bindCompany(*s, 1, m_companyId);
        while (s->step())
            m_foldedNames.insert(qHash(s->text(1).toCaseFolded()), s->integer(0));
    }
    m_byId = prepare("SELECT \"Name\", \"Email1\" FROM \"People\" WHERE \"PersonID\" = ?1");
}

qint64 PeopleBatch::findDuplicate(QStringView name, QStringView email1)
{
    if (m_gathering) {
        try {
            if (!m_knownLoaded)
                loadKnown();
        } catch (const DataError& e) {
            failed(e);
        }
        const qint64 found = knownDuplicate(name, email1);
        if (found)
            m_lastTouched = found;
        return found;
    }
    if (!m_find)
        throw DataError("The batch has not begun.");
    const QString email = fold(email1);
    qint64 found = 0;
    try {
        m_find->reset();
        bindCompany(*m_find, 1, m_companyId);
        bindText(*m_find, 2, name);
        while (m_find->step()) {
            if (m_find->text(1).toCaseFolded() == email) {
                found = m_find->integer(0);
                break;
            }
        }
        m_find->reset();
        if (!found) {
            // Letters beyond ASCII differ in case only in ways the index cannot see.
            if (!m_foldedLoaded)
                loadFoldedNames();
            const QString folded = fold(name);
            for (auto [it, end] = m_foldedNames.equal_range(qHash(folded)); it != end && !found; ++it) {
                m_byId->reset();
                m_byId->bindInteger(1, *it);
                if (m_byId->step() && m_byId->text(0).toCaseFolded() == folded
                    && m_byId->text(1).toCaseFolded() == email)
                    found = *it;
                m_byId->reset();
            }
        }
    } catch (const DataError& e) {
        failed(e);
    }
    if (found)
        m_lastTouched = found;
    return found;
}

qint64 PeopleBatch::add(const std::vector<QStringView>& values, int source)
{
    if (!m_insert && !m_gathering)
        throw DataError("The batch has not begun.");
    const QStringView name = m_nameColumn >= 0 && m_nameColumn < int(values.size()) ? values[m_nameColumn] : QStringView();
    if (isBlank(name))
        throw DataError("Required field (Name) is empty.");
    qint64 id = 0;
    try {
        if (!m_inTransaction) {
            m_data.MainADOConnection.begin();
            m_inTransaction = true;
            pauseInsertLog();
        }
        if (m_gathering) {
            id = gather(values);
            if (m_knownLoaded)
                know(id, name, m_email1Column >= 0 && m_email1Column < int(values.size()) ? values[m_email1Column] : QStringView());
        } else {
            m_insert->reset();
            bindCompany(*m_insert, 1, m_companyId);
            for (int i = 0; i < m_columns.size(); ++i)
                bindText(*m_insert, i + 2, i < int(values.size()) ? values[i] : QStringView());
            for (int i = 0; i < m_stamp.size(); ++i)
                m_insert->bindText(int(m_columns.size()) + 2 + i, m_stamp[i].toString());
            m_insert->run();
            m_insert->reset();
            id = store().lastInsertId();
        }
    } catch (const DataError& e) {
        if (m_insert)
            m_insert->reset();
        failed(e);
    }
    if (m_pending++ == 0) {
        m_pendingFrom = source;
        m_pendingFirst = id;
    }
    m_pendingLast = id;
    m_lastTouched = id;
    if (m_firstAdded == 0 || id < m_firstAdded)
        m_firstAdded = id;
    if (m_foldedLoaded && beyondAscii(name))
        m_foldedNames.insert(qHash(fold(name)), id);
    if (m_pending >= kBatchRows)
        commit();
    return id;
}

void PeopleBatch::addAnswers(qint64 person, const QVector<int>& answers)
{
    if (!m_inTransaction)
        throw DataError("The person of these answers has not been added.");
    if (m_gathering) {
        // After the people they belong to.
        for (int i = 0; i < answers.size(); ++i) {
            m_answerRows->addInteger(person);
            m_answerRows->addInteger(i + 1);
            m_answerRows->addInteger(answers[i]);
        }
        return;
    }
    try {
        if (!m_answer)
            m_answer = prepare("INSERT INTO \"QuestionsMain\" (\"PersonID\", \"QuestionID\", \"Answer\") VALUES (?1, ?2, ?3)");
        for (int i = 0; i < answers.size(); ++i) {
            m_answer->reset();
            m_answer->bindInteger(1, person);
            m_answer->bindInteger(2, i + 1);
            m_answer->bindInteger(3, answers[i]);
            m_answer->run();
        }
        m_answer->reset();
    } catch (const DataError& e) {
        m_answer->reset();
        failed(e);
    }
}

// A trigger that logs each insert makes SQLite journal every page an insert touches, which
// doubles the time of a large import. For the length of each of the batch's transactions it is
// dropped, and one entry without a person tells readers of the log to read every person again;
// it is made again before the commit, so no other program ever sees the file without it.
void PeopleBatch::pauseInsertLog()
{
    m_insertLog = store().triggerDefinition("PeopleInsertLog");
    if (m_insertLog.isEmpty())
        return;
    store().exec("DROP TRIGGER \"PeopleInsertLog\"");
    store().exec("INSERT INTO \"PeopleChanges\" (\"PersonID\") VALUES (NULL)");
}

void PeopleBatch::commit()
{
    if (!m_inTransaction)
        return;
    // The import's record goes in with its people, or neither does.
    try {
        sendGathered();
        if (m_import && m_pending > 0)
            m_import->record(store(), m_pendingFirst, m_pendingLast, m_pending);
        if (!m_insertLog.isEmpty())
            store().exec(m_insertLog);
        // The checkpoint waits for the end of the batch.
        m_data.MainADOConnection.commit(Connection::Checkpoint::Later);
    } catch (const DataError& e) {
        m_data.MainADOConnection.rollback();
        m_inTransaction = false;
        dropGathered();
        if (m_pending > 0)
            m_lostFrom = m_pendingFrom;
        m_pending = 0;
        if (m_import)
            m_import->rolledBack();
        throw;
    }
    if (m_import)
        m_import->committed();
    m_inTransaction = false;
    m_nextKey = 0; // others may add people before the next transaction
    m_committed += m_pending;
    m_pending = 0;
}

void PeopleBatch::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    QString error;
    try {
        commit();
    } catch (const DataError& e) {
        error = e.text();
    }
    // The file alone, without its write-ahead log, holds the new people.
    restoreSettings();
    Dataset* people = m_data.PeopleCompanyDet;
    if (m_committed > 0) {
        m_data.MainADOConnection.noteWrite("People");
        m_data.RefillLists();
        // The list takes in the people added, not every person again, when nothing else wrote.
        people->refreshAdded(m_firstAdded - 1, m_versionAtBegin);
    }
    if (m_lastTouched)
        people->locate({"PersonID"}, {m_lastTouched});
    if (!error.isEmpty())
        throw DataError(error);
}

qint64 PeopleBatch::gather(const std::vector<QStringView>& values)
{
    if (m_nextKey == 0)
        m_nextKey = store().nextKey(Connection::quote("People"), Connection::quote("PersonID"));
    const qint64 id = m_nextKey++;
    m_rows->addInteger(id);
    if (m_companyId.isNull() || !m_companyId.isValid())
        m_rows->addNull();
    else
        m_rows->addInteger(m_companyId.toLongLong());
    for (int i = 0; i < m_columns.size(); ++i) {
        const QStringView v = i < int(values.size()) ? values[i] : QStringView();
        if (v.isEmpty())
            m_rows->addNull();
        else
            m_rows->addText(v);
    }
    for (const QVariant& v : std::as_const(m_stamp))
        m_rows->addText(v.toString());
    return id;
}

void PeopleBatch::sendGathered()
{
    if (!m_gathering)
        return;
    if (m_rows->count() > 0)
        store().insertRows(Connection::quote("People"), m_rowColumns, *m_rows);
    m_rows->clear();
    if (m_answerRows->count() > 0)
        store().insertRows(Connection::quote("QuestionsMain"),
                           {Connection::quote("PersonID"), Connection::quote("QuestionID"), Connection::quote("Answer")},
                           *m_answerRows);
    m_answerRows->clear();
}

void PeopleBatch::dropGathered()
{
    if (!m_gathering)
        return;
    m_rows->clear();
    m_answerRows->clear();
    m_nextKey = 0;
    if (m_knownLoaded) {
        // The known list held people the database took back: it is read again when next asked.
        m_knownLoaded = false;
        m_knownAZ.clear();
        m_knownFolded.clear();
    }
}

// One read of the company's people instead of one question per row; the people gathered so far
// go first, so that the read finds them too.
void PeopleBatch::loadKnown()
{
    if (m_inTransaction)
        sendGathered();
    auto s = prepare("SELECT \"PersonID\", \"Name\", \"Email1\" FROM \"People\" WHERE \"CompanyID\" = ?1 "
                     "ORDER BY \"PersonID\"");
    bindCompany(*s, 1, m_companyId);
    while (s->step())
        know(s->integer(0), s->utf16(1), s->utf16(2));
    m_knownLoaded = true;
}

void PeopleBatch::know(qint64 id, QStringView name, QStringView email1)
{
    // The first one, as the index finds it, stays the one found.
    const QString key = knownKey(foldAZ(name), email1);
    if (!m_knownAZ.contains(key))
        m_knownAZ.insert(key, id);
    if (beyondAscii(name)) {
        const QString folded = knownKey(fold(name), email1);
        if (!m_knownFolded.contains(folded))
            m_knownFolded.insert(folded, id);
    }
}

qint64 PeopleBatch::knownDuplicate(QStringView name, QStringView email1) const
{
    if (m_companyId.isNull() || !m_companyId.isValid())
        return 0; // no company: the index finds nobody either
    if (const qint64 id = m_knownAZ.value(knownKey(foldAZ(name), email1)))
        return id;
    return m_knownFolded.value(knownKey(fold(name), email1));
}

QHash<qint64, QVector<int>> readQuestionAnswers(TMainDataModule& data)
{
    storage::Prepared s(data.MainADOConnection.store(),
                        "SELECT \"PersonID\", \"QuestionID\", \"Answer\" FROM \"QuestionsMain\"");
    QHash<qint64, QVector<int>> answers;
    while (s->step()) {
        const qint64 question = s->integer(1);
        if (question < 1 || question > 24 || s->isNull(0))
            continue;
        QVector<int>& a = answers[s->integer(0)];
        if (a.isEmpty())
            a.fill(-1, 24);
        a[question - 1] = s->isNull(2) ? -1 : int(s->integer(2));
    }
    return answers;
}
