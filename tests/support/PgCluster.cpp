#include "PgCluster.h"

#include "data/Schema.h"
#include "storage/pg/PgStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The server's programs: where the environment says, else the newest of Debian's folders for
// them, else the PATH.
QString findBinDir()
{
    const QString given = qEnvironmentVariable("VANTREL_PG_BINDIR");
    if (!given.isEmpty())
        return given;
    QDir versions("/usr/lib/postgresql");
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& v : found) {
        if (QFile::exists(versions.filePath(v + "/bin/initdb")))
            return versions.filePath(v + "/bin");
    }
    return {};
}

QString quotedLiteral(const QString& text) { return '\'' + QString(text).replace('\'', "''") + '\''; }

} // namespace

PgCluster& PgCluster::instance()
{
    static std::unique_ptr<PgCluster> cluster(new PgCluster);
    return *cluster;
}

PgCluster::PgCluster() : m_dir(QDir::tempPath() + "/vantrel-pg-XXXXXX"), m_binDir(findBinDir())
{
    if (!m_dir.isValid())
        qFatal("cannot make a folder for the test server");
    m_asRoot = geteuid() == 0;
    const QByteArray dir = QFile::encodeName(m_dir.path());
    if (m_asRoot) {
        // The server will not run as root: the cluster belongs to the postgres user.
        const passwd* user = getpwnam("postgres");
        if (!user)
            qFatal("the tests run as root, and there is no postgres user to run the test server as");
        if (chown(dir.constData(), user->pw_uid, user->pw_gid) != 0)
            qFatal("cannot hand the test server's folder to the postgres user");
    }
    chmod(dir.constData(), 0700);
    QString output;
    if (!runTool("initdb", {"--no-sync", "-D", m_dir.path() + "/data", "-U", "postgres", "-A", "trust", "-E", "UTF8",
                            "--locale=C"},
                 &output))
        qFatal("initdb failed: %s", qPrintable(output));
    // One user that must give a password; everybody else is trusted on the socket.
    QFile hba(m_dir.path() + "/data/pg_hba.conf");
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || hba.write("local all vantrel_pw scram-sha-256\nlocal all all trust\n") < 0)
        qFatal("cannot write the test server's pg_hba.conf");
    hba.close();
    start();
    admin("CREATE ROLE vantrel_pw LOGIN PASSWORD 'right-horse-battery'");
    admin("CREATE ROLE vantrel_reader LOGIN");
    admin("CREATE DATABASE vantrel_template");
    QString done, error;
    if (!Schema::makeServerDatabase(connection("vantrel_template"), &done, &error))
        qFatal("cannot make the schema on the test server: %s", qPrintable(error));
    // The few functions of the file's SQL that the tests' own queries use, for the same queries here.
    admin("CREATE FUNCTION hex(text) RETURNS text IMMUTABLE LANGUAGE sql AS $$ SELECT upper(encode(convert_to($1, "
          "'UTF8'), 'hex')) $$; "
          "CREATE FUNCTION quote(text) RETURNS text IMMUTABLE LANGUAGE sql AS $$ SELECT coalesce(quote_literal($1), "
          "'NULL') $$; "
          "CREATE FUNCTION quote(bigint) RETURNS text IMMUTABLE LANGUAGE sql AS $$ SELECT coalesce($1::text, 'NULL') $$; "
          "CREATE FUNCTION concat_step(text, anyelement, text) RETURNS text IMMUTABLE LANGUAGE sql AS $$ SELECT CASE "
          "WHEN $2 IS NULL THEN $1 WHEN $1 IS NULL THEN $2::text ELSE $1 || $3 || $2::text END $$; "
          "CREATE AGGREGATE group_concat(anyelement, text) (SFUNC = concat_step, STYPE = text); "
          "CREATE FUNCTION quote(double precision) RETURNS text IMMUTABLE LANGUAGE sql AS $$ SELECT coalesce($1::text, "
          "'NULL') $$",
          "vantrel_template");
    admin("CREATE ROLE vantrel_member LOGIN IN ROLE " + Schema::kServerGroup);
    admin("GRANT SELECT ON ALL TABLES IN SCHEMA public TO vantrel_reader", "vantrel_template");
    admin("CREATE DATABASE vantrel_empty");
}

PgCluster::~PgCluster()
{
    // For finding out why a statement failed: the server's log keeps each error with its statement.
    if (qEnvironmentVariableIsSet("VANTREL_PG_LOG")) {
        QFile log(m_dir.path() + "/server.log");
        if (log.open(QIODevice::ReadOnly))
            fprintf(stderr, "%s", log.readAll().constData());
    }
    // QProcess may be gone with the application: the shell stops the server.
    const QString pgCtl = m_binDir.isEmpty() ? QString("pg_ctl") : m_binDir + "/pg_ctl";
    QString command = "'" + pgCtl + "' -D '" + m_dir.path() + "/data' -m immediate -w stop >/dev/null 2>&1";
    if (m_asRoot)
        command = "runuser -u postgres -- " + command;
    [[maybe_unused]] const int rc = std::system(command.toLocal8Bit().constData());
}

bool PgCluster::runTool(const QString& tool, const QStringList& arguments, QString* output)
{
    const QString program = m_binDir.isEmpty() ? tool : m_binDir + '/' + tool;
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (m_asRoot)
        p.start("runuser", QStringList{"-u", "postgres", "--", program} + arguments);
    else
        p.start(program, arguments);
    // pg_ctl -w waits for the server itself; nothing here takes that long.
    const bool ended = p.waitForFinished(120000);
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void PgCluster::start()
{
    QString output;
    // No network port: the socket in the cluster's own folder alone. fsync off: a test server's
    // data need not outlive a crash of the machine.
    if (!runTool("pg_ctl", {"-D", m_dir.path() + "/data", "-l", m_dir.path() + "/server.log", "-w", "-o",
                            "-c listen_addresses='' -k " + m_dir.path() + " -c fsync=off", "start"},
                 &output))
        qFatal("the test server does not start: %s", qPrintable(output));
}

void PgCluster::stopImmediately()
{
    QString output;
    if (!runTool("pg_ctl", {"-D", m_dir.path() + "/data", "-m", "immediate", "-w", "stop"}, &output))
        qFatal("the test server does not stop: %s", qPrintable(output));
}

QString PgCluster::connection(const QString& database, const QString& user) const
{
    return QString("host=%1 dbname=%2 user=%3").arg(quotedLiteral(m_dir.path()), database, user);
}

QString PgCluster::newDatabase(bool empty)
{
    m_lastDatabase = QString("vantrel_test_%1").arg(++m_count);
    admin(QString("CREATE DATABASE %1 TEMPLATE %2").arg(m_lastDatabase, empty ? "template0" : "vantrel_template"));
    return connection(m_lastDatabase);
}

QString PgCluster::member(const QString& name)
{
    if (!m_members.contains(name)) {
        admin(QString("CREATE ROLE \"%1\" LOGIN IN ROLE %2").arg(name, Schema::kServerGroup));
        m_members << name;
    }
    return name;
}

void PgCluster::admin(const QString& sql, const QString& database)
{
    try {
        PgStore server;
        server.open(connection(database));
        server.execScript(sql);
    } catch (const DataError& e) {
        qFatal("%s: %s", qPrintable(sql), qPrintable(e.text()));
    }
}
