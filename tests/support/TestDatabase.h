#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

// A real database made from the delivered schema in a temporary folder, with a connection of
// its own for seeding rows and checking what the program wrote.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    QString path() const { return m_dir.path() + "/Vantrel.vt"; }
    QString dir() const { return m_dir.path(); }
    QString connectionName() const { return m_connection; } // for queries of a test's own
    void exec(const QString& sql, const QVariantList& values = {});
    QVariant scalar(const QString& sql, const QVariantList& values = {});
    int count(const QString& table, const QString& where = QString());
    int addPerson(const QString& name, const QVariantMap& more = {}); // returns PersonID
    void disconnect(); // closes this helper's own connection, e.g. to see what the program leaves

private:
    QTemporaryDir m_dir;
    QString m_connection;
};
