#pragma once
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A throwaway database server for the tests of the team database: a cluster made with initdb in
// a temporary folder, listening on a Unix socket there and on no network port, run as the
// unprivileged postgres user when the tests run as root (the server refuses root). One template
// database holds the delivered schema; each test takes a fresh copy of it. The cluster is made at
// the first use in a test program and removed when the program ends.
class PgCluster {
public:
    static PgCluster& instance(); // fails the program when no cluster can be made

    QString socketDir() const { return m_dir.path(); }
    // A connection string for a database of the cluster as the given user.
    QString connection(const QString& database, const QString& user = "postgres") const;
    // A new database made from the template (the delivered schema at its current version);
    // returns its connection string. empty: a database with no schema at all.
    QString newDatabase(bool empty = false);
    QString lastDatabase() const { return m_lastDatabase; }

    // A login of that name in the program's users' group, made at its first use; returns it.
    QString member(const QString& name);

    // As the cluster's superuser on its maintenance database; fails the test program on an error.
    void admin(const QString& sql, const QString& database = "postgres");

    // Stops the server at once, as a crash or a pulled cable would; start() brings it back.
    void stopImmediately();
    void start();

    ~PgCluster();

private:
    PgCluster();
    // Runs one of the server's programs as the user that owns the cluster; true when it ends well.
    bool runTool(const QString& tool, const QStringList& arguments, QString* output = nullptr);

    QTemporaryDir m_dir;
    QString m_binDir;
    bool m_asRoot = false;
    int m_count = 0;
    QString m_lastDatabase;
    QStringList m_members;
};
