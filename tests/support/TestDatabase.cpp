#include "TestDatabase.h"

#include "data/Schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTest>
#include <QUuid>

TestDatabase::TestDatabase() : m_connection("test-" + QUuid::createUuid().toString())
{
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
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

void TestDatabase::disconnect() { QSqlDatabase::database(m_connection, false).close(); }

void TestDatabase::exec(const QString& sql, const QVariantList& values)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

QVariant TestDatabase::scalar(const QString& sql, const QVariantList& values)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q.next() ? q.value(0) : QVariant();
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
