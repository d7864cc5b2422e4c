// "Test connection" against a real PostgreSQL server: a throwaway cluster on a Unix socket in a
// temporary folder (run as the postgres user when the tests run as root), with a login that needs
// a password, a database it may not connect to, and one it may only read. Each answer is told in
// the server's terms and never shows the password.
#include "storage/pg/PgProbe.h"

#include "app/TTeamDatabaseForm.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {
QString binary(const QString& name)
{
    for (const QString& dir : QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed))
        if (QFile::exists("/usr/lib/postgresql/" + dir + "/bin/" + name))
            return "/usr/lib/postgresql/" + dir + "/bin/" + name;
    return QStandardPaths::findExecutable(name);
}
} // namespace

class TestPgProbe : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{"/tmp/vt-probe-XXXXXX"};
    QString m_socket, m_data;
    bool m_started = false;

    // As the cluster's owner: the postgres user when this runs as root.
    bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        if (::geteuid() == 0)
            p.start("runuser", QStringList{"-u", "postgres", "--", program} + arguments);
        else
            p.start(program, arguments);
        p.waitForFinished(120000);
        const QString out = QString::fromLocal8Bit(p.readAll());
        if (output)
            *output = out;
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            qWarning("%s failed: %s", qPrintable(program), qPrintable(out));
            return false;
        }
        return true;
    }
    bool sql(const QString& statement, const QString& db = "postgres")
    {
        return run(binary("psql"), {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", m_socket, "-p", "5999", "-d", db, "-c", statement});
    }
    QString at(const QString& rest) const { return QString("host='%1' port=5999 %2").arg(m_socket, rest); }

private slots:
    void initTestCase()
    {
        if (binary("initdb").isEmpty() || binary("pg_ctl").isEmpty() || binary("psql").isEmpty())
            QSKIP("The PostgreSQL server's programs are not installed (scripts/install-deps.sh installs them).");
        QVERIFY(m_dir.isValid());
        m_socket = m_dir.path();
        m_data = m_dir.path() + "/data";
        if (::geteuid() == 0)
            QVERIFY(QProcess::execute("chown", {"postgres", m_dir.path()}) == 0);
        QFile pw(m_dir.path() + "/pw");
        QVERIFY(pw.open(QIODevice::WriteOnly));
        pw.write("admin-secret\n");
        pw.close();
        if (::geteuid() == 0)
            QVERIFY(QProcess::execute("chown", {"postgres", pw.fileName()}) == 0);
        // Trust for the owner on the socket, passwords for everybody else.
        QVERIFY(run(binary("initdb"), {"--no-sync", "-D", m_data, "-U", "postgres", "--auth-local=scram-sha-256",
                                       "--auth-host=scram-sha-256", "--pwfile=" + pw.fileName()}));
        QFile hba(m_data + "/pg_hba.conf");
        QVERIFY(hba.open(QIODevice::WriteOnly | QIODevice::Truncate));
        hba.write("local all postgres trust\nlocal all all scram-sha-256\n");
        hba.close();
        QVERIFY(run(binary("pg_ctl"), {"-D", m_data, "-w", "-l", m_dir.path() + "/log", "-o",
                                       QString("-c listen_addresses='' -c unix_socket_directories='%1' -p 5999 -c fsync=off")
                                           .arg(m_socket),
                                       "start"}));
        m_started = true;
        QVERIFY(sql("CREATE ROLE anna LOGIN PASSWORD 'anna-secret'"));
        QVERIFY(sql("CREATE DATABASE sales"));
        QVERIFY(sql("CREATE DATABASE closed"));
        QVERIFY(sql("REVOKE CONNECT ON DATABASE closed FROM PUBLIC"));
        QVERIFY(sql("CREATE DATABASE readonly"));
        QVERIFY(sql("CREATE TABLE \"People\" (\"PersonID\" integer); GRANT SELECT ON \"People\" TO anna", "readonly"));
        QVERIFY(sql("CREATE DATABASE outside"));
        QVERIFY(sql("CREATE TABLE \"People\" (\"PersonID\" integer)", "outside"));
        QVERIFY(sql("CREATE DATABASE ready"));
        QVERIFY(sql("CREATE TABLE \"People\" (\"PersonID\" integer); GRANT SELECT, INSERT, UPDATE, DELETE ON \"People\" TO anna", "ready"));
    }
    void cleanupTestCase()
    {
        if (m_started)
            run(binary("pg_ctl"), {"-D", m_data, "-m", "immediate", "stop"});
    }

    void answersInTheServersTerms_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message"); // its beginning

        using O = PgProbe::Outcome;
        QTest::newRow("tables may be written") << "dbname=ready user=anna" << "anna-secret" << int(O::Connected)
                                               << "Connected to the database \"ready\" at the socket folder %1, port 5999 "
                                                  "as anna (PostgreSQL ";
        QTest::newRow("no tables yet") << "dbname=sales user=anna" << "anna-secret" << int(O::Connected)
                                       << "Connected to the database \"sales\"";
        QTest::newRow("read only") << "dbname=readonly user=anna" << "anna-secret" << int(O::Connected)
                                   << "Connected to the database \"readonly\"";
        QTest::newRow("outside the group") << "dbname=outside user=anna" << "anna-secret" << int(O::Connected)
                                           << "Connected to the database \"outside\"";
        QTest::newRow("password needed") << "dbname=sales user=anna" << "" << int(O::PasswordNeeded)
                                         << "The server asks for the password of anna.";
        QTest::newRow("wrong password") << "dbname=sales user=anna" << "not-her-secret" << int(O::WrongPassword)
                                        << "The server refused the password of anna.";
        QTest::newRow("no such database") << "dbname=nothere user=anna" << "anna-secret" << int(O::NoDatabase)
                                          << "The server at the socket folder %1, port 5999 has no database \"nothere\".";
        QTest::newRow("no right to connect") << "dbname=closed user=anna" << "anna-secret" << int(O::NoRights)
                                             << "anna may not connect to the database \"closed\": permission denied";
        QTest::newRow("nothing on that port") << "dbname=sales user=anna port=5998" << "anna-secret"
                                              << int(O::Unreachable)
                                              << "The server at the socket folder %1, port 5998 cannot be reached: ";
    }
    void answersInTheServersTerms()
    {
        QFETCH(QString, settings);
        QFETCH(QString, password);
        QFETCH(int, outcome);
        QFETCH(QString, message);
        const PgProbe::Result r = PgProbe::probe(at(settings), password);
        if (message.contains("%1"))
            message = message.arg(m_socket);
        QVERIFY2(r.message.startsWith(message), qPrintable(r.message));
        QCOMPARE(int(r.outcome), outcome);
        QVERIFY(!r.message.contains("secret"));
        if (QTest::currentDataTag() == QByteArray("tables may be written"))
            QVERIFY(r.message.endsWith(" Its people may be read and changed."));
        if (QTest::currentDataTag() == QByteArray("no tables yet"))
            QVERIFY(r.message.endsWith(" It holds no Vantrel tables yet: the administrator makes them with "
                                       "vantrel-makedb --server."));
        if (QTest::currentDataTag() == QByteArray("outside the group"))
            QVERIFY(r.message.endsWith(" anna may neither read nor change the people there: the administrator adds "
                                       "anna to the group role of the salespeople."));
        if (QTest::currentDataTag() == QByteArray("read only"))
            QVERIFY(r.message.endsWith(" anna may read the people there but not change them: the administrator adds "
                                       "anna to the group role of the salespeople."));
    }

    // The window asks for the password only when the server does, and keeps it out of the file.
    void theWindowAsksForThePasswordWhenTheServerDoes()
    {
        QTemporaryDir folder;
        QFile(folder.path() + "/Vantrel.vt").open(QIODevice::WriteOnly);
        AppPaths::setExecutableDir(folder.path());
        QStringList said;
        MessageBox::setHandler([&](const MessageBox::Request& r) {
            said << r.text;
            return MessageBox::Button::Ok;
        });
        TTeamDatabaseForm form;
        form.load();
        form.show();
        QTest::mouseClick(form.UseServerButton, Qt::LeftButton);
        form.ServerEdit->setText(m_socket);
        form.PortEdit->setText("5999");
        form.DatabaseEdit->setText("ready");
        form.UserEdit->setText("anna");
        form.SslModeBox->setCurrentText("disable");
        QVERIFY(!form.PasswordEdit->isVisible());
        QTest::mouseClick(form.TestButton, Qt::LeftButton);
        QVERIFY2(form.TestResult->text().startsWith("The server asks for the password of anna."),
                 qPrintable(form.TestResult->text()));
        QVERIFY(form.PasswordEdit->isVisible());
        QCOMPARE(form.PasswordEdit->echoMode(), QLineEdit::Password);
        QTest::keyClicks(form.PasswordEdit, "wrong");
        QTest::keyClick(form.PasswordEdit, Qt::Key_Return); // tests again: no OK for refused settings
        QCOMPARE(form.TestResult->text(), QString("The server refused the password of anna."));
        QVERIFY(said.isEmpty());
        form.PasswordEdit->setText("anna-secret");
        QTest::mouseClick(form.TestButton, Qt::LeftButton);
        QVERIFY2(form.TestResult->text().startsWith("Connected to the database \"ready\""), qPrintable(form.TestResult->text()));
        QTest::mouseClick(form.OKButton, Qt::LeftButton);
        QCOMPARE(said.size(), 1);
        QFile written(folder.path() + "/Vantrel.connection");
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray text = written.readAll();
        QVERIFY(text.endsWith("host=" + m_socket.toUtf8() + " port=5999 dbname=ready user=anna sslmode=disable\n"));
        QVERIFY(!text.contains("secret"));
        QVERIFY(form.PasswordEdit->text().isEmpty());
        QVERIFY(!form.PasswordEdit->isVisible());
        MessageBox::setHandler({});
        AppPaths::setExecutableDir({});
    }
};

QTEST_MAIN(TestPgProbe)
#include "tst_pgprobe.moc"
