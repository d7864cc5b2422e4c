#include "TestDatabase.h"

#include "PgCluster.h"

#include "data/Connection.h"
#include "data/Schema.h"
#include "storage/pg/PgSql.h"
#include "storage/pg/PgStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlQuery>
#include <QStringList>
#include <QTest>
#include <QUuid>

bool TestDatabase::onServer() { return qEnvironmentVariable("VANTREL_TEST_STORE") == "server"; }

TestDatabase::TestDatabase() : m_connection("test-" + QUuid::createUuid().toString())
{
    if (onServer()) {
        m_server = PgCluster::instance().newDatabase();
        m_databaseName = PgCluster::instance().lastDatabase();
        QFile file(m_dir.path() + "/Vantrel.connection");
        if (!file.open(QIODevice::WriteOnly) || file.write(m_server.toUtf8() + '\n') < 0)
            qFatal("cannot write the test's Vantrel.connection");
        return;
    }
    QString error;
    if (!Schema::createDatabase(path(), &error))
        qFatal("cannot create the test database: %s", qPrintable(error));
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", m_connection);
    db.setDatabaseName(path());
    db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=5000");
    if (!db.open())
        qFatal("cannot open the test database");
}

TestDatabase::~TestDatabase()
{
    if (!m_server.isEmpty())
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

void TestDatabase::pointAt(Connection& connection, const QString& path, const QString& user)
{
    connection.setDatabasePath(path);
    if (!onServer()) {
        if (!user.isEmpty())
            connection.setUserName(user);
        return;
    }
    QFile file(QFileInfo(path).absolutePath() + "/Vantrel.connection");
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no Vantrel.connection beside %s", qPrintable(path));
    QString server = QString::fromUtf8(file.readLine()).trimmed();
    if (!user.isEmpty())
        server += " user=" + PgCluster::instance().member(user); // the last one named counts
    connection.setServer(server);
}

QString TestDatabase::name() const
{
    return m_server.isEmpty() ? QString("Vantrel.vt") : "the team database " + m_databaseName + " on this computer";
}

QString TestDatabase::locked() const
{
    return m_server.isEmpty() ? QString("Another program is using Vantrel.vt and keeps it locked")
                              : "Another user of " + name() + " is saving the same data and keeps it locked";
}

QString TestDatabase::connectionName() const
{
    if (!m_server.isEmpty())
        qFatal("a query of the file's own was asked for on the server");
    return m_connection;
}

void TestDatabase::disconnect()
{
    if (!m_server.isEmpty()) {
        m_store.reset();
        return;
    }
    QSqlDatabase::database(m_connection, false).close();
}

PgStore& TestDatabase::serverStore()
{
    if (!m_store) {
        m_store = std::make_unique<PgStore>();
        try {
            m_store->open(m_server);
            if (m_names.isEmpty()) {
                for (const QString& object : m_store->schemaObjects())
                    m_names.insert(object.toLower(), object);
                for (const QString& table : m_store->tables()) {
                    m_names.insert(table.toLower(), table);
                    m_tables.insert(table.toLower());
                    for (const storage::ColumnInfo& c : m_store->columns(table))
                        m_names.insert(c.name.toLower(), c.name);
                }
            }
        } catch (const DataError& e) {
            qFatal("cannot open the test database on the server: %s", qPrintable(e.text()));
        }
    }
    return *m_store;
}

// The server folds unquoted names to lower case, the schema's are mixed: every bare word that
// names a table or a column is quoted as made. A word right before "(" is a function's, unless
// it names a table (an insert's column list).
QByteArray TestDatabase::forServer(const QString& sql)
{
    serverStore();
    QString out;
    const int n = sql.size();
    for (int i = 0; i < n;) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"') {
            const int end = sql.indexOf(c, i + 1);
            const int stop = end < 0 ? n : end + 1;
            out += sql.mid(i, stop - i);
            i = stop;
            continue;
        }
        if (c.isLetter() || c == '_') {
            int j = i;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == '_'))
                ++j;
            const QString word = sql.mid(i, j - i);
            const bool parameter = i > 0 && (sql[i - 1] == ':' || sql[i - 1] == '$' || sql[i - 1] == '@');
            const auto name = m_names.constFind(word.toLower());
            const bool call = j < n && sql[j] == '(';
            if (!parameter && name != m_names.constEnd() && (!call || m_tables.contains(word.toLower())))
                out += '"' + *name + '"';
            else
                out += word;
            i = j;
            continue;
        }
        out += c;
        ++i;
    }
    return out.toUtf8();
}

// One query on either database; each row it gives goes to `row`, which says whether to go on.
// On the server the tables carry an added key of their own that the file's tables do not
// show: a `SELECT *` leaves it out, so rows compare equal on both.
void TestDatabase::query(const QString& sql, const QVariantList& values,
                         const std::function<bool(const QVariantList&)>& row)
{
    if (!m_server.isEmpty()) {
        try {
            // Another program's write lock, as the file's BEGIN IMMEDIATE takes it.
            const QString word = sql.trimmed().toUpper();
            if (word == "BEGIN IMMEDIATE" || word == "BEGIN")
                return serverStore().begin();
            if (word == "COMMIT" || word == "END")
                return serverStore().commit();
            if (word == "ROLLBACK")
                return serverStore().rollback();
            storage::Prepared s(serverStore(), forServer(sql));
            for (int i = 0; i < values.size(); ++i)
                s->bind(i + 1, values[i]);
            const bool everyColumn = sql.contains(QLatin1String("SELECT *"), Qt::CaseInsensitive);
            QVariantList cells;
            while (s->step()) {
                cells.clear();
                for (int i = 0; i < s->columnCount(); ++i)
                    if (!everyColumn || s->columnName(i) != QLatin1String(PgSql::kAddedKey))
                        cells << s->value(i);
                if (!row(cells))
                    break;
            }
        } catch (const DataError& e) {
            qFatal("%s: %s", qPrintable(sql), qPrintable(e.text()));
        }
        return;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    QVariantList cells;
    while (q.next()) {
        cells.clear();
        for (int i = 0; i < q.record().count(); ++i)
            cells << q.value(i);
        if (!row(cells))
            break;
    }
}

void TestDatabase::exec(const QString& sql, const QVariantList& values)
{
    query(sql, values, [](const QVariantList&) { return true; });
}

QVariant TestDatabase::scalar(const QString& sql, const QVariantList& values)
{
    QVariant out;
    query(sql, values, [&](const QVariantList& cells) {
        out = cells.value(0);
        return false;
    });
    return out;
}

QStringList TestDatabase::rows(const QString& sql, const QVariantList& values)
{
    QStringList out;
    query(sql, values, [&](const QVariantList& cells) {
        QStringList texts;
        for (const QVariant& v : cells)
            texts << (v.isNull() ? QString("<null>") : v.toString());
        out << texts.join('|');
        return true;
    });
    return out;
}

QString TestDatabase::rowKey(const QString& table)
{
    return m_server.isEmpty() ? QString("rowid") : serverStore().rowKey('"' + table + '"');
}

QStringList TestDatabase::schemaObjects()
{
    if (!m_server.isEmpty())
        return serverStore().schemaObjects();
    return rows("SELECT name FROM sqlite_master WHERE name NOT LIKE 'sqlite%'");
}

QString TestDatabase::declaredType(const QString& table, const QString& column)
{
    if (!m_server.isEmpty()) {
        for (const storage::ColumnInfo& c : serverStore().columns(table))
            if (c.name == column)
                return c.declaredType;
        return {};
    }
    return scalar("SELECT type FROM pragma_table_info(?) WHERE name = ?", {table, column}).toString();
}

int TestDatabase::count(const QString& table, const QString& where)
{
    return scalar("SELECT COUNT(*) FROM \"" + table + "\"" + (where.isEmpty() ? QString() : " WHERE " + where)).toInt();
}

int TestDatabase::addPerson(const QString& name, const QVariantMap& more)
{
    QStringList cols{"CompanyID", "Name"};
    QStringList marks{"?", "?"};
    QVariantList values{more.value("CompanyID", 1), name};
    for (auto it = more.begin(); it != more.end(); ++it) {
        if (it.key() == "CompanyID")
            continue;
        cols << '"' + it.key() + '"';
        marks << "?";
        values << it.value();
    }
    exec("INSERT INTO People (" + cols.join(", ") + ") VALUES (" + marks.join(", ") + ")", values);
    return scalar("SELECT MAX(PersonID) FROM People").toInt();
}
