#include "support/AppFixture.h"

#include "app/Program.h"
#include "app/SingleInstance.h"
#include "help/TAboutForm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <atomic>
#include <memory>
#include <thread>

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The copies meet in the user's runtime folder: one of the test's own.
        QVERIFY(m_runtime.isValid());
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }

    // A start on a file that a running copy has open hands over to it, however the path is
    // written; on another file, when asked for a second copy, or after the first has ended, the
    // start runs.
    void aSecondStartOnTheSameFileHandsOver_data()
    {
        QTest::addColumn<QString>("second");     // the database of the second start
        QTest::addColumn<bool>("secondCopy");    // started with --second-copy
        QTest::addColumn<QString>("firstEnded"); // how the first copy ended before, if it did
        QTest::addColumn<bool>("handedOver");
        QTest::newRow("the same file") << "data/Vantrel.vt" << false << "" << true;
        QTest::newRow("written another way") << "data/./sub/../Vantrel.vt" << false << "" << true;
        QTest::newRow("through a link to its folder") << "link/Vantrel.vt" << false << "" << true;
        QTest::newRow("another file") << "other/Vantrel.vt" << false << "" << false;
        QTest::newRow("a second copy asked for") << "data/Vantrel.vt" << true << "" << false;
        QTest::newRow("the first has ended") << "data/Vantrel.vt" << false << "normally" << false;
        // Killed or crashed: its lock names a process that is gone, and its socket is still there.
        QTest::newRow("the first was killed") << "data/Vantrel.vt" << false << "killed" << false;
    }
    void aSecondStartOnTheSameFileHandsOver()
    {
        QFETCH(QString, second);
        QFETCH(bool, secondCopy);
        QFETCH(QString, firstEnded);
        QFETCH(bool, handedOver);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("data/sub"));
        QVERIFY(QFile::link(dir.path() + "/data", dir.path() + "/link"));
        // The data folder of a first start may not be there yet.
        auto first = std::make_unique<SingleInstance>(dir.path() + "/data/Vantrel.vt");
        QVERIFY(!first->handOver(false));
        QVERIFY(first->isFirst());
        QSignalSpy asked(first.get(), &SingleInstance::frontRequested);
        if (!firstEnded.isEmpty()) {
            const QString name = first->name();
            first.reset();
            if (firstEnded == "killed") {
                QProcess gone;
                gone.start("true");
                QVERIFY(gone.waitForStarted());
                const qint64 pid = gone.processId();
                QVERIFY(gone.waitForFinished());
                QFile lock(name + ".lock");
                QVERIFY(lock.open(QIODevice::WriteOnly));
                lock.write(QByteArray::number(pid) + "\nvantrel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
                lock.close();
                QFile socket(name);
                QVERIFY(socket.open(QIODevice::WriteOnly));
            }
        }

        qputenv("XDG_ACTIVATION_TOKEN", "token-of-the-second-start");
        SingleInstance later(dir.path() + "/" + second);
        const bool ended = later.handOver(secondCopy);
        qunsetenv("XDG_ACTIVATION_TOKEN");
        QCOMPARE(ended, handedOver);
        // A start that runs becomes the one that later starts reach, unless another runs already.
        QCOMPARE(later.isFirst(), !handedOver && !(secondCopy && firstEnded.isEmpty()));
        if (later.isFirst()) { // and is reached in turn
            QSignalSpy laterAsked(&later, &SingleInstance::frontRequested);
            QVERIFY(SingleInstance(dir.path() + "/" + second).handOver(false));
            QVERIFY(laterAsked.wait());
        }
        if (!first)
            return;
        if (handedOver) {
            QVERIFY(asked.wait());
            QCOMPARE(asked.size(), 1);
            QCOMPARE(asked[0][0].toByteArray(), QByteArray("token-of-the-second-start"));
        } else {
            QCOMPARE(asked.size(), 0);
        }
        // Once the first has ended, its name is free: nothing of it is left in the way.
        first.reset();
        SingleInstance next(dir.path() + "/data/Vantrel.vt");
        QVERIFY(!next.handOver(false));
        QVERIFY(next.isFirst());
    }

    // Two starts at the same moment: the one that took the file may not listen yet when the other
    // asks. The other waits for it and hands over instead of opening a second window.
    void aStartWhileTheFirstIsGettingReadyWaitsForIt()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + "/Vantrel.vt";
        const QString name = SingleInstance(file).name();
        QLockFile held(name + ".lock"); // taken, as the first start takes it before it listens
        QVERIFY(held.tryLock(0));
        std::atomic<bool> starting = false;
        QByteArray heard;
        std::thread first([&] {
            while (!starting)
                std::this_thread::yield();
            QLocalServer server;
            if (!server.listen(name) || !server.waitForNewConnection(10000))
                return;
            QLocalSocket* socket = server.nextPendingConnection();
            while (!socket->canReadLine() && socket->waitForReadyRead(10000)) {
            }
            heard = socket->readLine();
        });
        starting = true;
        SingleInstance later(file);
        const bool handedOver = later.handOver(false);
        first.join();
        QVERIFY(handedOver);
        QVERIFY(!later.isFirst());
        QCOMPARE(heard, QByteArray("front\n"));
    }

    // A second copy that was asked for takes the first one's place when the first ends, so a
    // later start still finds a copy to hand over to instead of opening another window.
    void aSecondCopyTakesOverWhenTheFirstEnds()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + "/Vantrel.vt";
        auto first = std::make_unique<SingleInstance>(file);
        QVERIFY(!first->handOver(false));
        SingleInstance second(file);
        QVERIFY(!second.handOver(true));
        QVERIFY(!second.isFirst());
        first.reset();
        QTRY_VERIFY_WITH_TIMEOUT(second.isFirst(), 5000);
        QSignalSpy asked(&second, &SingleInstance::frontRequested);
        QVERIFY(SingleInstance(file).handOver(false));
        QVERIFY(asked.wait());
    }

    // A runtime folder too deep for a local socket's path: the copies meet all the same.
    void aDeepRuntimeFolderStillHandsOver()
    {
        QTemporaryDir deep;
        const QString runtime = deep.path() + "/" + QString(90, 'r');
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        QTemporaryDir dir;
        SingleInstance first(dir.path() + "/Vantrel.vt");
        QVERIFY(!first.handOver(false));
        QSignalSpy asked(&first, &SingleInstance::frontRequested);
        const bool handedOver = SingleInstance(dir.path() + "/Vantrel.vt").handOver(false);
        qputenv("XDG_RUNTIME_DIR", before);
        QVERIFY(handedOver);
        QVERIFY(asked.wait());
    }

    // The running copy's window comes to the front, out of the task bar too; a window that waits
    // for an answer stands before it.
    void theRunningCopyComesToTheFront()
    {
        AppFixture app;
        SingleInstance first(app.db.path());
        QObject::connect(&first, &SingleInstance::frontRequested,
                         [&app](const QByteArray& token) { app.program->bringToFront(token); });
        QVERIFY(!first.handOver(false));
        QVERIFY(app.start());
        QSignalSpy asked(&first, &SingleInstance::frontRequested);

        app.main()->showMinimized();
        QVERIFY(app.main()->isMinimized());
        QVERIFY(SingleInstance(app.db.path()).handOver(false));
        QVERIFY(asked.wait());
        QVERIFY(!app.main()->isMinimized());
        QVERIFY(QTest::qWaitForWindowActive(app.main()));

        // A modal window of the running copy is brought forward rather than the main window
        // behind it.
        app.modal = [&](QDialog* d) { return d->exec(); };
        bool handedOver = false, heard = false, modalInFront = false;
        QDialog* about = app.program->aboutForm;
        QMetaObject::invokeMethod(
            about,
            [&] {
                handedOver = SingleInstance(app.db.path()).handOver(false);
                heard = handedOver && asked.wait();
                modalInFront = QTest::qWaitForWindowActive(about) && QApplication::activeModalWidget() == about;
                about->reject();
            },
            Qt::QueuedConnection);
        app.main()->About1Click();
        QVERIFY(handedOver);
        QVERIFY(heard);
        QVERIFY(modalInFront);
    }

private:
    QTemporaryDir m_runtime;
};

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
