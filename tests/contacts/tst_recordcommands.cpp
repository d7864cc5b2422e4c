#include "support/AppFixture.h"

#include "contacts/AddressLinks.h"
#include "contacts/PeoplePage.h"
#include "data/Connection.h"
#include "data/MainDataModule.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using Button = MessageBox::Button;

class TestRecordCommands : public QObject {
    Q_OBJECT

    static QWidget* focusOf(AppFixture& app) { return app.main()->focusWidget(); }
    static QWidget* showHide(AppFixture& app) { return app.main()->People->Button7; }

private slots:
    void newThenFirstLeavesNothingBehind()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        app.main()->findChild<QAction*>("Add1")->trigger();
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        QCOMPARE(app.find<QLineEdit>("Name")->text(), QString());
        app.main()->SpeedButton7Click();
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        QCOMPARE(app.people()->recordCount(), 1);
        QCOMPARE(app.db.count("People"), 1);
        QVERIFY(app.messages.isEmpty());
    }

    void nextWritesAnEditAndRefusesABlankName()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "555");
        app.main()->SpeedButton9Click();
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People WHERE Name = 'Anna'").toString(), QString("555"));
        QCOMPARE(app.people()->value("Name").toString(), QString("Bob"));
        QCOMPARE(focusOf(app), showHide(app));

        QLineEdit* name = app.find<QLineEdit>("Name");
        name->selectAll();
        QTest::keyClick(name, Qt::Key_Delete);
        app.main()->findChild<QAction*>("Previous1")->trigger();
        QCOMPARE(app.messageTexts(), QStringList{"Required field (Name) is empty."});
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(focusOf(app), showHide(app));
        QCOMPARE(app.db.scalar("SELECT COUNT(*) FROM People WHERE Name = 'Bob'").toInt(), 1);

        // Next on the last person stays there without a message.
        app.main()->SpeedButton5Click();
        app.main()->SpeedButton9Click();
        QCOMPARE(app.people()->value("Name").toString(), QString("Bob"));
        QCOMPARE(app.messages.size(), 1);
    }

    void saveAndDiscard()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        app.find<QLineEdit>("Mobile")->setFocus();
        app.main()->SpeedButton2Click(); // nothing pending: nothing visible, focus stays
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(focusOf(app), static_cast<QWidget*>(app.find<QLineEdit>("Mobile")));

        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "1");
        app.main()->SpeedButton5Click();
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        QCOMPARE(app.find<QLineEdit>("Mobile")->text(), QString());

        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Name"), "Bob");
        app.main()->findChild<QAction*>("Save1")->trigger();
        QCOMPARE(app.db.count("People"), 2);
        QCOMPARE(focusOf(app), showHide(app));
    }

    // Save gives the focus to the show/hide button only when the person was written. A refused
    // name puts it into the name box, to be typed; any other failure leaves it where the user
    // was typing, with the edit on screen.
    void focusAfterSave_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("answer"); // to the question about another user, if one is asked
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("messages");
        QTest::newRow("saved") << "" << int(Button::None) << "Button7" << 0;
        QTest::newRow("saved over another user's change") << "changed" << int(Button::Yes) << "Button7" << 1;
        QTest::newRow("saved again after another user deleted it") << "deleted" << int(Button::Yes) << "Button7" << 1;
        QTest::newRow("nothing pending") << "nothing" << int(Button::None) << "Mobile" << 0;
        QTest::newRow("blank name") << "blank name" << int(Button::None) << "Name" << 1;
        QTest::newRow("blank new person") << "blank new" << int(Button::None) << "Name" << 1;
        QTest::newRow("another user's change kept") << "changed" << int(Button::No) << "Mobile" << 1;
        QTest::newRow("not saved again after a delete") << "deleted" << int(Button::No) << "Mobile" << 1;
        QTest::newRow("another program holds the file") << "locked" << int(Button::None) << "Mobile" << 1;
    }
    void focusAfterSave()
    {
        QFETCH(QString, fault);
        QFETCH(int, answer);
        QFETCH(QString, focus);
        QFETCH(int, messages);
        Connection::setDefaultBusyTimeout(100); // another program's lock is not waited for long
        AppFixture app;
        app.db.addPerson("Anna", {{"Mobile", "1"}});
        QVERIFY(app.start());
        Connection::setDefaultBusyTimeout(5000);
        QLineEdit* mobile = app.find<QLineEdit>("Mobile");
        if (fault == "blank new")
            app.main()->SpeedButton4Click();
        if (fault == "blank name") {
            QLineEdit* name = app.find<QLineEdit>("Name");
            name->setFocus();
            name->selectAll();
            QTest::keyClick(name, Qt::Key_Delete);
        }
        mobile->setFocus();
        if (fault != "nothing") {
            QTest::keyClick(mobile, Qt::Key_End);
            QTest::keyClicks(mobile, "2");
        }
        if (fault == "changed")
            app.db.exec("UPDATE People SET Mobile = '9'");
        else if (fault == "deleted")
            app.db.exec("DELETE FROM People");
        else if (fault == "locked")
            app.db.exec("BEGIN IMMEDIATE");
        if (answer != int(Button::None))
            app.answers = {Button(answer)};
        QCOMPARE(focusOf(app), static_cast<QWidget*>(mobile));
        app.main()->findChild<QAction*>("Save1")->trigger();
        if (fault == "locked")
            app.db.exec("ROLLBACK");
        QCOMPARE(app.messages.size(), messages);
        QVERIFY(focusOf(app));
        QCOMPARE(focusOf(app)->objectName(), focus);
        const bool saved = focus == "Button7";
        QCOMPARE(app.people()->state(), saved || fault == "nothing" ? DatasetState::Browse
                                        : fault == "blank new"     ? DatasetState::Insert
                                                                   : DatasetState::Edit);
        if (!saved && fault != "nothing")
            QCOMPARE(mobile->text(), fault == "blank new" ? QString("2") : QString("12"));
    }

    void deleteAsksFirst()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        app.answers = {Button::No};
        app.find<QLineEdit>("Mobile")->setFocus();
        app.main()->SpeedButton3Click();
        QCOMPARE(app.messages.size(), 1);
        const MessageBox::Request& ask = app.messages[0];
        QCOMPARE(ask.text, QString("This will delete the current record. Proceed?"));
        QCOMPARE(ask.icon, MessageBox::Icon::Warning);
        QCOMPARE(ask.buttons, (QList<Button>{Button::Yes, Button::No}));
        QCOMPARE(ask.defaultButton, Button::Yes);
        QCOMPARE(ask.escapeButton, Button::No);
        QCOMPARE(app.db.count("People"), 2);
        QCOMPARE(focusOf(app), showHide(app));

        app.answers = {Button::Yes};
        app.main()->SpeedButton3Click();
        QCOMPARE(app.db.count("People", "Name = 'Anna'"), 0);
        QCOMPARE(app.people()->value("Name").toString(), QString("Bob"));

        // A new, unsaved person is only dropped.
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "9");
        app.answers = {Button::Yes};
        app.main()->SpeedButton3Click();
        QCOMPARE(app.db.count("People"), 1);
        QCOMPARE(app.people()->recordCount(), 1);
    }

    void deleteOnAnEmptyListReportsTheError()
    {
        AppFixture app;
        QVERIFY(app.start());
        app.answers = {Button::Yes};
        app.main()->SpeedButton3Click();
        QCOMPARE(app.messages.size(), 2);
        QCOMPARE(app.messages[1].icon, MessageBox::Icon::Error);
        QCOMPARE(app.messages[1].text, QString("Cannot perform this operation on an empty dataset"));
    }

    void deleteAll_data()
    {
        QTest::addColumn<int>("people");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("left");
        QTest::newRow("no") << 3 << int(Button::No) << 4;
        QTest::newRow("yes to all, twelve") << 12 << int(Button::YesToAll) << 0;
        QTest::newRow("yes to all, none") << 0 << int(Button::YesToAll) << 0;
    }
    void deleteAll()
    {
        QFETCH(int, people);
        QFETCH(int, answer);
        QFETCH(int, left);
        AppFixture app;
        for (int i = 0; i < people; ++i)
            app.db.addPerson(QString("P%1").arg(i));
        app.db.exec("INSERT INTO People (CompanyID, Name) VALUES (2, 'Other company')");
        QVERIFY(app.start());
        app.db.addPerson("Added by another program"); // goes as well
        app.answers = {Button(answer)};
        app.main()->findChild<QAction*>("DeleteAll1")->trigger();
        QCOMPARE(app.messages.size(), 1); // the question, and nothing after it
        QCOMPARE(app.messages[0].text, QString("This will delete ALL records in your database. Proceed?"));
        QCOMPARE(app.messages[0].buttons, (QList<Button>{Button::No, Button::YesToAll}));
        QCOMPARE(app.messages[0].defaultButton, Button::None);
        QCOMPARE(app.messages[0].escapeButton, Button::No);
        QCOMPARE(app.db.count("People", "CompanyID = 1"), left);
        QCOMPARE(app.db.count("People", "CompanyID = 2"), 1);
    }

    void showHidePositions_data()
    {
        QTest::addColumn<int>("screenWidth");
        QTest::addColumn<int>("expandedLeft");
        QTest::addColumn<int>("collapsedLeft");
        QTest::newRow("1024") << 1024 << 112 << 297;
        QTest::newRow("640") << 640 << -79 << 105;
    }
    void showHidePositions()
    {
        QFETCH(int, screenWidth);
        QFETCH(int, expandedLeft);
        QFETCH(int, collapsedLeft);
        AppFixture app(ScreenMetrics{96, screenWidth, 768});
        QVERIFY(app.start());
        TDataEntryForm* w = app.main();
        const int top = w->frameGeometry().top();
        w->Button7Click();
        QCOMPARE(w->outerWidth(), 799);
        QCOMPARE(w->frameGeometry().left(), expandedLeft);
        QCOMPARE(w->frameGeometry().top(), top);
        QCOMPARE(w->People->Button7->text(), QString("<<< Hide business and other info"));
        QCOMPARE(w->ShowHidebusinessandotherinfo1->text(), QString("Hide &business and other info"));
        w->ShowHidebusinessandotherinfo1->trigger();
        QCOMPARE(w->outerWidth(), 430);
        QCOMPARE(w->frameGeometry().left(), collapsedLeft);
        QCOMPARE(w->People->Button7->text(), QString(">>> Show business and other info"));
        QCOMPARE(w->ShowHidebusinessandotherinfo1->text(), QString("Show &business and other info"));
        QVERIFY(!w->BusinessInfoShown);
    }

    void webAndMailButtonsHandOnlySafeAddresses()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        TDataEntryForm* w = app.main();
        w->SpeedButton17Click(); // empty field: nothing is opened
        QVERIFY(app.opened.isEmpty());
        w->SpeedButton19Click();
        QCOMPARE(app.opened, QStringList{"mailto:"});
        app.opened.clear();

        // The field's text as shown, unsaved typing included.
        QTest::keyClicks(app.find<QLineEdit>("WebPage"), "www.example.com/shop");
        QTest::keyClicks(app.find<QLineEdit>("HomePage"), "https://anna.example.org/?a=1");
        QTest::keyClicks(app.find<QLineEdit>("Email1"), "anna@example.com");
        QTest::keyClicks(app.find<QLineEdit>("Email2"), "x@y.com?attach=/etc/passwd&cc=z@q.com");
        w->SpeedButton17Click();
        w->SpeedButton18Click();
        w->SpeedButton19Click();
        w->SpeedButton16Click();
        QCOMPARE(app.opened, (QStringList{"http://www.example.com/shop", "https://anna.example.org/?a=1",
                                          "mailto:anna@example.com",
                                          "mailto:x@y.com%3Fattach%3D%2Fetc%2Fpasswd%26cc%3Dz@q.com"}));
    }

    void webTargets_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("target");
        QTest::newRow("http") << "http://example.com" << "http://example.com";
        QTest::newRow("https upper-case scheme") << "HTTPS://Example.com/a" << "HTTPS://Example.com/a";
        QTest::newRow("bare host with port") << "shop.example.com:8080/x" << "http://shop.example.com:8080/x";
        QTest::newRow("blanks around") << "  www.example.com " << "http://www.example.com";
        QTest::newRow("file") << "file:///etc/passwd" << "";
        QTest::newRow("javascript") << "javascript:alert(1)" << "";
        QTest::newRow("windows program") << "C:\\Windows\\system32\\calc.exe" << "";
        QTest::newRow("unix path") << "/usr/bin/xterm" << "";
        QTest::newRow("other scheme") << "ftp://example.com" << "";
        QTest::newRow("spaces inside") << "www.example.com -e rm" << "";
        QTest::newRow("single word") << "localhost" << "";
        QTest::newRow("credentials trick") << "http://good.com@evil.com" << "";
    }
    void webTargets()
    {
        QFETCH(QString, field);
        QFETCH(QString, target);
        QCOMPARE(AddressLinks::webTarget(field), target);
    }
};

QTEST_MAIN(TestRecordCommands)
#include "tst_recordcommands.moc"
