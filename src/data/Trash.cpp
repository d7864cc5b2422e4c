#include "Trash.h"

#include "Connection.h"
#include "RowReader.h"
#include "data/DataError.h"

#include <QDir>
#include <QHash>
#include <QSet>

#include "storage/Store.h"

namespace Trash {
namespace {
std::function<QDateTime()>& clock()
{
    static std::function<QDateTime()> c;
    return c;
}

// A set of identities bound as one value: one statement for any number of rows.
QVariant idList(Connection& c, const QList<qint64>& ids) { return c.store().keyList(ids); }

QString in(Connection& c, const QString& name) { return c.store().inKeys(name, "?"); }

QStringList columnsOf(Connection& c, const QString& table)
{
    QStringList names;
    for (const storage::ColumnInfo& column : c.store().columns(table))
        names << column.name;
    if (names.isEmpty())
        throw DataError(QString("%1 has no trash: the table %2 is missing.").arg(c.fileName(), table));
    return names;
}

// The columns a table and its copy in the trash share: the table's own columns when the trash
// was made, so a column added to the table later simply stays empty in a person brought back.
QStringList shared(Connection& c, const QString& table, const QString& copy)
{
    const QStringList copied = columnsOf(c, copy);
    QStringList both;
    for (const QString& name : columnsOf(c, table))
        if (copied.contains(name))
            both << name;
    return both;
}

QString joined(const QStringList& columns, const QString& prefix = {})
{
    QStringList quoted;
    for (const QString& name : columns)
        quoted << prefix + Connection::quote(name);
    return quoted.join(", ");
}

qint64 integer(Connection& c, const QString& sql, const QVariantList& values = {})
{
    RowReader q(c, sql, values);
    return q.next() ? q.integer(0) : 0;
}

QList<qint64> integers(Connection& c, const QString& sql, const QVariantList& values = {})
{
    QList<qint64> out;
    RowReader q(c, sql, values);
    while (q.next())
        out << q.integer(0);
    return out;
}

void noteWrites(Connection& c)
{
    for (const char* table : {"People", "PeopleFollowUp", "QuestionsMain", "TrashPeople", "Imports"})
        c.noteWrite(table);
}

// A log trigger of People writes and prunes the change log once per row, which makes a move of
// many people several times slower. For such a move it is dropped inside the move's transaction,
// one entry without a person tells other copies to read every person again, and it is made again
// before the commit, so no other program ever sees the file without it.
constexpr int kManyPeople = 500;

class PausedLog {
public:
    PausedLog(Connection& c, const char* trigger, bool many) : m_c(c)
    {
        if (!many)
            return;
        m_sql = QString::fromUtf8(c.store().triggerDefinition(trigger));
        if (m_sql.isEmpty())
            return;
        c.exec(QString("DROP TRIGGER \"%1\"").arg(trigger));
        c.exec("INSERT INTO \"PeopleChanges\" (\"PersonID\") VALUES (NULL)");
    }
    void resume()
    {
        if (!m_sql.isEmpty())
            m_c.exec(m_sql);
        m_sql.clear();
    }

private:
    Connection& m_c;
    QString m_sql;
};

// Inside a transaction: the people go to the trash with what belongs to them.
int moveIds(Connection& c, const QList<qint64>& ids, qint64 undoneImport)
{
    if (ids.isEmpty())
        return 0;
    const QStringList people = shared(c, "People", "TrashPeople");
    const QStringList followUps = shared(c, "PeopleFollowUp", "TrashFollowUp");
    const qint64 before = integer(c, "SELECT coalesce(max(\"TrashID\"), 0) FROM \"TrashPeople\"");
    c.exec("INSERT INTO \"TrashPeople\" (\"DeletedAt\", \"DeletedBy\", \"UndoneImportID\", " + joined(people)
               + ") SELECT ?, ?, ?, " + joined(people) + " FROM \"People\" WHERE " + in(c, "\"PersonID\""),
           {stamp(now()), c.userName(), undoneImport ? QVariant(undoneImport) : QVariant(), idList(c, ids)});
    const int moved = int(c.changes());
    // New rows of TrashPeople come after every older one, so "> before" is this move's.
    c.exec("INSERT INTO \"TrashFollowUp\" (\"TrashID\", " + joined(followUps) + ") SELECT t.\"TrashID\", "
               + joined(followUps, "f.")
               + " FROM \"TrashPeople\" t JOIN \"PeopleFollowUp\" f ON f.\"PersonID\" = t.\"PersonID\" "
                 "WHERE t.\"TrashID\" > ?",
           {before});
    c.exec("INSERT INTO \"TrashAnswers\" (\"TrashID\", \"PersonID\", \"QuestionID\", \"Answer\") "
           "SELECT t.\"TrashID\", q.\"PersonID\", q.\"QuestionID\", q.\"Answer\" FROM \"TrashPeople\" t "
           "JOIN \"QuestionsMain\" q ON q.\"PersonID\" = t.\"PersonID\" WHERE t.\"TrashID\" > ?",
           {before});
    const QString moving = " IN (SELECT \"PersonID\" FROM \"TrashPeople\" WHERE \"TrashID\" > ?)";
    c.exec("DELETE FROM \"PeopleFollowUp\" WHERE \"PersonID\"" + moving, {before});
    c.exec("DELETE FROM \"QuestionsMain\" WHERE \"PersonID\"" + moving, {before});
    PausedLog log(c, "PeopleDeleteLog", moved >= kManyPeople);
    c.exec("DELETE FROM \"People\" WHERE \"PersonID\"" + moving, {before});
    log.resume();
    return moved;
}

void deleteTrash(Connection& c, const QVariant& trashIds)
{
    for (const char* table : {"TrashFollowUp", "TrashAnswers", "TrashPeople"})
        c.exec(QString("DELETE FROM \"%1\" WHERE ").arg(table) + in(c, "\"TrashID\""), {trashIds});
}

// 64-bit FNV-1a: the same on every machine and in every run, unlike qHash.
quint64 mix(quint64 h, const void* data, size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}
constexpr quint64 kSeed = 14695981039346656037ull;

// What each person looks like on file: every value that is set, by column name and type, and the
// questionnaire answers that are given. Read back from the file itself, so the import's record and
// a later check compare values as stored.
// condition: what the person's identity %1 must meet.
void fingerprints(storage::Store& store, const QString& condition, const std::function<void(storage::Statement&)>& bind,
                  QHash<qint64, quint64>& out)
{
    {
        storage::Prepared s(store, ("SELECT * FROM \"People\" WHERE " + condition.arg("\"PersonID\"")).toUtf8());
        bind(*s);
        int idColumn = -1;
        QVector<QByteArray> names;
        for (int i = 0; i < s->columnCount(); ++i) {
            names << s->columnName(i).toUtf8();
            if (names.last().compare("PersonID", Qt::CaseInsensitive) == 0)
                idColumn = i;
        }
        while (s->step()) {
            quint64 h = kSeed;
            for (int i = 0; i < s->columnCount(); ++i) {
                const storage::ValueType kind = s->type(i);
                if (kind == storage::ValueType::Null)
                    continue;
                // The type's number as the file format knows it, so records made earlier still match.
                const int type = kind == storage::ValueType::Integer ? 1
                                 : kind == storage::ValueType::Real  ? 2
                                 : kind == storage::ValueType::Text  ? 3
                                                                     : 4;
                h = mix(h, names[i].constData(), size_t(names[i].size()) + 1);
                h = mix(h, &type, sizeof type);
                if (type == 1) {
                    const qint64 v = s->integer(i);
                    h = mix(h, &v, sizeof v);
                } else if (type == 2) {
                    const double v = s->real(i);
                    h = mix(h, &v, sizeof v);
                } else if (type == 3) {
                    const QByteArrayView v = s->utf8(i);
                    h = mix(h, v.data(), size_t(v.size()));
                } else {
                    const QByteArray v = s->blob(i);
                    h = mix(h, v.constData(), size_t(v.size()));
                }
            }
            out.insert(s->integer(idColumn), h);
        }
    }
    // A questionnaire opened without answering makes rows of -1, which is no change.
    storage::Prepared s(store, ("SELECT \"PersonID\", \"QuestionID\", \"Answer\" FROM \"QuestionsMain\" WHERE NOT "
                                + store.sameAs("\"Answer\"", "-1") + " AND " + condition.arg("\"PersonID\"")
                                + " ORDER BY 1, 2, 3")
                                   .toUtf8());
    bind(*s);
    while (s->step()) {
        auto it = out.find(s->integer(0));
        if (it == out.end())
            continue;
        const qint64 pair[2] = {s->integer(1), s->integer(2)};
        *it = mix(*it ^ 0x5bd1e995ull, pair, sizeof pair);
    }
}
} // namespace

QString userName()
{
    for (const char* name : {"USER", "USERNAME", "LOGNAME"}) {
        const QString value = qEnvironmentVariable(name).trimmed();
        if (!value.isEmpty())
            return value;
    }
    return QDir::home().dirName();
}

QDateTime now() { return (clock() ? clock()() : QDateTime::currentDateTimeUtc()).toUTC(); }

QString stamp(const QDateTime& t) { return t.toUTC().toString("yyyy-MM-ddTHH:mm:ss.zzzZ"); }

QDateTime fromStamp(const QString& text)
{
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    return t.isValid() ? t : QDateTime::fromString(text, Qt::ISODate);
}
void setClock(std::function<QDateTime()> c) { clock() = std::move(c); }

int movePeople(Connection& c, const QList<qint64>& personIds)
{
    Connection::Transaction tx(c);
    const int moved = moveIds(c, personIds, 0);
    tx.commit();
    noteWrites(c);
    return moved;
}

int moveCompany(Connection& c, const QVariant& companyId)
{
    Connection::Transaction tx(c);
    // Read under the write lock: whoever adds people meanwhile waits, and is not missed.
    const QList<qint64> ids = integers(c, "SELECT \"PersonID\" FROM \"People\" WHERE " + c.store().sameAs("\"CompanyID\"", "?"), {companyId});
    const int moved = moveIds(c, ids, 0);
    tx.commit();
    noteWrites(c);
    return moved;
}

QVector<Entry> entries(Connection& c)
{
    QVector<Entry> out;
    {
        RowReader q(c, "SELECT \"TrashID\", \"Name\", \"Company\", \"DeletedAt\", \"DeletedBy\" FROM \"TrashPeople\" "
                       "WHERE \"UndoneImportID\" IS NULL",
                    {});
        while (q.next()) {
            Entry e;
            e.id = q.integer(0);
            e.name = q.value(1, ColumnType::Text).toString();
            e.company = q.value(2, ColumnType::Text).toString();
            e.when = fromStamp(q.value(3, ColumnType::Text).toString());
            e.by = q.value(4, ColumnType::Text).toString();
            out << e;
        }
    }
    RowReader q(c,
                "SELECT i.\"ImportID\", i.\"FileName\", i.\"ImportedAt\", i.\"ImportedBy\", i.\"Added\", "
                "i.\"UndoneAt\", i.\"UndoneBy\", (SELECT count(*) FROM \"TrashPeople\" t "
                "WHERE t.\"UndoneImportID\" = i.\"ImportID\") FROM \"Imports\" i WHERE i.\"Added\" > 0",
                {});
    while (q.next()) {
        Entry e;
        e.id = q.integer(0);
        e.name = q.value(1, ColumnType::Text).toString();
        const bool undone = !q.isNull(5);
        e.kind = undone ? Entry::Kind::UndoneImport : Entry::Kind::Import;
        e.when = fromStamp(q.value(undone ? 5 : 2, ColumnType::Text).toString());
        e.by = q.value(undone ? 6 : 3, ColumnType::Text).toString();
        e.count = int(undone ? q.integer(7) : q.integer(4));
        if (undone && e.count == 0)
            continue; // all of them deleted for ever: nothing left to bring back
        out << e;
    }
    std::stable_sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) {
        return a.when != b.when ? a.when > b.when : a.id > b.id;
    });
    return out;
}

namespace {
// Inside a transaction: brings the trash rows back, each under its own PersonID where that is
// free, under a new one where another person has taken it meanwhile.
Restored restoreIds(Connection& c, const QList<qint64>& trashIds)
{
    Restored result;
    if (trashIds.isEmpty())
        return result;
    const QStringList people = shared(c, "People", "TrashPeople");
    const QStringList followUps = shared(c, "PeopleFollowUp", "TrashFollowUp");
    const QVariant all = idList(c, trashIds);
    QSet<qint64> taken;
    for (qint64 id : integers(c, "SELECT p.\"PersonID\" FROM \"People\" p JOIN \"TrashPeople\" t ON t.\"PersonID\" = "
                                 "p.\"PersonID\" WHERE " + in(c, "t.\"TrashID\""),
                              {all}))
        taken.insert(id);
    QList<qint64> asTheyWere;
    struct Moved {
        qint64 trashId, personId, import;
    };
    QList<Moved> renumber;
    {
        RowReader q(c, "SELECT \"TrashID\", \"PersonID\", \"UndoneImportID\" FROM \"TrashPeople\" WHERE " + in(c, "\"TrashID\"")
                           + " ORDER BY \"TrashID\"",
                    {all});
        while (q.next()) {
            const qint64 personId = q.integer(1);
            if (q.isNull(1) || taken.contains(personId)) {
                renumber << Moved{q.integer(0), personId, q.isNull(2) ? 0 : q.integer(2)};
            } else {
                taken.insert(personId); // a second copy of the same person takes a new number
                asTheyWere << q.integer(0);
                result.personIds << personId;
            }
        }
    }
    const QVariant same = idList(c, asTheyWere);
    PausedLog log(c, "PeopleInsertLog", trashIds.size() >= kManyPeople);
    c.exec("INSERT INTO \"People\" (" + joined(people) + ") SELECT " + joined(people)
               + " FROM \"TrashPeople\" WHERE " + in(c, "\"TrashID\"") + " ORDER BY \"PersonID\"",
           {same});
    QStringList newNumber = followUps;
    newNumber.removeAll("ID");
    // An activity whose number was taken meanwhile gets a new one, before the others take theirs.
    c.exec("INSERT INTO \"PeopleFollowUp\" (" + joined(newNumber) + ") SELECT " + joined(newNumber)
               + " FROM \"TrashFollowUp\" WHERE " + in(c, "\"TrashID\"")
               + " AND \"ID\" IN (SELECT \"ID\" FROM \"PeopleFollowUp\")",
           {same});
    c.exec("INSERT INTO \"PeopleFollowUp\" (" + joined(followUps) + ") SELECT " + joined(followUps)
               + " FROM \"TrashFollowUp\" WHERE " + in(c, "\"TrashID\"")
               + " AND \"ID\" NOT IN (SELECT \"ID\" FROM \"PeopleFollowUp\") ORDER BY \"ID\"",
           {same});
    c.exec("INSERT INTO \"QuestionsMain\" (\"PersonID\", \"QuestionID\", \"Answer\") SELECT \"PersonID\", "
           "\"QuestionID\", \"Answer\" FROM \"TrashAnswers\" WHERE " + in(c, "\"TrashID\"") + " ORDER BY \"TrashAnswerID\"",
           {same});
    QStringList others = people;
    others.removeAll("PersonID");
    QStringList activity = newNumber;
    activity.removeAll("PersonID");
    for (const Moved& m : std::as_const(renumber)) {
        c.exec("INSERT INTO \"People\" (" + joined(others) + ") SELECT " + joined(others)
                   + " FROM \"TrashPeople\" WHERE \"TrashID\" = ?",
               {m.trashId});
        const qint64 personId = c.lastInsertId();
        c.exec("INSERT INTO \"PeopleFollowUp\" (\"PersonID\", " + joined(activity) + ") SELECT ?, " + joined(activity)
                   + " FROM \"TrashFollowUp\" WHERE \"TrashID\" = ? ORDER BY \"ID\"",
               {personId, m.trashId});
        c.exec("INSERT INTO \"QuestionsMain\" (\"PersonID\", \"QuestionID\", \"Answer\") SELECT ?, \"QuestionID\", "
               "\"Answer\" FROM \"TrashAnswers\" WHERE \"TrashID\" = ? ORDER BY \"TrashAnswerID\"",
               {personId, m.trashId});
        if (m.import)
            c.exec("UPDATE \"ImportedPeople\" SET \"PersonID\" = ? WHERE \"ImportID\" = ? AND \"PersonID\" = ?",
                   {personId, m.import, m.personId});
        result.personIds << personId;
        ++result.renumbered;
    }
    log.resume();
    deleteTrash(c, all);
    return result;
}
} // namespace

Restored restore(Connection& c, const QList<qint64>& trashIds)
{
    Connection::Transaction tx(c);
    const Restored result = restoreIds(c, trashIds);
    tx.commit();
    noteWrites(c);
    return result;
}

int purge(Connection& c, const QList<qint64>& trashIds)
{
    Connection::Transaction tx(c);
    const QVariant ids = idList(c, trashIds);
    const int n = int(integer(c, "SELECT count(*) FROM \"TrashPeople\" WHERE " + in(c, "\"TrashID\""), {ids}));
    deleteTrash(c, ids);
    tx.commit();
    noteWrites(c);
    return n;
}

int dropExpired(Connection& c)
{
    const QString cutoff = stamp(now().addDays(-kKeptDays));
    // An import older than that can no longer be taken back either.
    const QString expired = "SELECT \"ImportID\" FROM \"Imports\" WHERE coalesce(\"UndoneAt\", \"ImportedAt\") < ?";
    // Most starts find nothing to drop: one question then, and no write lock taken.
    if (integer(c, "SELECT CASE WHEN EXISTS (SELECT 1 FROM \"TrashPeople\" WHERE \"DeletedAt\" < ?1) OR EXISTS ("
                       + QString(expired).replace("< ?", "< ?1") + ") THEN 1 ELSE 0 END",
                {cutoff})
        == 0)
        return 0;
    Connection::Transaction tx(c);
    const QList<qint64> old = integers(c, "SELECT \"TrashID\" FROM \"TrashPeople\" WHERE \"DeletedAt\" < ?", {cutoff});
    deleteTrash(c, idList(c, old));
    c.exec("DELETE FROM \"ImportedPeople\" WHERE \"ImportID\" IN (" + expired + ")", {cutoff});
    c.exec("DELETE FROM \"Imports\" WHERE \"ImportID\" IN (" + expired + ")", {cutoff});
    tx.commit();
    noteWrites(c);
    return int(old.size());
}

Undo undoImport(Connection& c, qint64 importId)
{
    Undo result;
    Connection::Transaction tx(c);
    {
        RowReader q(c, "SELECT \"UndoneAt\" FROM \"Imports\" WHERE \"ImportID\" = ?", {importId});
        if (!q.next() || !q.isNull(0)) {
            result.alreadyUndone = true;
            return result;
        }
    }
    QHash<qint64, quint64> recorded;
    {
        RowReader q(c, "SELECT \"PersonID\", \"Fingerprint\" FROM \"ImportedPeople\" WHERE \"ImportID\" = ?", {importId});
        while (q.next())
            recorded.insert(q.integer(0), quint64(q.integer(1)));
    }
    const QVariant ids = idList(c, recorded.keys());
    QHash<qint64, quint64> current;
    fingerprints(c.store(), c.store().inKeys("%1", "?1"), [&](storage::Statement& s) { s.bind(1, ids); },
                 current);
    // A follow-up activity logged with an imported person is a change to her too.
    QSet<qint64> followedUp;
    for (qint64 id : integers(c, "SELECT DISTINCT \"PersonID\" FROM \"PeopleFollowUp\" WHERE " + in(c, "\"PersonID\""), {ids}))
        followedUp.insert(id);
    QList<qint64> present, changed;
    for (auto it = current.cbegin(); it != current.cend(); ++it) {
        present << it.key();
        if (it.value() != recorded.value(it.key()) || followedUp.contains(it.key()))
            changed << it.key();
    }
    if (!changed.isEmpty()) {
        RowReader q(c, "SELECT \"Name\" FROM \"People\" WHERE " + in(c, "\"PersonID\"") + " ORDER BY " + c.store().foldedAZ("\"Name\"") + ", \"PersonID\"",
                    {idList(c, changed)});
        while (q.next())
            result.changed << q.value(0, ColumnType::Text).toString();
        return result; // the transaction is taken back: nothing changes
    }
    std::sort(present.begin(), present.end());
    result.taken = moveIds(c, present, importId);
    c.exec("UPDATE \"Imports\" SET \"UndoneAt\" = ?, \"UndoneBy\" = ? WHERE \"ImportID\" = ?",
           {stamp(now()), c.userName(), importId});
    tx.commit();
    noteWrites(c);
    return result;
}

Restored restoreImport(Connection& c, qint64 importId)
{
    Connection::Transaction tx(c);
    const Restored result =
        restoreIds(c, integers(c, "SELECT \"TrashID\" FROM \"TrashPeople\" WHERE \"UndoneImportID\" = ?", {importId}));
    c.exec("UPDATE \"Imports\" SET \"UndoneAt\" = NULL, \"UndoneBy\" = NULL WHERE \"ImportID\" = ?", {importId});
    tx.commit();
    noteWrites(c);
    return result;
}

int purgeImport(Connection& c, qint64 importId)
{
    Connection::Transaction tx(c);
    const QList<qint64> ids = integers(c, "SELECT \"TrashID\" FROM \"TrashPeople\" WHERE \"UndoneImportID\" = ?", {importId});
    deleteTrash(c, idList(c, ids));
    c.exec("DELETE FROM \"ImportedPeople\" WHERE \"ImportID\" = ?", {importId});
    c.exec("DELETE FROM \"Imports\" WHERE \"ImportID\" = ?", {importId});
    tx.commit();
    noteWrites(c);
    return int(ids.size());
}

// ---- the record an import keeps --------------------------------------------------------------

void ImportRecord::record(storage::Store& store, qint64 first, qint64 last, int count)
{
    if (m_id == 0) {
        store.exec("INSERT INTO \"Imports\" (\"FileName\", \"ImportedAt\", \"ImportedBy\") VALUES (?1, ?2, ?3)",
                   {m_fileName, stamp(now()), m_user});
        m_id = store.lastInsertId();
        m_madeInOpen = true;
    }
    // The open transaction holds the write lock, so every PersonID from first to last is its own.
    QHash<qint64, quint64> prints;
    fingerprints(store, "%1 BETWEEN ?1 AND ?2", [&](storage::Statement& st) {
        st.bindInteger(1, first);
        st.bindInteger(2, last);
    }, prints);
    storage::Rows rows(3);
    for (auto it = prints.cbegin(); it != prints.cend(); ++it) {
        rows.addInteger(m_id);
        rows.addInteger(it.key());
        rows.addInteger(qint64(it.value()));
    }
    store.insertRows("\"ImportedPeople\"", {"\"ImportID\"", "\"PersonID\"", "\"Fingerprint\""}, rows);
    store.exec("UPDATE \"Imports\" SET \"Added\" = \"Added\" + ?1 WHERE \"ImportID\" = ?2", {count, m_id});
}

void ImportRecord::rolledBack()
{
    if (m_madeInOpen)
        m_id = 0;
    m_madeInOpen = false;
}

} // namespace Trash
