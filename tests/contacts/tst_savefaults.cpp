// Faults injected on real files while a person is being edited: another program holding the
// write lock, a read-only file, a full disk, a second copy of the program changing or deleting
// the same person. Whatever the database refuses is said in plain words, and the edit stays.
#include "support/AppFixture.h"

#include "app/Program.h"
#include "contacts/PeoplePage.h"
#include "data/FileCheck.h"
#include "data/MainDataModule.h"
#include "filters/TFilters.h"
#include "followup/TFollowUpForm.h"
#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"
#include "widgets/ResultGrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>

using Button = MessageBox::Button;

namespace {
const QString kChanged = "This person was changed by another user since you began editing. Save your changes over theirs?";
const QString kDeleted = "This person was deleted by another user. Save it as a new person?";

// A second copy of the program on the same file: its own data module and connection.
struct SecondCopy {
    explicit SecondCopy(const QString& path)
    {
        TestDatabase::pointAt(data.MainADOConnection, path);
        data.MainADOConnection.open();
        data.SetDatasetsActive(true);
    }
    void setMobile(const QString& mobile)
    {
        data.PeopleCompanyDet->edit();
        data.PeopleCompanyDet->setValue("Mobile", mobile);
        data.PeopleCompanyDet->post();
    }
    TMainDataModule data;
};

// What a user meets in a real message box, and the answer given by one key sent to the widget
// that has the keyboard focus.
struct SeenBox {
    QString text;
    QStringList buttons; // left to right on the screen
    QString defaultButton;
    QString focused;
    bool closedByKey = false;
};

QString caption(const QAbstractButton* b) { return b->text().remove('&'); }

SeenBox pressInRealBox(const std::function<void()>& step, int key)
{
    SeenBox seen;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        QList<QAbstractButton*> buttons;
        for (QAbstractButton* b : modal->findChildren<QAbstractButton*>())
            if (b->isVisible())
                buttons << b;
        std::sort(buttons.begin(), buttons.end(), [&](QAbstractButton* a, QAbstractButton* b) {
            return a->mapTo(modal, QPoint()).x() < b->mapTo(modal, QPoint()).x();
        });
        for (QAbstractButton* b : buttons) {
            seen.buttons << caption(b);
            if (auto* p = qobject_cast<QPushButton*>(b); p && p->isDefault())
                seen.defaultButton = caption(b);
        }
        QStringList texts;
        for (QLabel* l : modal->findChildren<QLabel*>())
            if (l->isVisible() && !l->text().isEmpty())
                texts << l->text();
        seen.text = texts.join('\n');
        // The headless platform activates no window by itself; a window manager would.
        if (QApplication::activeWindow() != modal)
            QApplication::setActiveWindow(modal);
        QWidget* focus = QApplication::focusWidget();
        if (auto* b = qobject_cast<QAbstractButton*>(focus))
            seen.focused = caption(b);
        poll.stop();
        QTest::keyClick(focus ? focus : modal, Qt::Key(key));
        // Keys are handled at once: a box still shown did not take the key as an answer.
        seen.closedByKey = !modal->isVisible();
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible())
            dialog->reject();
    });
    poll.start();
    step();
    return seen;
}
} // namespace

class TestSaveFaults : public QObject {
    Q_OBJECT

    static void holdWriteLock(AppFixture& app) { app.db.exec("BEGIN IMMEDIATE"); }
    // A window the main window opens stays on the screen, to be worked in, while the test goes on.
    static void showWindowsWithoutWaiting(AppFixture& app)
    {
        app.modal = [](QDialog* d) {
            d->show();
            return int(QDialog::Rejected);
        };
    }
    static void releaseWriteLock(AppFixture& app) { app.db.exec("ROLLBACK"); }
    static QLineEdit* mobile(AppFixture& app) { return app.find<QLineEdit>("Mobile"); }
    static void typeAtEnd(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->end(false);
        QTest::keyClicks(edit, text);
    }

private slots:
    void initTestCase()
    {
        // Another program's lock is waited for this long before the user is told.
        Connection::setDefaultBusyTimeout(100);
    }

    void aLockHeldByAnotherProgramRefusesSaveMoveAndDeleteWithoutLosingTheEdit()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Mobile", "111"}});
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        typeAtEnd(mobile(app), "222");
        holdWriteLock(app);

        app.main()->SpeedButton2Click();
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QVERIFY2(app.messages[0].text.startsWith("Your changes could not be saved. " + app.db.locked()),
                 qPrintable(app.messages[0].text));
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(mobile(app)->text(), QString("111222"));

        // Next would save first: it says why it cannot, and stays on the person with the edit.
        app.main()->SpeedButton9Click();
        QCOMPARE(app.messages.size(), 2);
        QVERIFY(app.messages[1].text.contains(app.db.locked()));
        QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
        QCOMPARE(mobile(app)->text(), QString("111222"));
        QCOMPARE(app.main()->focusWidget(), static_cast<QWidget*>(app.main()->People->Button7));

        // A refused delete keeps the person and the pending edit.
        app.answers = {Button::Yes};
        app.main()->SpeedButton3Click();
        QCOMPARE(app.messages.size(), 4);
        QVERIFY2(app.messages[3].text.startsWith("The record could not be deleted. " + app.db.locked()),
                 qPrintable(app.messages[3].text));
        QCOMPARE(app.people()->recordCount(), 2);
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(mobile(app)->text(), QString("111222"));

        // Opening another window over a refused save would work on an unsaved person: it stays shut.
        bool shown = false;
        app.modal = [&](QDialog*) { shown = true; return 0; };
        app.main()->BitBtn7Click();
        QVERIFY(!shown);
        QCOMPARE(app.messages.size(), 5);
        QVERIFY(app.messages[4].text.contains(app.db.locked()));

        // The search saves first as well.
        QTest::keyClicks(app.main()->People->Edit1, "B");
        QCOMPARE(app.messages.size(), 6);
        QVERIFY(app.messages[5].text.contains(app.db.locked()));
        QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
        QCOMPARE(mobile(app)->text(), QString("111222"));

        releaseWriteLock(app);
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People WHERE Name = 'Anna'").toString(), QString("111"));
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People WHERE Name = 'Anna'").toString(), QString("111222"));
        QCOMPARE(app.messages.size(), 6);
        app.main()->SpeedButton2Click(); // nothing pending: silent
        QCOMPARE(app.messages.size(), 6);
    }

    void theFilterRunOverALockKeepsTheEditAndTheResultsShown()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Hobbies", "golf"}});
        app.db.addPerson("Bob", {{"Hobbies", "golf"}});
        QVERIFY(app.start());
        showWindowsWithoutWaiting(app);
        app.main()->BitBtn8Click();
        TFilters* f = app.program->filters;
        QVERIFY(f->isVisible());
        f->findChild<QCheckBox*>("CheckBoxHobbies")->click();
        QTest::keyClicks(f->findChild<QLineEdit*>("EditHobbies"), "golf");
        f->BitBtn1Click();
        QCOMPARE(f->StringGrid1->model()->rowCount(), 2);

        app.main()->SpeedButton9Click();
        typeAtEnd(mobile(app), "7");
        holdWriteLock(app);
        f->BitBtn1Click();
        releaseWriteLock(app);
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QVERIFY2(app.messages[0].text.startsWith("Your changes could not be saved. " + app.db.locked()),
                 qPrintable(app.messages[0].text));
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(app.people()->value("Name").toString(), QString("Bob"));
        QCOMPARE(mobile(app)->text(), QString("7"));
        QVERIFY(f->StringGrid1->isVisible());
        QCOMPARE(f->StringGrid1->model()->rowCount(), 2);
        QVERIFY(f->findChild<QCheckBox*>("CheckBoxHobbies")->isChecked());
        QVERIFY(app.db.scalar("SELECT Mobile FROM People WHERE Name = 'Bob'").isNull());
        f->hide();
    }

    void theFollowUpWindowsSavesOverALockKeepTheActivity()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        showWindowsWithoutWaiting(app);
        app.main()->BitBtn7Click();
        TFollowUpForm* f = app.program->followUpForm;
        QVERIFY(f->isVisible());
        f->DBNavigator1->click(DBNavigator::Button::Insert);
        f->FollowUp->setValue("FUDescription", "Quote sent");
        holdWriteLock(app);

        f->DBNavigator1->click(DBNavigator::Button::Post);
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QVERIFY2(app.messages[0].text.startsWith("Your changes could not be saved. " + app.db.locked()),
                 qPrintable(app.messages[0].text));
        QCOMPARE(f->FollowUp->state(), DatasetState::Insert);
        QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("Quote sent"));

        // Closing says what could not be saved, once, and keeps the window with the activity.
        QVERIFY(!f->close());
        QCOMPARE(app.messages.size(), 2);
        QVERIFY2(app.messages[1].text.startsWith("Your changes to the current activity could not be saved:\n" + app.db.locked()),
                 qPrintable(app.messages[1].text));
        QCOMPARE(app.messages[1].text.count("could not be saved"), 1);
        QVERIFY(f->isVisible());
        QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("Quote sent"));
        QCOMPARE(app.db.count("PeopleFollowUp"), 0);
        QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));

        releaseWriteLock(app);
        f->DBNavigator1->click(DBNavigator::Button::Post);
        QCOMPARE(app.messages.size(), 2);
        QCOMPARE(app.db.scalar("SELECT PersonID || ' ' || FUDescription FROM PeopleFollowUp").toString(),
                 QString("%1 Quote sent").arg(anna));
        QVERIFY(f->close());
    }

    void readOnlyFileAndFullDiskAreNamed_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("expected");
        QTest::newRow("read-only") << "PRAGMA query_only = 1" << "Vantrel.vt is read-only, so nothing can be saved";
        QTest::newRow("disk full") << "PRAGMA max_page_count = 1" << "The disk that holds Vantrel.vt is full";
    }
    void readOnlyFileAndFullDiskAreNamed()
    {
        SKIP_ON_SERVER("pragmas, which make it read-only or full");
        QFETCH(QString, fault);
        QFETCH(QString, expected);
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        app.data()->MainADOConnection.exec(fault); // the file cannot grow past its present size
        // A person too big for the pages the file has: the disk has no room for one more.
        app.people()->edit();
        for (const char* column : {"HAStreet", "BAStreet", "Spouse", "Children", "HAPostalCode", "BAPostalCode",
                                   "HAPostOfficeBox", "BAPostOfficeBox", "WebPage", "HomePage", "AssistantName",
                                   "ManagerName", "Ethnic", "Hobbies", "Info", "Address", "ReferredBy",
                                   "ProspectingData", "OfferedSolution"})
            app.people()->setValue(column, QString(250, 'w'));
        app.main()->SpeedButton2Click();
        QCOMPARE(app.messages.size(), 1);
        QVERIFY2(app.messages[0].text.startsWith("Your changes could not be saved. " + expected),
                 qPrintable(app.messages[0].text));
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(app.people()->value("Info").toString(), QString(250, 'w'));
        QVERIFY(app.db.scalar("SELECT Info FROM People").isNull());
    }

    void aSecondCopyChangingTheSamePersonIsAskedAbout()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Mobile", "111"}, {"Email1", "anna@example.com"}});
        QVERIFY(app.start());
        SecondCopy other(app.db.path());

        // Different columns: both changes are kept, without a question.
        typeAtEnd(app.find<QLineEdit>("Email1"), ".au");
        other.setMobile("999");
        app.main()->SpeedButton2Click();
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(app.db.scalar("SELECT Mobile || ' ' || Email1 FROM People").toString(),
                 QString("999 anna@example.com.au"));
        QCOMPARE(mobile(app)->text(), QString("999"));

        // The same column: No keeps editing; Discard then shows theirs.
        typeAtEnd(mobile(app), "1");
        other.setMobile("888");
        app.answers = {Button::No};
        app.main()->SpeedButton2Click();
        QCOMPARE(app.messages.size(), 1);
        const MessageBox::Request& ask = app.messages[0];
        QCOMPARE(ask.text, kChanged);
        QCOMPARE(ask.icon, MessageBox::Icon::Warning);
        QCOMPARE(ask.buttons, (QList<Button>{Button::Yes, Button::No}));
        QCOMPARE(ask.defaultButton, Button::No);
        QCOMPARE(ask.escapeButton, Button::No);
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(mobile(app)->text(), QString("9991"));
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People").toString(), QString("888"));
        app.main()->SpeedButton5Click();
        QCOMPARE(mobile(app)->text(), QString("888"));

        // Closing asks the same; No keeps the window open with the edit.
        typeAtEnd(mobile(app), "7");
        other.setMobile("555");
        app.answers = {Button::No};
        QVERIFY(!app.main()->close());
        QCOMPARE(app.messages.size(), 2);
        QCOMPARE(app.messages[1].text, kChanged);
        QVERIFY(app.main()->isVisible());
        QCOMPARE(mobile(app)->text(), QString("8887"));

        // Yes writes over theirs; a move asks the same.
        other.setMobile("444");
        app.answers = {Button::Yes};
        app.main()->SpeedButton9Click();
        QCOMPARE(app.messages.size(), 3);
        QCOMPARE(app.messages[2].text, kChanged);
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People").toString(), QString("8887"));
    }

    void aSecondCopyDeletingThePersonIsAskedAbout()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna", {{"Title", "Dr."}, {"Birthday", "1980-03-04"}});
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        SecondCopy other(app.db.path());

        // No keeps editing; Discard then shows what is stored: no such person.
        QTest::keyClicks(mobile(app), "123");
        other.data.PeopleCompanyDet->remove();
        app.answers = {Button::No};
        app.main()->SpeedButton2Click();
        QCOMPARE(app.messageTexts(), QStringList{kDeleted});
        QCOMPARE(app.messages[0].defaultButton, Button::Yes);
        QCOMPARE(app.messages[0].escapeButton, Button::No);
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(mobile(app)->text(), QString("123"));
        app.main()->SpeedButton5Click();
        QCOMPARE(app.people()->recordCount(), 1);
        QCOMPARE(app.people()->value("Name").toString(), QString("Bob"));

        // Yes saves the whole person again, under a new number.
        app.main()->SpeedButton6Click();
        QTest::keyClicks(mobile(app), "456");
        other.data.PeopleCompanyDet->refresh();
        other.data.PeopleCompanyDet->remove();
        QCOMPARE(app.db.count("People"), 0);
        app.answers = {Button::Yes};
        app.main()->SpeedButton2Click();
        QCOMPARE(app.messages.size(), 2);
        QCOMPARE(app.db.count("People"), 1);
        QCOMPARE(app.db.scalar("SELECT Name || ' ' || Mobile || ' ' || CompanyID FROM People").toString(),
                 QString("Bob 456 1"));
        QVERIFY(app.people()->value("PersonID").toInt() > anna + 1);
        QCOMPARE(app.people()->value("PersonID").toInt(), app.db.scalar("SELECT PersonID FROM People").toInt());
    }

    // A window opened over the list works on the list as it is in the file.
    void aWindowOpenedOverThePeopleTakesInASecondCopysChanges()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        SecondCopy other(app.db.path());
        other.data.PeopleCompanyDet->remove(); // Anna, current in both
        app.db.addPerson("Cid");
        int opened = 0;
        app.modal = [&](QDialog*) {
            ++opened;
            return int(QDialog::Rejected);
        };
        app.main()->BitBtn7Click();
        QCOMPARE(opened, 1);
        QCOMPARE(app.people()->value("Name").toString(), QString("Bob"));
        QCOMPARE(app.people()->recordCount(), 2);
        QVERIFY(app.messages.isEmpty());
    }

    // An activity typed for a person another program deleted while the window was open is not
    // saved for nobody, a new one or an edited one: the user is told and the activity stays on
    // screen; leaving it (closing, or another person) drops it with a word instead of holding
    // the user, since nothing would let it be saved.
    void anActivityOfAPersonDeletedMeanwhileIsRefused_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("close");
        QTest::newRow("new activity, closed") << false << true;
        QTest::newRow("edited activity, closed") << true << true;
        QTest::newRow("new activity, another person") << false << false;
        QTest::newRow("edited activity, another person") << true << false;
    }

    void anActivityOfAPersonDeletedMeanwhileIsRefused()
    {
        QFETCH(bool, existing);
        QFETCH(bool, close);
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        if (existing)
            app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDescription) VALUES (?, 'Call')", {anna});
        QVERIFY(app.start());
        showWindowsWithoutWaiting(app);
        app.main()->BitBtn7Click();
        TFollowUpForm* f = app.program->followUpForm;
        if (existing)
            f->FollowUp->edit();
        else
            f->DBNavigator1->click(DBNavigator::Button::Insert);
        f->FollowUp->setValue("FUDescription", "Call about tractors");
        const DatasetState state = f->FollowUp->state();
        app.db.exec("DELETE FROM People WHERE Name = 'Anna'");
        f->DBNavigator1->click(DBNavigator::Button::Post);
        QCOMPARE(app.messages.size(), 1);
        QVERIFY2(app.messages[0].text.contains("This person was deleted by another user."),
                 qPrintable(app.messages[0].text));
        QCOMPARE(app.db.count("PeopleFollowUp", "FUDescription = 'Call about tractors'"), 0);
        QCOMPARE(f->FollowUp->state(), state);
        QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("Call about tractors"));
        if (close) {
            QVERIFY(f->close());
        } else {
            f->DBGridFollowUp->setCurrentIndex(f->DBGridFollowUp->model()->index(1, 1));
            QCOMPARE(app.people()->value("Name").toString(), QString("Bob"));
        }
        QCOMPARE(app.messages.size(), 2);
        QCOMPARE(app.messages[1].icon, MessageBox::Icon::Information);
        QCOMPARE(app.messages[1].text, QString("This person was deleted by another user, so the activity you typed "
                                               "cannot be saved and is dropped."));
        QVERIFY(!f->FollowUp->isEditing());
        QCOMPARE(app.db.count("PeopleFollowUp", "FUDescription = 'Call about tractors'"), 0);
        if (!close)
            QVERIFY(f->close());
    }

    void realQuestionsAboutAnotherUser_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("saved");
        QTest::newRow("changed, Escape") << false << int(Qt::Key_Escape) << false;
        QTest::newRow("changed, Enter") << false << int(Qt::Key_Return) << false;
        QTest::newRow("changed, Space") << false << int(Qt::Key_Space) << false;
        QTest::newRow("deleted, Escape") << true << int(Qt::Key_Escape) << false;
        QTest::newRow("deleted, Enter") << true << int(Qt::Key_Return) << true;
        QTest::newRow("deleted, Space") << true << int(Qt::Key_Space) << true;
    }
    void realQuestionsAboutAnotherUser()
    {
        QFETCH(bool, deleted);
        QFETCH(int, key);
        QFETCH(bool, saved);
        AppFixture app;
        app.db.addPerson("Anna", {{"Mobile", "111"}});
        QVERIFY(app.start());
        SecondCopy other(app.db.path());
        typeAtEnd(mobile(app), "2");
        if (deleted)
            other.data.PeopleCompanyDet->remove();
        else
            other.setMobile("999");
        MessageBox::setHandler({});
        const SeenBox seen = pressInRealBox([&] { app.main()->SpeedButton2Click(); }, key);
        QCOMPARE(seen.text, deleted ? kDeleted : kChanged);
        QCOMPARE(seen.buttons, (QStringList{"Yes", "No"}));
        // Writing over another user's change is never what Enter or Space does by itself.
        QCOMPARE(seen.defaultButton, QString(deleted ? "Yes" : "No"));
        QCOMPARE(seen.focused, QString(deleted ? "Yes" : "No"));
        QVERIFY(seen.closedByKey);
        QCOMPARE(app.people()->state(), saved ? DatasetState::Browse : DatasetState::Edit);
        QCOMPARE(app.db.count("People", "Mobile = '1112'"), saved ? 1 : 0);
    }

    void realQuestionBeforeClosingOverARefusedSave_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Escape") << int(Qt::Key_Escape);
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }
    void realQuestionBeforeClosingOverARefusedSave()
    {
        QFETCH(int, key);
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QTest::keyClicks(mobile(app), "2");
        holdWriteLock(app);
        MessageBox::setHandler({});
        bool closed = true;
        const SeenBox seen = pressInRealBox([&] { closed = app.main()->close(); }, key);
        releaseWriteLock(app);
        QVERIFY2(seen.text.contains(app.db.locked()), qPrintable(seen.text));
        QVERIFY(seen.text.endsWith("Close Vantrel anyway and lose these changes?"));
        QCOMPARE(seen.buttons, (QStringList{"Yes", "No"}));
        QCOMPARE(seen.defaultButton, QString("No"));
        QCOMPARE(seen.focused, QString("No"));
        QVERIFY(seen.closedByKey);
        // Only an explicit Yes loses the edit.
        QVERIFY(!closed);
        QVERIFY(app.main()->isVisible());
        QCOMPARE(mobile(app)->text(), QString("2"));
    }

    void aFileLeftBehindItsJournalIsSaidOnceUntilItCatchesUp()
    {
        SKIP_ON_SERVER("journal and checkpoints");
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        const QString behind = "Your changes are saved, but Vantrel.vt itself could not be brought up to date. ";
        const QString tail = " Until it can be, the latest changes are kept in Vantrel.vt-wal beside it: a copy of "
                             "Vantrel.vt alone would miss them, so keep the two files together.";
        auto save = [&](const QString& digit) {
            typeAtEnd(mobile(app), digit);
            app.main()->SpeedButton2Click();
            QCOMPARE(app.people()->state(), DatasetState::Browse);
        };
        // What a copy of Vantrel.vt alone, a user's backup, holds.
        auto mobileInACopy = [&] {
            QTemporaryDir backup;
            QFile::copy(app.db.path(), backup.path() + "/Vantrel.vt");
            QString mobile;
            {
                QSqlDatabase copy = QSqlDatabase::addDatabase("QSQLITE", "backup");
                copy.setDatabaseName(backup.path() + "/Vantrel.vt");
                QSqlQuery q(copy);
                if (copy.open() && q.exec("SELECT Mobile FROM People") && q.next())
                    mobile = q.value(0).toString();
            }
            QSqlDatabase::removeDatabase("backup");
            return mobile;
        };

        // Another program keeps reading older data: the save stands, but the file cannot take it.
        sqlite3* reader = nullptr;
        QCOMPARE(sqlite3_open(app.db.path().toUtf8(), &reader), SQLITE_OK);
        QCOMPARE(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM People;", nullptr, nullptr, nullptr), SQLITE_OK);
        save("1");
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Warning);
        QCOMPARE(app.messages[0].text,
                 behind + "Another program keeps reading Vantrel.vt (a second copy of Vantrel, or a backup or "
                          "synchronisation program)." + tail);
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People").toString(), QString("1"));
        save("2"); // said once, not at every save
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        save("3"); // the reader has gone: the file catches up without a word
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(mobileInACopy(), QString("123"));
        sqlite3_close(reader);

        // The file can no longer grow (a full disk, here a size limit on files): the save stands in
        // the journal, and the user is told once again.
        struct SizeLimit {
            rlimit old{};
            SizeLimit() { getrlimit(RLIMIT_FSIZE, &old); std::signal(SIGXFSZ, SIG_IGN); }
            void cap(rlim_t bytes) { rlimit r = old; r.rlim_cur = bytes; setrlimit(RLIMIT_FSIZE, &r); }
            ~SizeLimit() { setrlimit(RLIMIT_FSIZE, &old); std::signal(SIGXFSZ, SIG_DFL); }
        };
        {
            SizeLimit limit;
            const qint64 size = QFileInfo(app.db.path()).size();
            app.db.exec("CREATE TABLE Filler (x)"); // pages the file must grow by to take them
            app.db.exec("INSERT INTO Filler VALUES (zeroblob(20000))");
            limit.cap(rlim_t(size));
            save("4");
            QCOMPARE(app.messages.size(), 2);
            QCOMPARE(app.messages[1].text,
                     behind + "Vantrel.vt could not be written to the disk: the disk may be full, removed or "
                              "failing." + tail);
            save("5");
            QCOMPARE(app.messages.size(), 2);
            QCOMPARE(app.db.scalar("SELECT Mobile FROM People").toString(), QString("12345"));
            QCOMPARE(QFileInfo(app.db.path()).size(), size);
        }
        save("6");
        QCOMPARE(app.messages.size(), 2);
        QCOMPARE(mobileInACopy(), QString("123456"));
    }

    // A cleaning program deletes the journal files while the program runs; another copy (a
    // process of its own, as it would be) may then make new ones and save into them. The next
    // save notices, opens the file again and keeps both copies' saves, and the user is told.
    void deletedJournalFilesAreNoticedBeforeTheNextSave_data()
    {
        QTest::addColumn<bool>("secondCopy");
        QTest::newRow("alone") << false;
        QTest::newRow("a second copy saves meanwhile") << true;
    }

    void deletedJournalFilesAreNoticedBeforeTheNextSave()
    {
        SKIP_ON_SERVER("journal files");
        QFETCH(bool, secondCopy);
        AppFixture app;
        app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        // The program's connection alone has the file open here: the helper's own and the check
        // of the file beside the window are closed.
        app.db.disconnect();
        if (app.program->fileCheck()->running()) {
            QSignalSpy done(app.program->fileCheck(), &FileCheck::finished);
            QVERIFY(done.wait(10000));
        }
        typeAtEnd(mobile(app), "1");
        app.main()->SpeedButton2Click();
        QVERIFY(QFile::remove(app.db.path() + "-wal"));
        QVERIFY(QFile::remove(app.db.path() + "-shm"));
        auto shell = [&](const QString& sql) {
            QProcess p;
            p.start("sqlite3", {app.db.path(), ".timeout 5000", sql});
            p.waitForFinished();
            return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        };
        if (secondCopy)
            shell("UPDATE People SET Company = 'Acme' WHERE Name = 'Bob'");
        typeAtEnd(mobile(app), "2");
        app.main()->SpeedButton2Click();
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Warning);
        QCOMPARE(app.messages[0].text,
                 QString("Another program deleted Vantrel.vt-wal and Vantrel.vt-shm, the journal files beside "
                         "Vantrel.vt, while Vantrel was using them (a cleaning or synchronisation program may do "
                         "this). Vantrel has opened Vantrel.vt again, so that every copy of the program writes into "
                         "the same files. Nothing you saved is missing."));
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        // What another process finds on disk: both saves, and a whole file.
        QCOMPARE(shell("SELECT Mobile FROM People WHERE Name = 'Anna'"), QString("12"));
        QCOMPARE(shell("SELECT Company FROM People WHERE Name = 'Bob'"), secondCopy ? QString("Acme") : QString());
        QCOMPARE(shell("PRAGMA integrity_check"), QString("ok"));
        // The list shows the other copy's save at the next move, and later saves are quiet.
        app.main()->SpeedButton10Click();
        QCOMPARE(app.people()->value("Company").toString(), secondCopy ? QString("Acme") : QString());
        typeAtEnd(mobile(app), "3");
        app.main()->SpeedButton2Click();
        QCOMPARE(app.messages.size(), 1);
    }

    void aSavedPersonIsInTheFileItselfAndACleanEndLeavesNoJournal()
    {
        SKIP_ON_SERVER("journal and checkpoints");
        auto app = std::make_unique<AppFixture>();
        app->db.addPerson("Anna");
        QVERIFY(app->start());
        QTest::keyClicks(mobile(*app), "555");
        app->main()->SpeedButton2Click();

        // The copy a user makes of Vantrel.vt alone, while the program runs, holds the save.
        QTemporaryDir backup;
        QVERIFY(QFile::copy(app->db.path(), backup.path() + "/Vantrel.vt"));
        {
            QSqlDatabase copy = QSqlDatabase::addDatabase("QSQLITE", "backup");
            copy.setDatabaseName(backup.path() + "/Vantrel.vt");
            QVERIFY(copy.open());
            QSqlQuery q(copy);
            QVERIFY(q.exec("SELECT Mobile FROM People") && q.next());
            QCOMPARE(q.value(0).toString(), QString("555"));
        }
        QSqlDatabase::removeDatabase("backup");

        app->db.disconnect();
        app->main()->close();
        app->program.reset();
        const QString dir = app->db.dir();
        QVERIFY(!QFile::exists(dir + "/Vantrel.vt-wal"));
        QVERIFY(!QFile::exists(dir + "/Vantrel.vt-shm"));
    }
};

QTEST_MAIN(TestSaveFaults)
#include "tst_savefaults.moc"
