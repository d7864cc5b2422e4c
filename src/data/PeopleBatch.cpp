#include "PeopleBatch.h"

#include "Connection.h"
#include "Dataset.h"
#include "MainDataModule.h"
#include "SqliteError.h"
#include "Trash.h"
#include "data/DataError.h"

#include <QSqlDriver>

#include <sqlite3.h>

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

QString columnText(sqlite3_stmt* s, int column)
{
    const void* text = sqlite3_column_text16(s, column);
    if (!text)
        return {};
    return QString::fromUtf16(static_cast<const char16_t*>(text), sqlite3_column_bytes16(s, column) / 2);
}

void bindText(sqlite3_stmt* s, int index, QStringView text)
{
    // The view outlives the step that reads it, so SQLite need not copy it.
    if (text.isEmpty())
        sqlite3_bind_null(s, index);
    else
        sqlite3_bind_text16(s, index, text.utf16(), int(text.size() * 2), SQLITE_STATIC);
}

void bindCompany(sqlite3_stmt* s, int index, const QVariant& id)
{
    if (id.isNull())
        sqlite3_bind_null(s, index);
    else
        sqlite3_bind_int64(s, index, id.toLongLong());
}
} // namespace

PeopleBatch::PeopleBatch(TMainDataModule& data, const QStringList& columns) : m_data(data), m_columns(columns)
{
    m_nameColumn = int(columns.indexOf("Name"));
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
    sqlite3_finalize(m_insert);
    sqlite3_finalize(m_find);
    sqlite3_finalize(m_byId);
    sqlite3_finalize(m_answer);
}

void PeopleBatch::recordImport(const QString& fileName) { m_import = std::make_unique<Trash::ImportRecord>(fileName); }
qint64 PeopleBatch::importId() const { return m_import && m_committed > 0 ? m_import->id() : 0; }

// Said in the same plain words as every other refused write.
QString PeopleBatch::reason(int rc) const
{
    int code = sqlite3_extended_errcode(m_db);
    if ((code & 0xFF) != (rc & 0xFF))
        code = rc;
    return SqliteError::describe(code, QString::fromUtf8(sqlite3_errmsg(m_db)), m_data.MainADOConnection.fileName());
}

void PeopleBatch::fail(int rc)
{
    const QString text = reason(rc);
    if (m_inTransaction && sqlite3_get_autocommit(m_db)) {
        // SQLite took the whole transaction back: its rows are gone.
        m_inTransaction = false;
        if (m_pending > 0)
            m_lostFrom = m_pendingFrom;
        m_pending = 0;
        if (m_import)
            m_import->rolledBack();
    }
    throw DataError(text);
}

sqlite3_stmt* PeopleBatch::prepare(const QString& sql)
{
    sqlite3_stmt* s = nullptr;
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &s, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    return s;
}

void PeopleBatch::exec(const char* sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
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

    // Its commits are made on the handle, past the connection's own begin(): the journal is
    // checked here, once, before the first of them.
    m_data.MainADOConnection.keepOwnJournal();
    const QVariant handle = m_data.MainADOConnection.database().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw DataError("The database connection is not open.");
    m_db = *static_cast<sqlite3* const*>(handle.data());

    // For the length of the batch: commits wait for the disk only at the checkpoint that ends it,
    // the log is copied into the file once instead of at every commit, and index pages stay
    // in a cache of fixed size. Put back when the batch ends.
    m_synchronous = pragma("synchronous");
    m_cacheSize = pragma("cache_size");
    m_autoCheckpoint = pragma("wal_autocheckpoint");
    m_settingsChanged = true;
    sqlite3_exec(m_db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    sqlite3_exec(m_db, "PRAGMA cache_size = -32000", nullptr, nullptr, nullptr);
    sqlite3_wal_autocheckpoint(m_db, 0);

    QStringList names{Connection::quote("CompanyID")};
    QStringList marks{"?"};
    for (const QString& c : m_columns) {
        names << Connection::quote(c);
        marks << "?";
    }
    m_insert = prepare("INSERT INTO \"People\" (" + names.join(", ") + ") VALUES (" + marks.join(", ") + ")");
    // Name and CompanyID come from the index; the columns' NOCASE collation ignores ASCII case.
    m_find = prepare("SELECT \"PersonID\", \"Email1\" FROM \"People\" WHERE \"CompanyID\" = ?1 AND \"Name\" = ?2");
}

int PeopleBatch::pragma(const char* name)
{
    sqlite3_stmt* s = prepare(QString("PRAGMA ") + name);
    const int rc = sqlite3_step(s);
    const int value = rc == SQLITE_ROW ? sqlite3_column_int(s, 0) : 0;
    sqlite3_finalize(s);
    if (rc != SQLITE_ROW)
        fail(rc);
    return value;
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
    sqlite3_exec(m_db, QByteArray("PRAGMA synchronous = " + QByteArray::number(m_synchronous)).constData(), nullptr,
                 nullptr, nullptr);
    sqlite3_exec(m_db, QByteArray("PRAGMA cache_size = " + QByteArray::number(m_cacheSize)).constData(), nullptr,
                 nullptr, nullptr);
    sqlite3_wal_autocheckpoint(m_db, m_autoCheckpoint);
}

int PeopleBatch::width(int column) const
{
    return column >= 0 && column < m_widths.size() ? m_widths[column] : 0;
}

void PeopleBatch::loadFoldedNames()
{
    m_foldedLoaded = true;
    sqlite3_stmt* s = prepare("SELECT \"PersonID\", \"Name\" FROM \"People\" WHERE \"CompanyID\" = ?1 AND \"Name\" GLOB ?2");
    bindCompany(s, 1, m_companyId);
    const QString pattern = QStringLiteral("*[^\u0001-\u007F]*");
    bindText(s, 2, pattern);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW)
        m_foldedNames.insert(qHash(columnText(s, 1).toCaseFolded()), sqlite3_column_int64(s, 0));
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        fail(rc);
    m_byId = prepare("SELECT \"Name\", \"Email1\" FROM \"People\" WHERE \"PersonID\" = ?1");
}

qint64 PeopleBatch::findDuplicate(QStringView name, QStringView email1)
{
    if (!m_find)
        throw DataError("The batch has not begun.");
    const QString email = fold(email1);
    qint64 found = 0;
    sqlite3_reset(m_find);
    bindCompany(m_find, 1, m_companyId);
    bindText(m_find, 2, name);
    int rc;
    while ((rc = sqlite3_step(m_find)) == SQLITE_ROW) {
        if (columnText(m_find, 1).toCaseFolded() == email) {
            found = sqlite3_column_int64(m_find, 0);
            break;
        }
    }
    sqlite3_reset(m_find);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(rc);
    if (!found) {
        // Letters beyond ASCII differ in case only in ways the index cannot see.
        if (!m_foldedLoaded)
            loadFoldedNames();
        const QString folded = fold(name);
        for (auto [it, end] = m_foldedNames.equal_range(qHash(folded)); it != end && !found; ++it) {
            sqlite3_reset(m_byId);
            sqlite3_bind_int64(m_byId, 1, *it);
            if (sqlite3_step(m_byId) == SQLITE_ROW && columnText(m_byId, 0).toCaseFolded() == folded
                && columnText(m_byId, 1).toCaseFolded() == email)
                found = *it;
            sqlite3_reset(m_byId);
        }
    }
    if (found)
        m_lastTouched = found;
    return found;
}

qint64 PeopleBatch::add(const std::vector<QStringView>& values, int source)
{
    if (!m_insert)
        throw DataError("The batch has not begun.");
    const QStringView name = m_nameColumn >= 0 && m_nameColumn < int(values.size()) ? values[m_nameColumn] : QStringView();
    if (isBlank(name))
        throw DataError("Required field (Name) is empty.");
    if (!m_inTransaction) {
        exec("BEGIN IMMEDIATE");
        m_inTransaction = true;
        pauseInsertLog();
    }
    sqlite3_reset(m_insert);
    bindCompany(m_insert, 1, m_companyId);
    for (int i = 0; i < m_columns.size(); ++i)
        bindText(m_insert, i + 2, i < int(values.size()) ? values[i] : QStringView());
    const int rc = sqlite3_step(m_insert);
    sqlite3_reset(m_insert);
    if (rc != SQLITE_DONE)
        fail(rc);
    const qint64 id = sqlite3_last_insert_rowid(m_db);
    if (m_pending++ == 0) {
        m_pendingFrom = source;
        m_pendingFirst = id;
    }
    m_pendingLast = id;
    m_lastTouched = id;
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
    if (!m_answer)
        m_answer = prepare("INSERT INTO \"QuestionsMain\" (\"PersonID\", \"QuestionID\", \"Answer\") VALUES (?1, ?2, ?3)");
    for (int i = 0; i < answers.size(); ++i) {
        sqlite3_reset(m_answer);
        sqlite3_bind_int64(m_answer, 1, person);
        sqlite3_bind_int(m_answer, 2, i + 1);
        sqlite3_bind_int(m_answer, 3, answers[i]);
        const int rc = sqlite3_step(m_answer);
        sqlite3_reset(m_answer);
        if (rc != SQLITE_DONE)
            fail(rc);
    }
}

// A trigger that logs each insert makes SQLite journal every page an insert touches, which
// doubles the time of a large import. For the length of each of the batch's transactions it is
// dropped, and one entry without a person tells readers of the log to read every person again;
// it is made again before the commit, so no other program ever sees the file without it.
void PeopleBatch::pauseInsertLog()
{
    m_insertLog.clear();
    sqlite3_stmt* s = prepare("SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name = 'PeopleInsertLog'");
    if (sqlite3_step(s) == SQLITE_ROW)
        m_insertLog = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    if (m_insertLog.isEmpty())
        return;
    exec("DROP TRIGGER \"PeopleInsertLog\"");
    exec("INSERT INTO \"PeopleChanges\" (\"PersonID\") VALUES (NULL)");
}

void PeopleBatch::commit()
{
    if (!m_inTransaction)
        return;
    // The import's record goes in with its people, or neither does.
    int rc = m_import && m_pending > 0 ? m_import->record(m_db, m_pendingFirst, m_pendingLast, m_pending) : SQLITE_OK;
    if (rc == SQLITE_OK && !m_insertLog.isEmpty())
        rc = sqlite3_exec(m_db, m_insertLog.constData(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = reason(rc); // before the rollback replaces it
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inTransaction = false;
        if (m_pending > 0)
            m_lostFrom = m_pendingFrom;
        m_pending = 0;
        if (m_import)
            m_import->rolledBack();
        throw DataError(text);
    }
    if (m_import)
        m_import->committed();
    m_inTransaction = false;
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
        people->refresh();
    }
    if (m_lastTouched)
        people->locate({"PersonID"}, {m_lastTouched});
    if (!error.isEmpty())
        throw DataError(error);
}

QHash<qint64, QVector<int>> readQuestionAnswers(TMainDataModule& data)
{
    const QVariant handle = data.MainADOConnection.database().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw DataError("The database connection is not open.");
    sqlite3* db = *static_cast<sqlite3* const*>(handle.data());
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT \"PersonID\", \"QuestionID\", \"Answer\" FROM \"QuestionsMain\"", -1, &s,
                                nullptr);
    QHash<qint64, QVector<int>> answers;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        if ((rc = sqlite3_step(s)) != SQLITE_ROW)
            break;
        const int question = sqlite3_column_int(s, 1);
        if (question < 1 || question > 24 || sqlite3_column_type(s, 0) == SQLITE_NULL)
            continue;
        QVector<int>& a = answers[sqlite3_column_int64(s, 0)];
        if (a.isEmpty())
            a.fill(-1, 24);
        a[question - 1] = sqlite3_column_type(s, 2) == SQLITE_NULL ? -1 : sqlite3_column_int(s, 2);
    }
    const QString error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        throw DataError(error);
    return answers;
}
