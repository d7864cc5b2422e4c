#include "support/AppFixture.h"

#include "app/Program.h"
#include "data/Connection.h"
#include "contacts/PeoplePage.h"
#include "data/MainDataModule.h"
#include "filters/TFilters.h"
#include "followup/TFollowUpForm.h"
#include "followup/TPickDateForm.h"
#include "followup/TRemindersForm.h"
#include "help/TAboutForm.h"
#include "help/THelpForm.h"
#include "profile/TRetail.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <memory>

#include <sys/fsuid.h>
#include <unistd.h>

namespace {
// The administrator may write any file: to meet a read-only file or folder as a user does, file
// access runs as an ordinary user meanwhile.
class FileAccessAsAUser {
public:
    FileAccessAsAUser()
    {
        if (geteuid() == 0) {
            setfsgid(65534);
            setfsuid(65534);
        }
    }
    ~FileAccessAsAUser()
    {
        if (geteuid() == 0) {
            setfsuid(0);
            setfsgid(0);
        }
    }
};

const QString kFontMessage = "Display font size is NOT set to small fonts (96 dpi). To run correctly, display font size "
                             "must be set to small fonts (96 dpi). Vantrel BC will close now.";
const QString kScreenMessage = "Screen area is less than 800*600. To run correctly, screen area must be set to "
                               "800*600 or higher. Vantrel BC will close now.";
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Another program's lock is waited for this long before start-up gives up.
        Connection::setDefaultBusyTimeout(100);
    }

    // A database gone from beside the program is made again only when the user says so: it may
    // have been moved, and is then put back rather than replaced by an empty one.
    void aMissingDatabaseIsMadeOnlyWhenTheUserAsks_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("OK") << int(MessageBox::Button::Ok);
        QTest::newRow("Cancel") << int(MessageBox::Button::Cancel);
    }
    void aMissingDatabaseIsMadeOnlyWhenTheUserAsks()
    {
        QFETCH(int, answer);
        AppFixture app;
        app.db.disconnect();
        QVERIFY(QFile::remove(app.db.path()));
        app.answers = {MessageBox::Button(answer)};
        const bool made = answer == int(MessageBox::Button::Ok);
        QCOMPARE(app.start(), made);
        QCOMPARE(app.program->exitCode(), 0);
        QCOMPARE(app.messages.size(), 1);
        const MessageBox::Request& asked = app.messages[0];
        QCOMPARE(asked.text, QString("There is no Vantrel.vt in %1, the folder of the program.\n\nIf you have used "
                                     "Vantrel from this folder before, your data has been moved, renamed or deleted: "
                                     "choose Cancel, and put Vantrel.vt back.\n\nChoose OK to start with an empty "
                                     "Vantrel.vt made there.")
                                 .arg(QDir::toNativeSeparators(app.db.dir())));
        QCOMPARE(asked.buttons, (QList<MessageBox::Button>{MessageBox::Button::Ok, MessageBox::Button::Cancel}));
        QCOMPARE(asked.defaultButton, MessageBox::Button::Cancel);
        QCOMPARE(asked.escapeButton, MessageBox::Button::Cancel);
        QCOMPARE(QFileInfo::exists(app.db.path()), made);
        if (made) {
            QCOMPARE(app.people()->recordCount(), 0);
            QVERIFY(app.main()->isVisible());
        }
    }

    void databaseProblemsEndStartUpWithAStopMessage_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("expected");
        QTest::newRow("foreign file") << "foreign" << "Vantrel.vt is damaged or is not a Vantrel database.";
        QTest::newRow("no tables") << "empty" << "Vantrel.vt is not a Vantrel database: the table Companies is missing.";
        QTest::newRow("people without CompanyID")
            << "DROP INDEX PeopleCompanyID; DROP INDEX PeopleDuplicate; ALTER TABLE People DROP COLUMN CompanyID"
            << "the table People has no column CompanyID.";
        QTest::newRow("people without Spouse") << "ALTER TABLE People DROP COLUMN Spouse"
                                               << "the table People has no column Spouse.";
        QTest::newRow("companies without CompanyID") << "ALTER TABLE Companies RENAME COLUMN CompanyID TO Number"
                                                     << "the table Companies has no column CompanyID.";
        QTest::newRow("answers without Answer") << "ALTER TABLE QuestionsMain DROP COLUMN Answer"
                                                << "the table QuestionsMain has no column Answer.";
        // Every table of the delivered file is required, also those that only the hidden pages read
        // and the one that nothing opens. A view of the same name and columns is no table: nothing
        // could be saved in it. A name in another case is the same table.
        for (const QString table : {"Companies", "People", "QuestionsMain", "PeopleFollowUp", "FollowUpMethod",
                                    "Projects", "SubProjects", "SubProjectHistory", "SubProjectStatus",
                                    "SubProjectType", "SubProjectSize", "Business"}) {
            const QString missing = "Vantrel.vt is not a Vantrel database: the table " + table + " is missing.";
            QTest::newRow(qPrintable("without " + table)) << "DROP TABLE " + table << missing;
            QTest::newRow(qPrintable("a view in place of " + table))
                << QString("ALTER TABLE %1 RENAME TO kept; CREATE VIEW %1 AS SELECT * FROM kept").arg(table) << missing;
            QTest::newRow(qPrintable(table + " named in capitals"))
                << QString("ALTER TABLE %1 RENAME TO renamed; ALTER TABLE renamed RENAME TO %2").arg(table, table.toUpper())
                << "";
        }
        QTest::newRow("locked by another program") << "locked" << "Another program is using Vantrel.vt and keeps it locked";
        QTest::newRow("read-only file") << "read-only file" << "Vantrel.vt is read-only, so nothing can be saved in it.";
        QTest::newRow("read-only folder") << "read-only folder"
                                          << "The folder that holds Vantrel.vt cannot be written, so nothing can be saved.";
    }
    void databaseProblemsEndStartUpWithAStopMessage()
    {
        QFETCH(QString, damage);
        QFETCH(QString, expected);
        AppFixture app;
        const QString dir = app.db.dir();
        if (damage.contains("ALTER") || damage.startsWith("DROP")) {
            for (const QString& statement : damage.split("; "))
                app.db.exec(statement);
        }
        if (damage == "locked")
            app.db.exec("BEGIN IMMEDIATE"); // held until the end of the test
        else
            app.db.disconnect();
        if (damage == "missing" || damage == "foreign" || damage == "empty")
            QFile::remove(app.db.path());
        if (damage == "foreign") {
            QFile f(app.db.path());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("This is a letter, not a database.\n");
        } else if (damage == "empty") {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "empty");
            db.setDatabaseName(app.db.path());
            QVERIFY(db.open());
            QSqlQuery(db).exec("CREATE TABLE Other (x)");
            db.close();
        }
        std::unique_ptr<FileAccessAsAUser> user;
        if (damage == "read-only file") {
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                           | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
            QFile::setPermissions(app.db.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            user = std::make_unique<FileAccessAsAUser>();
        } else if (damage == "read-only folder") {
            QFile::setPermissions(app.db.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                     | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther);
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                           | QFile::ReadOther | QFile::ExeOther);
            user = std::make_unique<FileAccessAsAUser>();
        }
        const bool started = app.start();
        user.reset();
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (expected.isEmpty()) { // no problem at all
            QCOMPARE(app.messageTexts(), QStringList{});
            QVERIFY(started);
            QVERIFY(app.program->mainForm->isVisible());
            return;
        }
        QVERIFY(!started);
        QCOMPARE(app.program->exitCode(), 1);
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Stop);
        const QString text = app.messages[0].text;
        QVERIFY2(text.startsWith("Vantrel cannot start.\n\n"), qPrintable(text));
        QVERIFY2(text.contains(expected), qPrintable(text));
        QVERIFY2(text.endsWith("Database: " + QDir::toNativeSeparators(app.db.path())), qPrintable(text));
        QVERIFY(!app.program->mainForm->isVisible());
        if (damage == "missing")
            QVERIFY(!QFile::exists(app.db.path())); // never creates a database of its own
        if (damage.startsWith("read-only"))
            QVERIFY(!QFile::exists(app.db.path() + "-wal"));
    }

    void displayChecks_data()
    {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("1024x768 at 96 dpi") << 96.0 << 1024 << 768 << QStringList{};
        QTest::newRow("589 high") << 96.0 << 1024 << 589 << QStringList{kScreenMessage};
        QTest::newRow("narrow but 590 high") << 96.0 << 700 << 590 << QStringList{};
        QTest::newRow("120 dpi and low") << 120.0 << 1024 << 500 << QStringList{kFontMessage, kScreenMessage};
        QTest::newRow("scaled display answers 96") << 96.0 << 2560 << 1440 << QStringList{};
        // At the edges of both checks: any resolution but 96 (to the nearest dot) closes, and a
        // height of 590 is enough, whatever the width.
        QTest::newRow("72 dpi") << 72.0 << 1024 << 768 << QStringList{kFontMessage};
        QTest::newRow("95 dpi") << 95.0 << 1024 << 768 << QStringList{kFontMessage};
        QTest::newRow("97 dpi") << 97.0 << 1024 << 768 << QStringList{kFontMessage};
        QTest::newRow("144 dpi, tall") << 144.0 << 1920 << 1080 << QStringList{kFontMessage};
        QTest::newRow("95.6 dpi is 96") << 95.6 << 1024 << 768 << QStringList{};
        QTest::newRow("96.4 dpi is 96") << 96.4 << 1024 << 768 << QStringList{};
        QTest::newRow("96.6 dpi is 97") << 96.6 << 1024 << 768 << QStringList{kFontMessage};
        QTest::newRow("95.4 dpi is 95") << 95.4 << 1024 << 768 << QStringList{kFontMessage};
        QTest::newRow("590 high") << 96.0 << 1024 << 590 << QStringList{};
        QTest::newRow("591 high") << 96.0 << 1024 << 591 << QStringList{};
        QTest::newRow("800x600") << 96.0 << 800 << 600 << QStringList{};
        QTest::newRow("640x480") << 96.0 << 640 << 480 << QStringList{kScreenMessage};
        QTest::newRow("wide but 589 high") << 96.0 << 3000 << 589 << QStringList{kScreenMessage};
        QTest::newRow("72 dpi and 589 high") << 72.0 << 1024 << 589 << QStringList{kFontMessage, kScreenMessage};
    }
    void displayChecks()
    {
        QFETCH(double, dpi);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QStringList, expected);
        AppFixture app(ScreenMetrics{dpi, width, height});
        const bool started = app.start();
        QCOMPARE(app.messageTexts(), expected);
        for (const auto& m : app.messages)
            QCOMPARE(m.icon, MessageBox::Icon::Information);
        QCOMPARE(started, expected.isEmpty());
        QCOMPARE(app.program->quitRequested(), !expected.isEmpty());
        QCOMPARE(app.program->exitCode(), 0);
    }

    void windowsAreCreatedOnceWithTheirCaptions()
    {
        AppFixture app;
        QVERIFY(app.start());
        Program& p = *app.program;
        QCOMPARE(p.mainForm->windowTitle(), QString("Vantrel (Belcarre)"));
        QCOMPARE(QApplication::applicationName(), QString("Vantrel (Belcarre)"));
        QCOMPARE(p.helpForm->windowTitle(), QString("Vantrel Help"));
        QCOMPARE(p.followUpForm->windowTitle(), QString("Follow-up Activities"));
        QCOMPARE(p.remindersForm->windowTitle(), QString("Reminders Report"));
        QCOMPARE(p.filters->windowTitle(), QString("Filters"));
        QCOMPARE(p.aboutForm->windowTitle(), QString("About Vantrel (Belcarre)"));
        QCOMPARE(p.retail->windowTitle(), QString("Personality Identification"));
        QCOMPARE(p.pickDateForm->windowTitle(), QString("Pick Date"));
        for (Dataset* ds : app.data()->openingOrder())
            QVERIFY2(ds->isActive(), qPrintable(ds->name()));
        QVERIFY(p.followUpForm->FollowUp->isActive());
        QVERIFY(p.retail->QMainTable->isActive());

        // Only the People page and the hidden help page are left; no other tab can be reached.
        QTabWidget* pages = app.find<QTabWidget>("MainDataEntry");
        QCOMPARE(pages->count(), 2);
        QCOMPARE(pages->widget(0)->objectName(), QString("PeopleTabSheet"));
        QCOMPARE(pages->widget(1)->objectName(), QString("HelpSheet"));
        QCOMPARE(pages->currentIndex(), 0);
        QVERIFY(pages->tabText(0).startsWith("Vantrel"));
        QVERIFY(!pages->isTabVisible(1));
    }

    void mainWindowOpensCollapsedAndCentred()
    {
        AppFixture app(ScreenMetrics{96, 1024, 768});
        QVERIFY(app.start());
        TDataEntryForm* w = app.main();
        QCOMPARE(w->outerWidth(), 430);
        QCOMPARE(w->frameGeometry().left(), (1024 - 430) / 2);
        QCOMPARE(w->frameGeometry().top(), (768 - (w->frameGeometry().height() + 25)) / 2);
        QVERIFY(!w->BusinessInfoShown);
        QCOMPARE(w->focusWidget(), static_cast<QWidget*>(w->People->Button7));
    }

    void closingWithABlankNewPersonShowsTheNameMessageAndStillEnds()
    {
        AppFixture app;
        QVERIFY(app.start());
        QLineEdit* mobile = app.find<QLineEdit>("Mobile");
        QTest::keyClicks(mobile, "555");
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        QVERIFY(app.main()->close());
        QCOMPARE(app.messageTexts(), QStringList{"Required field (Name) is empty."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QVERIFY(!app.main()->isVisible());
        QCOMPARE(app.db.count("People"), 0);
    }

    void closingSavesAPendingEditAndReportsAFailedSave()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "555");
        QVERIFY(app.main()->close());
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People").toString(), QString("555"));

        // A save the database refuses is not dropped without the user's word: No keeps the
        // window open with the edit, Yes closes and loses it.
        AppFixture again;
        again.db.addPerson("Bob");
        QVERIFY(again.start());
        again.people()->edit();
        again.people()->setValue("Name", QString(300, 'x'));
        again.answers = {MessageBox::Button::No};
        QVERIFY(!again.main()->close());
        QVERIFY(again.main()->isVisible());
        QCOMPARE(again.people()->state(), DatasetState::Edit);
        QCOMPARE(again.people()->value("Name").toString(), QString(300, 'x'));
        QCOMPARE(again.messages.size(), 1);
        const MessageBox::Request& ask = again.messages[0];
        QCOMPARE(ask.icon, MessageBox::Icon::Warning);
        QVERIFY2(ask.text.contains("The value for Name is longer than the 255 characters"), qPrintable(ask.text));
        QVERIFY(ask.text.endsWith("Close Vantrel anyway and lose these changes?"));
        QCOMPARE(ask.buttons, (QList<MessageBox::Button>{MessageBox::Button::Yes, MessageBox::Button::No}));
        QCOMPARE(ask.defaultButton, MessageBox::Button::No);
        QCOMPARE(ask.escapeButton, MessageBox::Button::No);
        again.answers = {MessageBox::Button::Yes};
        QVERIFY(again.main()->close());
        QCOMPARE(again.db.scalar("SELECT Name FROM People").toString(), QString("Bob"));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
