#include "support/AppFixture.h"
#include "support/FocusLook.h"

#include "app/AppWindows.h"
#include "app/Program.h"
#include "contacts/TBackupsForm.h"
#include "data/Backups.h"
#include "data/Connection.h"
#include "data/DailyBackup.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "widgets/ResultGrid.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/mount.h>

using Button = MessageBox::Button;

namespace {
// What a copy holds: its check and its people's names, read on a connection of its own.
struct Look {
    QString check;
    QStringList names;
};
Look look(const QString& path)
{
    Look out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "look");
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_OPEN_READONLY");
        if (db.open()) {
            QSqlQuery q(db);
            q.exec("PRAGMA quick_check");
            while (q.next())
                out.check += q.value(0).toString();
            q.exec("SELECT Name FROM People ORDER BY PersonID");
            while (q.next())
                out.names << q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("look");
    return out;
}

struct BackupApp : AppFixture {
    QDateTime clock = QDateTime(QDate(2026, 3, 1), QTime(9, 0));
    BackupApp()
    {
        db.addPerson("Ann", {{"Mobile", "0612"}});
        db.addPerson("Bob");
        DailyBackup::setEnabled(true);
        Backups::setClock([this] { return clock; });
    }
    QString folder() const { return db.dir() + "/backups"; }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files, QDir::Name); }
    // The day's copy, if one is being made, to its end.
    void settle()
    {
        DailyBackup* daily = program->dailyBackup.get();
        QTRY_VERIFY_WITH_TIMEOUT(!daily->job(), 20000);
        QCoreApplication::processEvents(); // its end is said through the event loop
    }
    void saveOnDay(const QDate& day, const QString& mobile)
    {
        clock = QDateTime(day, QTime(9, 0));
        people()->edit();
        people()->setValue("Mobile", mobile);
        main()->SpeedButton2Click();
        settle();
    }
    TBackupsForm* openBackups()
    {
        modal = [](QDialog* d) {
            d->show();
            return int(QDialog::Accepted);
        };
        main()->findChild<QAction*>("RestoreBackup1")->trigger();
        return appWindows().BackupsForm;
    }
};

} // namespace

class TestBackups : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        DailyBackup::setEnabled(false);
        Backups::setClock({});
    }

    // The first start of a day makes the day's copy, whole and checked; the first save of each
    // later day makes that day's, and the rotation keeps the last 7 daily and 4 weekly copies.
    void madeAndRotatedOverDays_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("every"); // a save every this many days
        QTest::addColumn<QStringList>("kept");
        auto names = [](const QStringList& isos) {
            QStringList out;
            for (const QString& iso : isos)
                out << "Vantrel-" + iso + ".vt";
            return out;
        };
        QTest::newRow("one day") << 1 << 1 << names({"2026-03-01"});
        QTest::newRow("forty days, each day") << 40 << 1
            << names({"2026-03-15", "2026-03-22", "2026-03-29", "2026-04-02", "2026-04-03", "2026-04-04", "2026-04-05",
                      "2026-04-06", "2026-04-07", "2026-04-08", "2026-04-09"});
        QTest::newRow("every third day") << 15 << 3
            << names({"2026-03-01", "2026-03-07", "2026-03-13", "2026-03-22", "2026-03-25", "2026-03-28", "2026-03-31",
                      "2026-04-03", "2026-04-06", "2026-04-09", "2026-04-12"});
    }
    void madeAndRotatedOverDays()
    {
        QFETCH(int, days);
        QFETCH(int, every);
        QFETCH(QStringList, kept);
        BackupApp app;
        QVERIFY(app.start());
        app.settle();
        QCOMPARE(app.files(), QStringList{"Vantrel-2026-03-01.vt"});
        const Look first = look(app.folder() + "/Vantrel-2026-03-01.vt");
        QCOMPARE(first.check, QString("ok"));
        QCOMPARE(first.names, (QStringList{"Ann", "Bob"}));
        // A second save the same day makes no second copy, nor does a start the same day.
        app.saveOnDay(QDate(2026, 3, 1), "1");
        QCOMPARE(app.files().size(), 1);
        for (int i = 1; i < days; ++i)
            app.saveOnDay(QDate(2026, 3, 1).addDays(i * every), QString::number(i));
        QCOMPARE(app.files(), kept);
        QVERIFY(app.messages.isEmpty());
        // Each copy holds the people as they were on its day.
        const QString last = app.folder() + "/" + kept.last();
        QCOMPARE(look(last).check, QString("ok"));
        QCOMPARE(app.db.scalar("SELECT count(*) FROM People").toInt(), 2);
    }

    // A copy that cannot be made warns once a run; the work goes on and every save is kept.
    void aFailedBackupWarnsOnceAndLosesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("the folder cannot be made") << "file";
        QTest::newRow("the disk is full") << "full";
    }
    void aFailedBackupWarnsOnceAndLosesNothing()
    {
        QFETCH(QString, fault);
        BackupApp app;
        // Enough people that the copy needs more room than the full disk has.
        app.db.exec("BEGIN");
        for (int i = 0; i < 3000; ++i)
            app.db.addPerson(QString("Person %1").arg(i), {{"Info", QString(200, QChar('x'))}});
        app.db.exec("COMMIT");
        bool mounted = false;
        if (fault == "file") {
            QFile f(app.folder());
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(app.folder()));
            mounted = ::mount("tmpfs", QFile::encodeName(app.folder()).constData(), "tmpfs", 0, "size=64k") == 0;
            if (!mounted)
                QSKIP("a small disk cannot be mounted here (it needs the administrator's rights)");
        }
        struct Unmount {
            bool on;
            QString path;
            ~Unmount()
            {
                if (on)
                    ::umount(QFile::encodeName(path).constData());
            }
        } unmount{mounted, app.folder()};
        QVERIFY(app.start());
        app.settle();
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Warning);
        const QString text = app.messages[0].text;
        QVERIFY2(text.startsWith("Today's backup of Vantrel.vt could not be made. "), qPrintable(text));
        QVERIFY2(text.contains(fault == "file" ? "cannot be made" : "is full"), qPrintable(text));
        QVERIFY2(text.contains("Your work goes on and is saved as before"), qPrintable(text));
        // Later saves, also on the next day, are written; nothing more is said.
        QVERIFY(app.people()->locate({"Name"}, {"Ann"}));
        app.saveOnDay(QDate(2026, 3, 1), "1");
        app.saveOnDay(QDate(2026, 3, 2), "2");
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People WHERE Name = 'Ann'").toString(), QString("2"));
        if (fault == "full") // no piece of a copy is left to look like one
            QCOMPARE(app.files(), QStringList{});
    }

    // Restore puts the chosen copy in place after the question, keeps the file as it was as a copy
    // of its own, and the program goes on with the restored people; Cancel changes nothing.
    void restoreFromABackup_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("restored") << int(Button::Yes);
        QTest::newRow("cancelled") << int(Button::No);
    }
    void restoreFromABackup()
    {
        QFETCH(int, answer);
        BackupApp app;
        QVERIFY(app.start());
        app.settle();
        // Changed since: Ann's mobile, Bob gone, Cid added.
        QVERIFY(app.people()->locate({"Name"}, {"Ann"}));
        app.saveOnDay(QDate(2026, 3, 1), "0699");
        QVERIFY(app.people()->locate({"Name"}, {"Bob"}));
        app.answers = {Button::Yes};
        app.main()->SpeedButton3Click();
        app.db.addPerson("Cid");
        app.people()->refresh();
        app.clock = QDateTime(QDate(2026, 3, 1), QTime(15, 30, 5));

        TBackupsForm* form = app.openBackups();
        QCOMPARE(form->copies().size(), 1);
        QCOMPARE(form->BackupsGrid->cellText(0, 2), QString("2"));
        QCOMPARE(form->BackupsGrid->cellText(0, 1), QLocale().toString(QDate(2026, 3, 1), QLocale::ShortFormat));
        QVERIFY(!form->RestoreBackupButton->isEnabled());
        form->selectCopy(0);
        QVERIFY(form->RestoreBackupButton->isEnabled());
        app.messages.clear();
        app.answers = {Button(answer)};
        form->RestoreBackupButton->click();
        QCOMPARE(app.messages.size(), 1);
        const MessageBox::Request& asked = app.messages[0];
        QCOMPARE(asked.texts, (QStringList{"&Restore", "Cancel"}));
        QCOMPARE(asked.defaultButton, Button::No);
        QVERIFY2(asked.text.contains("Vantrel-2026-03-01-153005-before-restore.vt"), qPrintable(asked.text));
        QStringList names;
        for (int r = 0; r < app.people()->recordCount(); ++r)
            names << app.people()->valueAt(r, app.people()->columnIndex("Name")).toString();
        if (answer == int(Button::No)) {
            QCOMPARE(names, (QStringList{"Ann", "Cid"}));
            QCOMPARE(app.files(), QStringList{"Vantrel-2026-03-01.vt"});
            form->hide();
            return;
        }
        QCOMPARE(names, (QStringList{"Ann", "Bob"}));
        QVERIFY(app.people()->locate({"Name"}, {"Ann"}));
        QCOMPARE(app.people()->value("Mobile").toString(), QString("0612"));
        QCOMPARE(app.db.scalar("SELECT group_concat(Name) FROM People").toString(), QString("Ann,Bob"));
        QCOMPARE(app.files(), (QStringList{"Vantrel-2026-03-01-153005-before-restore.vt", "Vantrel-2026-03-01.vt"}));
        const Look kept = look(app.folder() + "/Vantrel-2026-03-01-153005-before-restore.vt");
        QCOMPARE(kept.check, QString("ok"));
        QCOMPARE(kept.names, (QStringList{"Ann", "Cid"}));
        QCOMPARE(form->copies().size(), 2);
        QVERIFY(form->StatusLabel->text().startsWith("The backup of "));
        // The line of the result is whole and under the list, not over it.
        QCoreApplication::processEvents();
        QVERIFY(form->StatusLabel->geometry().top() > form->BackupsGrid->geometry().bottom());
        QVERIFY(form->StatusLabel->heightForWidth(form->StatusLabel->width()) <= form->StatusLabel->height());
        // The restored people are worked on as ever: a save is written and recorded.
        app.saveOnDay(QDate(2026, 3, 1), "0700");
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People WHERE Name = 'Ann'").toString(), QString("0700"));
        form->hide();
    }

    // The window as it stands on the screen, and the question of a restore as a real message box:
    // buttons in order, the default, the focus, and what the keys do.
    void backupsWindowOnTheScreen_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QStringList>("focusWalk");
        QTest::newRow("enter") << "enter" << false << QStringList{};
        QTest::newRow("escape") << "escape" << false << QStringList{};
        QTest::newRow("tab without a line chosen") << "tab" << true << QStringList{"CloseButton"};
        QTest::newRow("tab round to the list") << "space tab tab tab" << true
                                               << QStringList{"RestoreBackupButton", "CloseButton", "BackupsGrid"};
    }
    void backupsWindowOnTheScreen()
    {
        QFETCH(QString, keys);
        QFETCH(bool, open);
        QFETCH(QStringList, focusWalk);
        BackupApp app;
        QVERIFY(app.start());
        app.settle();
        TBackupsForm* form = app.openBackups();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QList<QPushButton*> buttons = form->findChildren<QPushButton*>();
        std::sort(buttons.begin(), buttons.end(), [form](QPushButton* a, QPushButton* b) {
            return a->mapTo(form, QPoint()).x() < b->mapTo(form, QPoint()).x();
        });
        QStringList order, defaults;
        for (QPushButton* b : buttons) {
            order << b->objectName();
            if (b->isDefault())
                defaults << b->objectName();
            QVERIFY(form->rect().contains(QRect(b->mapTo(form, QPoint()), b->size())));
        }
        QCOMPARE(order, (QStringList{"RestoreBackupButton", "CloseButton"}));
        QCOMPARE(defaults, QStringList{"CloseButton"});
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->BackupsGrid));
        QStringList walked;
        for (const QString& k : keys.split(' ')) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus);
            QTest::keyClick(focus, k == "enter" ? Qt::Key_Return : k == "escape" ? Qt::Key_Escape
                                   : k == "tab"  ? Qt::Key_Tab
                                                 : Qt::Key_Space);
            if (k == "tab")
                walked << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(form->isVisible(), open);
        QCOMPARE(walked, focusWalk);
        form->hide();
    }

    void restoreQuestionOnTheScreen_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("restored");
        QTest::newRow("enter: Cancel, the default") << int(Qt::Key_Return) << false;
        QTest::newRow("escape") << int(Qt::Key_Escape) << false;
        QTest::newRow("space on the focused Cancel") << int(Qt::Key_Space) << false;
        QTest::newRow("left, then space: Restore") << int(Qt::Key_Left) << true;
    }
    void restoreQuestionOnTheScreen()
    {
        QFETCH(int, key);
        QFETCH(bool, restored);
        BackupApp app;
        QVERIFY(app.start());
        app.settle();
        app.db.addPerson("Cid");
        TBackupsForm* form = app.openBackups();
        form->selectCopy(0);
        MessageBox::setHandler({}); // the real box
        QStringList order, captions;
        QString defaultButton, focus;
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box)
                return;
            QCoreApplication::processEvents();
            shown = true;
            QList<QPushButton*> buttons = box->findChildren<QPushButton*>();
            std::sort(buttons.begin(), buttons.end(), [box](QPushButton* a, QPushButton* b) {
                return a->mapTo(box, QPoint()).x() < b->mapTo(box, QPoint()).x();
            });
            for (QPushButton* b : buttons) {
                captions << b->text();
                if (b->isDefault())
                    defaultButton = b->text();
            }
            if (auto* f = qobject_cast<QPushButton*>(QApplication::focusWidget()))
                focus = f->text();
            QWidget* f = QApplication::focusWidget();
            QTest::keyClick(f, Qt::Key(key));
            if (key == Qt::Key_Left)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
            if (box->isVisible())
                box->done(QDialog::Rejected);
        });
        form->RestoreBackupButton->click();
        QVERIFY(shown);
        QCOMPARE(captions, (QStringList{"&Restore", "Cancel"}));
        QCOMPARE(defaultButton, QString("Cancel"));
        QCOMPARE(focus, QString("Cancel"));
        QCOMPARE(app.db.count("People"), restored ? 2 : 3);
        form->hide();
    }

    // The file is as before or after, never between: a program killed at any moment of a backup
    // leaves no file that looks like a copy and is not a whole one, and the database as it was.
    void killedWhileCopying_data()
    {
        QTest::addColumn<int>("round");
        for (int i = 0; i < 3; ++i)
            QTest::newRow(qPrintable(QString("kill %1").arg(i))) << i;
    }
    void killedWhileCopying()
    {
        TestDatabase db;
        const int people = 20000;
        db.exec("BEGIN");
        for (int i = 0; i < people; ++i)
            db.addPerson(QString("P%1").arg(i), {{"Info", QString(100, QChar('a' + i % 26))}});
        db.exec("COMMIT");
        db.disconnect();
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VANTREL_BACKUP_CHILD", db.path());
        child.setProcessEnvironment(env);
        child.start();
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += child.readAllStandardOutput()).count('\n') >= 2, 60000);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        const QVector<Backups::Copy> copies = Backups::list(db.path());
        QVERIFY(copies.size() >= 1);
        for (const Backups::Copy& c : copies) {
            const Look l = look(c.path);
            QCOMPARE(l.check, QString("ok"));
            QCOMPARE(l.names.size(), people);
            QCOMPARE(c.people, people);
        }
        QCOMPARE(look(db.path()).names.size(), people);
        // The next rotation clears what the killed copy left.
        Backups::rotate(db.path());
        QCOMPARE(QDir(Backups::folder(db.path())).entryList({"*.part*"}, QDir::Files), QStringList{});
    }
};

namespace {
// The child of killedWhileCopying: copies the file round after round, a day's copy each, until it
// is killed.
int childWork(const QString& path)
{
    Connection c("child");
    TestDatabase::pointAt(c, path);
    c.open();
    for (int round = 0;; ++round) {
        BackupJob job(c, Backups::folder(path) + "/" + Backups::dailyName(QDate(2026, 1, 1).addDays(round)));
        if (!job.runToEnd())
            return 1;
        printf("round %d\n", round);
        fflush(stdout);
    }
}
} // namespace

int main(int argc, char** argv)
{
    const QString child = qEnvironmentVariable("VANTREL_BACKUP_CHILD");
    if (!child.isEmpty()) {
        QCoreApplication app(argc, argv);
        return childWork(child);
    }
    QApplication app(argc, argv);
    TestBackups test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_backups.moc"
