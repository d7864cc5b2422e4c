#pragma once
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>
#include <memory>

class Connection;
class PgStore;

// A real database made from the delivered schema in a temporary folder, with a connection of
// its own for seeding rows and checking what the program wrote.
//
// The same tests run once more on a team database: with VANTREL_TEST_STORE=server each test
// database is a fresh database of a throwaway server (made from a template of the delivered
// schema), named by a Vantrel.connection in the temporary folder, so the program started there
// opens it as a user's would. The test's own SQL is written as for the file; here its table and
// column names are quoted as the server needs them.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    static bool onServer(); // this run's databases are on the server
    QString path() const { return m_dir.path() + "/Vantrel.vt"; }
    QString dir() const { return m_dir.path(); }
    QString server() const { return m_server; } // the connection string; empty on the file
    // The database as the program's messages name it, and its words for a write lock that
    // another program (on the server: another user) holds.
    QString name() const;
    QString locked() const;
    // Points a connection at this database, the file or the server, as start-up would.
    void pointAt(Connection& connection) const { pointAt(connection, path()); }
    // The same for the database of the test folder a file's path lies in (that of a test's
    // other copy or child process).
    // user: who works on it (on the server a login of that name, one of the program's users).
    static void pointAt(Connection& connection, const QString& path, const QString& user = {});
    QString connectionName() const; // for queries of a test's own on the file
    void exec(const QString& sql, const QVariantList& values = {});
    QVariant scalar(const QString& sql, const QVariantList& values = {});
    int count(const QString& table, const QString& where = QString());
    int addPerson(const QString& name, const QVariantMap& more = {}); // returns PersonID
    // Each row a query gives, its cells joined by '|', "<null>" for a null.
    QStringList rows(const QString& sql, const QVariantList& values = {});
    QString rowKey(const QString& table); // the column that names a table's rows
    QStringList schemaObjects();          // the names of the tables, indexes and triggers
    QString declaredType(const QString& table, const QString& column); // as the schema declares it
    void disconnect(); // closes this helper's own connection, e.g. to see what the program leaves

private:
    void query(const QString& sql, const QVariantList& values, const std::function<bool(const QVariantList&)>& row);
    QByteArray forServer(const QString& sql);
    PgStore& serverStore();

    QTemporaryDir m_dir;
    QString m_connection;
    QString m_server;
    QString m_databaseName; // on the server
    std::unique_ptr<PgStore> m_store;
    QHash<QString, QString> m_names; // a table's or column's name in lower case -> as made
    QSet<QString> m_tables;          // the tables' names in lower case
};

// For a test of what only the file has (its locks, journal, pages, copies).
#define SKIP_ON_SERVER(why)                                                                                            \
    do {                                                                                                               \
        if (TestDatabase::onServer())                                                                                  \
            QSKIP("the file's own " why);                                                                              \
    } while (false)
