#include "PgStore.h"

#include <libpq-fe.h>

#include <utility>

// The store's description of the schema, read once per connection, and the words of SQL that
// are the server's own.

using PgSql::bareName;
using PgSql::quoted;

QString PgStore::identityKey(const QString& table)
{
    const QString name = QString::fromUtf8(bareName(table));
    if (auto it = m_keys.constFind(name); it != m_keys.constEnd())
        return *it;
    if (const TableInfo* t = describedTable(name)) {
        m_keys.insert(name, t->identity);
        return t->identity;
    }
    Result r = run("SELECT a.attname FROM pg_attribute a WHERE a.attrelid = to_regclass($1) AND a.attidentity <> '' "
                   "AND NOT a.attisdropped ORDER BY a.attnum LIMIT 1",
                   {quoted(name).toUtf8()});
    const QString key = PQntuples(r.get()) == 1 ? quoted(QString::fromUtf8(PQgetvalue(r.get(), 0, 0))) : QString();
    m_keys.insert(name, key);
    return key;
}

namespace {
const char* const kOwnSchema = "(SELECT oid FROM pg_namespace WHERE nspname = current_schema())";

// Tables, the indexes the schema made (not those that a key or a unique rule brings), and the
// triggers.
const QByteArray kObjects = QByteArray("SELECT c.relname FROM pg_class c WHERE c.relnamespace = ") + kOwnSchema
                            + " AND (c.relkind = 'r' OR (c.relkind = 'i' AND NOT EXISTS (SELECT 1 FROM pg_constraint k "
                              "WHERE k.conindid = c.oid))) UNION ALL SELECT t.tgname FROM pg_trigger t JOIN pg_class c ON "
                              "c.oid = t.tgrelid WHERE c.relnamespace = " + kOwnSchema + " AND NOT t.tgisinternal";
const char* const kVersion = "SELECT max(\"Version\") FROM \"SchemaVersion\"";

QStringList names(const PGresult* r)
{
    QStringList out;
    for (int i = 0; i < PQntuples(r); ++i)
        out << QString::fromUtf8(PQgetvalue(r, i, 0));
    return out;
}
int version(const PGresult* r) { return PQgetisnull(r, 0, 0) ? 0 : std::atoi(PQgetvalue(r, 0, 0)); }
} // namespace

QStringList PgStore::schemaObjects()
{
    ensureConnected();
    if (m_objectsAhead)
        return *std::exchange(m_objectsAhead, std::nullopt);
    return names(run(kObjects.constData()).get());
}

QStringList PgStore::tables()
{
    ensureConnected();
    if (describeSchema())
        return m_tableNames;
    return names(run(QByteArray("SELECT relname FROM pg_class WHERE relkind = 'r' AND relnamespace = ") + kOwnSchema).get());
}

// The declared types are the file's, kept as the columns' comments by the schema's translation:
// they say what the program makes of a column (a date, a yes/no, a width), which the server's
// own types (text, bigint) do not.
QVector<storage::ColumnInfo> PgStore::columns(const QString& table)
{
    ensureConnected();
    if (const TableInfo* t = describedTable(QString::fromUtf8(bareName(table))))
        return t->columns;
    Result r = run("SELECT a.attname, coalesce(btrim(regexp_replace(col_description(a.attrelid, a.attnum), '"
                   + QByteArray(PgSql::kNoCaseMark) + "$', '')), "
                   "format_type(a.atttypid, a.atttypmod)), coalesce(i.indisprimary, false) "
                   "FROM pg_attribute a LEFT JOIN pg_index i ON i.indrelid = a.attrelid AND i.indisprimary "
                   "AND a.attnum = ANY(i.indkey) "
                   "WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped AND a.attname <> $2 "
                   "ORDER BY a.attnum",
                   {quoted(QString::fromUtf8(bareName(table))).toUtf8(), PgSql::kAddedKey});
    QVector<storage::ColumnInfo> columns;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        columns.push_back({QString::fromUtf8(PQgetvalue(r.get(), i, 0)), QString::fromUtf8(PQgetvalue(r.get(), i, 1)),
                           QByteArrayView(PQgetvalue(r.get(), i, 2)) == "t"});
    return columns;
}

// Every table of the schema with its columns and its identity key, in one exchange, and kept for
// the connection: start-up and every save ask for them, and over a network each question would
// cost a round trip. Forgotten whenever this connection changes the schema. false: not known.
bool PgStore::describeSchema()
{
    if (m_described)
        return true;
    static const QByteArray describe = QByteArray("SELECT c.relname, a.attname, coalesce(btrim(regexp_replace(col_description(a.attrelid, "
                              "a.attnum), '") + PgSql::kNoCaseMark + QByteArray("$', '')), "
                              "format_type(a.atttypid, a.atttypmod)), coalesce(i.indisprimary, false), a.attidentity <> '' "
                              "FROM pg_class c JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
                              "LEFT JOIN pg_index i ON i.indrelid = a.attrelid AND i.indisprimary AND a.attnum = ANY(i.indkey) "
                              "WHERE c.relkind = 'r' AND c.relnamespace = ") + kOwnSchema + " ORDER BY c.relname, a.attnum";
    // Outside a transaction the schema's objects and version come in the same exchange: the
    // version's table may be missing, and a failure inside a transaction would end it.
    const bool idle = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
    std::vector<Queued> batch{Queued::text(describe.constData())};
    if (idle) {
        batch.push_back(Queued::text(kObjects.constData()));
        batch.push_back(Queued::text(kVersion));
    }
    std::vector<Result> answers = pipelined(batch);
    const Result& r = answers[0];
    if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return false;
    m_objectsAhead.reset();
    m_versionAhead.reset();
    if (idle && succeeded(answers[1]))
        m_objectsAhead = names(answers[1].get());
    m_tables.clear();
    m_tableNames.clear();
    const QString added = QString::fromUtf8(PgSql::kAddedKey);
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        const QString table = QString::fromUtf8(PQgetvalue(r.get(), i, 0));
        auto it = m_tables.find(table);
        if (it == m_tables.end()) {
            it = m_tables.insert(table, {});
            m_tableNames << table;
        }
        const QString column = QString::fromUtf8(PQgetvalue(r.get(), i, 1));
        if (it->identity.isEmpty() && QByteArrayView(PQgetvalue(r.get(), i, 4)) == "t")
            it->identity = quoted(column);
        if (column != added)
            it->columns.push_back({column, QString::fromUtf8(PQgetvalue(r.get(), i, 2)),
                                   QByteArrayView(PQgetvalue(r.get(), i, 3)) == "t"});
    }
    m_described = true;
    if (idle && !m_tables.contains(QStringLiteral("SchemaVersion")))
        m_versionAhead = 0;
    else if (idle && succeeded(answers[2]))
        m_versionAhead = version(answers[2].get());
    return true;
}

// A table of the schema as described; null for any other name (a temporary table, one of
// another schema), which is asked for alone.
const PgStore::TableInfo* PgStore::describedTable(const QString& name)
{
    if (!describeSchema())
        return nullptr;
    auto it = m_tables.constFind(name);
    return it == m_tables.constEnd() ? nullptr : &*it;
}

void PgStore::forgetSchema()
{
    m_described = false;
    m_objectsAhead.reset();
    m_versionAhead.reset();
    ++m_schemaRound;
    m_tables.clear();
    m_tableNames.clear();
    m_keys.clear();
}

// The version is a one-row table of its own; a database without it has no schema yet.
int PgStore::schemaVersion()
{
    ensureConnected();
    if (m_versionAhead)
        return *std::exchange(m_versionAhead, std::nullopt);
    // The schema's description, once read, says whether the table is there.
    if (m_described) {
        if (!m_tables.contains(QStringLiteral("SchemaVersion")))
            return 0;
    } else {
        Result there = run("SELECT to_regclass('\"SchemaVersion\"') IS NOT NULL");
        if (QByteArrayView(PQgetvalue(there.get(), 0, 0)) != "t")
            return 0;
    }
    return version(run(kVersion).get());
}

void PgStore::setSchemaVersion(int version)
{
    ensureConnected();
    forgetSchema();
    run("CREATE TABLE IF NOT EXISTS \"SchemaVersion\" (\"Version\" integer NOT NULL)");
    run("DELETE FROM \"SchemaVersion\"");
    run("INSERT INTO \"SchemaVersion\" (\"Version\") VALUES ($1)", {QByteArray::number(version)});
}

// On the server the triggers are the administrator's: the users may not drop and make them again
// (which the file's writers of many rows do for speed), so none is given out.
QByteArray PgStore::triggerDefinition(const QString&) { return {}; }

QString PgStore::rowKey(const QString& table)
{
    const QString key = m_conn ? identityKey(table) : QString();
    return key.isEmpty() ? quoted(PgSql::kAddedKey) : key;
}

// The keys as one array value: any number of them in one bound value.
QString PgStore::inKeys(const QString& name, const QString& placeholder) const
{
    return name + " = ANY(CAST(" + placeholder + " AS bigint[]))";
}

QVariant PgStore::keyList(const QVector<qint64>& keys) const { return joinedKeys(keys, '{', '}'); }

QString PgStore::sameAs(const QString& left, const QString& right) const
{
    return left + " IS NOT DISTINCT FROM " + right;
}

QString PgStore::equalFoldingAZ(const QString& left, const QString& right) const
{
    return foldedAZ(left) + " = " + foldedAZ(right);
}

QString PgStore::foldedAZ(const QString& text) const { return PgSql::foldedAZ(text); }

QString PgStore::beyondAscii(const QString& name) const { return "CAST(" + name + " AS text) ~ '[^\\x01-\\x7F]'"; }

QString PgStore::insertSkippingDuplicates(const QString& table, const QString& rest) const
{
    return "INSERT INTO " + table + " " + rest + " ON CONFLICT DO NOTHING";
}
