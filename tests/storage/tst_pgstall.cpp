// The store on a server whose link stalls: through a loopback proxy that holds what is sent on
// the connections open at the time, the store gives the link up after its limit on silence,
// tells the user so, never calls a commit saved that was not, and works again by itself.
#include "support/PgCluster.h"

#include "DelayProxy.h"
#include "data/Connection.h"
#include "data/Dataset.h"
#include "storage/pg/PgProbe.h"
#include "storage/pg/PgStore.h"
#include "storage/pg/PgWait.h"

#include <QFile>
#include <QTest>

Q_DECLARE_METATYPE(FailureReason)

namespace {

QVariant one(storage::Store& store, const QByteArray& sql, const QVariantList& values = {})
{
    storage::Prepared s(store, sql);
    for (int i = 0; i < values.size(); ++i)
        s->bind(i + 1, values[i]);
    return s->step() ? s->value(0) : QVariant();
}

// What a failing action threw; an empty text when it did not throw.
DataError failure(const std::function<void()>& action)
{
    try {
        action();
    } catch (const DataError& e) {
        return e;
    }
    return DataError(QString(), FailureReason::Other);
}

} // namespace

class TestPgStall : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<DelayProxy> m_proxy;
    QString m_direct;  // this test's database, on the server's own socket
    QString m_through; // the same through the proxy
    PgStore m_store;   // through the proxy
    PgStore m_watcher; // direct

    int count(const QString& name)
    {
        return one(m_watcher, "SELECT count(*) FROM \"Companies\" WHERE \"Name\" = ?", {name}).toInt();
    }

private slots:
    void initTestCase()
    {
        PgCluster& cluster = PgCluster::instance();
        m_proxy = std::make_unique<DelayProxy>(QFile::encodeName(cluster.socketDir() + "/.s.PGSQL.5432"), 0);
        QVERIFY(m_proxy->port() != 0);
        PgWait::setSilenceLimit(1000);
    }
    void cleanupTestCase() { PgWait::setSilenceLimit(0); }

    void init()
    {
        m_direct = PgCluster::instance().newDatabase();
        m_through = QString("host=127.0.0.1 port=%1 dbname=%2 user=postgres")
                        .arg(m_proxy->port())
                        .arg(PgCluster::instance().lastDatabase());
        m_store.open(m_through, 300);
        m_watcher.open(m_direct, 300);
    }
    void cleanup()
    {
        m_store.close();
        m_watcher.close();
        m_proxy->cut();
    }

    // held: which way the bytes stop. The store gives up after its limit on silence; a commit
    // whose answer was lost is told saved only when the server has it, as asked once connected
    // again, and the session that stalled is ended so that its write lock is free.
    void aStalledLinkIsGivenUp_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("toServer");
        QTest::addColumn<bool>("toClient");
        QTest::addColumn<QString>("words"); // empty: no failure
        QTest::addColumn<int>("saved");     // rows the commit left, -1: none was made
        QTest::newRow("read, both ways") << "read" << true << true << "stopped answering" << -1;
        QTest::newRow("read, its answer") << "read" << false << true << "stopped answering" << -1;
        QTest::newRow("write in a transaction") << "write" << true << true << "stopped answering" << 0;
        QTest::newRow("begin") << "begin" << true << false << "stopped answering" << 0;
        QTest::newRow("commit never arrives") << "commit" << true << false << "not saved" << 0;
        QTest::newRow("commit, both ways") << "commit" << true << true << "not saved" << 0;
        QTest::newRow("commit, its answer") << "commit" << false << true << "" << 1;
    }
    void aStalledLinkIsGivenUp()
    {
        QFETCH(QString, what);
        QFETCH(bool, toServer);
        QFETCH(bool, toClient);
        QFETCH(QString, words);
        QFETCH(int, saved);
        const QString name = "Stalled " + what;
        std::function<void()> action;
        if (what == "read") {
            action = [&] { one(m_store, "SELECT count(*) FROM \"People\""); };
        } else if (what == "write") {
            m_store.begin();
            m_store.exec("INSERT INTO \"Companies\" (\"Name\") VALUES (?)", {name});
            action = [&] { m_store.exec("UPDATE \"Companies\" SET \"Name\" = ? WHERE \"Name\" = ?", {name, name}); };
        } else if (what == "begin") {
            action = [&] {
                m_store.begin();
                m_store.exec("INSERT INTO \"Companies\" (\"Name\") VALUES (?)", {name});
                m_store.commit();
            };
        } else {
            m_store.begin();
            m_store.exec("INSERT INTO \"Companies\" (\"Name\") VALUES (?)", {name});
            action = [&] { m_store.commit(); };
        }
        const int session = m_store.serverProcess();
        m_proxy->hold(toServer, toClient);
        const DataError e = failure(action);
        if (words.isEmpty()) {
            QVERIFY2(e.text().isEmpty(), qPrintable(e.text()));
        } else {
            QCOMPARE(e.reason(), FailureReason::ConnectionLost);
            QVERIFY2(e.text().contains(words) && e.text().contains("still on screen"), qPrintable(e.text()));
        }
        m_store.rollback(); // as the layers above do after a failure
        QVERIFY(!m_store.inTransaction());
        if (saved >= 0)
            QCOMPARE(count(name), saved);
        // The next command connects again, the stalled session is gone, and its lock with it.
        QCOMPARE(one(m_store, "SELECT count(*) FROM pg_stat_activity WHERE pid = ?", {session}).toInt(), 0);
        m_store.begin();
        m_store.exec("INSERT INTO \"Companies\" (\"Name\") VALUES ('After')");
        m_store.commit();
        QCOMPARE(count("After"), 1);
        if (saved >= 0)
            QCOMPARE(count(name), saved);
    }

    // The limit is on silence, not on a statement's whole time: a long answer that keeps coming
    // (here rows of 100 kB, each the server's work of a fifth of the limit, twice the limit in all) is read to
    // its end.
    void aLongAnswerThatKeepsComingIsNotCut()
    {
        storage::Prepared s(m_store, "SELECT repeat('x', 100000) || pg_sleep(0.2) FROM generate_series(1, 12)");
        int read = 0;
        while (s->step())
            read += s->utf16(0).size() == 100000;
        QCOMPARE(read, 12);
    }

    // A copy of the program that hangs inside a transaction holds the write lock; the server
    // ends its session, the others save again, and the copy is told in plain words, whatever it
    // does next, and connects again at the command after.
    void aTransactionLeftOpenLosesTheWriteLock_data()
    {
        QTest::addColumn<QString>("then");
        QTest::newRow("commits") << "commit";
        QTest::newRow("reads") << "read";
        QTest::newRow("writes") << "write";
    }
    void aTransactionLeftOpenLosesTheWriteLock()
    {
        QFETCH(QString, then);
        PgStore copy; // on the server's socket, which keeps what the server said before it closed
        copy.open(m_direct, 300);
        QCOMPARE(one(copy, "SELECT current_setting('idle_in_transaction_session_timeout')").toString(), QString("1min"));
        copy.execScript("SET idle_in_transaction_session_timeout = '300ms'");
        copy.begin();
        copy.exec("INSERT INTO \"Companies\" (\"Name\") VALUES ('Left open')");
        PgStore other;
        other.open(m_direct, 60000); // waits for the lock as long as it takes
        other.begin();
        other.exec("INSERT INTO \"Companies\" (\"Name\") VALUES ('Saved meanwhile')");
        other.commit();
        const DataError e = failure([&] {
            if (then == "commit")
                copy.commit();
            else if (then == "read")
                one(copy, "SELECT count(*) FROM \"Companies\"");
            else
                copy.exec("INSERT INTO \"Companies\" (\"Name\") VALUES ('Left open')");
        });
        QCOMPARE(e.reason(), FailureReason::ConnectionLost);
        QVERIFY2(e.text().contains("left unfinished there for too long, and it was not saved")
                     && e.text().contains("still on screen"),
                 qPrintable(e.text()));
        copy.rollback();
        QCOMPARE(count("Left open"), 0);
        copy.begin();
        copy.exec("INSERT INTO \"Companies\" (\"Name\") VALUES ('Left open')");
        copy.commit();
        QCOMPARE(count("Left open"), 1);
        QCOMPARE(count("Saved meanwhile"), 1);
        QCOMPARE(one(copy, "SELECT current_setting('idle_in_transaction_session_timeout')").toString(), QString("1min"));
    }

    // "Test connection" over a link that stalls right after the login: told, not waited for.
    void aProbeWhoseServerStopsAnsweringSaysSo()
    {
        m_proxy->holdAtFirstStatement(true);
        const PgProbe::Result r = PgProbe::probe(m_through);
        m_proxy->holdAtFirstStatement(false);
        QVERIFY(r.outcome == PgProbe::Outcome::Unreachable);
        QVERIFY2(r.message.contains("stopped answering") && r.message.contains("127.0.0.1"), qPrintable(r.message));
        QVERIFY(PgProbe::probe(m_through).ok());
    }

    // Through the data layer: the edit of a stalled save stays on screen and is saved at the
    // next try, once the link passes again.
    void anEditStaysWhenItsSaveStalls()
    {
        const qint64 anna = m_watcher.insert("\"People\"", {"\"Name\""}, {"Anna"});
        Connection c("server");
        c.setServer(m_through);
        c.open();
        Dataset people("People", &c);
        people.setTable("People");
        people.open();
        QCOMPARE(people.value("Name").toString(), QString("Anna"));
        people.edit();
        people.setValue("Name", "Annabel");
        m_proxy->setStalled(true); // every connection, a new one as well
        const DataError e = failure([&] { people.post(); });
        QCOMPARE(e.reason(), FailureReason::ConnectionLost);
        QVERIFY2(e.text().startsWith("Your changes could not be saved.") && e.text().contains("stopped answering"),
                 qPrintable(e.text()));
        QCOMPARE(people.state(), DatasetState::Edit);
        QCOMPARE(people.value("Name").toString(), QString("Annabel"));
        QCOMPARE(one(m_watcher, "SELECT \"Name\" FROM \"People\" WHERE \"PersonID\" = ?", {anna}).toString(),
                 QString("Anna"));
        m_proxy->setStalled(false);
        people.post();
        QCOMPARE(one(m_watcher, "SELECT \"Name\" FROM \"People\" WHERE \"PersonID\" = ?", {anna}).toString(),
                 QString("Annabel"));
        c.close();
    }
};

QTEST_GUILESS_MAIN(TestPgStall)
#include "tst_pgstall.moc"
