#include "support/AppFixture.h"

#include "app/Program.h"
#include "contacts/PeoplePage.h"
#include "data/MainDataModule.h"
#include "followup/TPickDateForm.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestSearch : public QObject {
    Q_OBJECT

    static QString current(AppFixture& app) { return app.people()->value("Name").toString(); }
    static void type(AppFixture& app, const QString& text)
    {
        QLineEdit* box = app.main()->People->Edit1;
        box->clear();
        QTest::keyClicks(box, text);
    }
    static QStringList items(QComboBox* box)
    {
        QStringList l;
        for (int i = 0; i < box->count(); ++i)
            l << box->itemText(i);
        return l;
    }

private slots:
    void searchByName()
    {
        AppFixture app;
        app.db.addPerson("Bob Dean");
        app.db.addPerson("Anna Berg");
        app.db.addPerson("Andrew Cole");
        app.db.exec("INSERT INTO People (CompanyID, Name) VALUES (2, 'Aaron Elsewhere')");
        QVERIFY(app.start());
        type(app, "an");
        QCOMPARE(current(app), QString("Andrew Cole"));
        type(app, "B");
        QCOMPARE(current(app), QString("Bob Dean"));
        type(app, "ANNA");
        QCOMPARE(current(app), QString("Anna Berg"));
        type(app, "Zed"); // no match: the person stays, nothing is said
        QCOMPARE(current(app), QString("Anna Berg"));
        app.main()->People->Edit1->clear(); // looks for an empty name, finds none
        QCOMPARE(current(app), QString("Anna Berg"));
        type(app, "Aa"); // "A" finds Andrew; another company's Aaron is never searched
        QCOMPARE(current(app), QString("Andrew Cole"));
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(app.main()->People->Edit1->text(), QString("Aa")); // the box keeps its text
    }

    // Besides finding, a search moves the companies to their first row, so that the list shows
    // the company row's people, and reads the list again, taking in what other programs wrote.
    void whatASearchDoesBesidesFinding_data()
    {
        QTest::addColumn<QString>("outside");     // written by another program after start-up
        QTest::addColumn<bool>("otherCompany");  // the companies moved to the second company first
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QStringList>("listed");
        const QStringList all{"Anna Berg", "Bob Dean", "Andrew Cole"};
        QTest::newRow("nothing else") << "" << false << "b" << "Bob Dean" << all;
        QTest::newRow("a person added elsewhere") << "INSERT INTO People (CompanyID, Name) VALUES (1, 'Zed')" << false
                                                  << "b" << "Bob Dean" << all + QStringList{"Zed"};
        QTest::newRow("a person deleted elsewhere") << "DELETE FROM People WHERE Name = 'Anna Berg'" << false << "b"
                                                    << "Bob Dean" << QStringList{"Bob Dean", "Andrew Cole"};
        QTest::newRow("the found person renamed elsewhere") << "UPDATE People SET Name = 'Bobby Dean' WHERE Name = 'Bob Dean'"
                                                            << false << "bo" << "Bobby Dean"
                                                            << QStringList{"Anna Berg", "Bobby Dean", "Andrew Cole"};
        QTest::newRow("no match: read again all the same") << "INSERT INTO People (CompanyID, Name) VALUES (1, 'Zed')"
                                                           << false << "x" << "Anna Berg" << all + QStringList{"Zed"};
        QTest::newRow("added to another company elsewhere")
            << "INSERT INTO People (CompanyID, Name) VALUES (2, 'Abel Away')" << false << "ab" << "Andrew Cole" << all;
        QTest::newRow("back from another company") << "" << true << "an" << "Andrew Cole" << all;
        QTest::newRow("back from another company, no match") << "" << true << "x" << "Anna Berg" << all;
    }
    void whatASearchDoesBesidesFinding()
    {
        QFETCH(QString, outside);
        QFETCH(bool, otherCompany);
        QFETCH(QString, typed);
        QFETCH(QString, found);
        QFETCH(QStringList, listed);
        AppFixture app;
        app.db.exec("INSERT INTO Companies (CompanyID, Name) VALUES (2, 'Other')");
        app.db.addPerson("Anna Berg");
        app.db.addPerson("Bob Dean");
        app.db.addPerson("Andrew Cole");
        app.db.addPerson("Aaron Elsewhere", {{"CompanyID", 2}});
        QVERIFY(app.start());
        Dataset* companies = app.data()->CompaniesTable;
        if (otherCompany) {
            companies->next();
            QCOMPARE(companies->value("CompanyID").toInt(), 2);
            QCOMPARE(current(app), QString("Aaron Elsewhere"));
        }
        if (!outside.isEmpty())
            app.db.exec(outside);
        type(app, typed);
        QCOMPARE(current(app), found);
        QCOMPARE(companies->recNo(), 0);
        QStringList names;
        for (int r = 0; r < app.people()->recordCount(); ++r)
            names << app.people()->valueAt(r, app.people()->columnIndex("Name")).toString();
        QCOMPARE(names, listed);
        QCOMPARE(app.find<QLineEdit>("Name")->text(), found); // the page shows the person found
        QVERIFY(app.messages.isEmpty());
    }

    void typedCharactersAreDataNotPatterns()
    {
        AppFixture app;
        for (const char* n : {"Oscar", "O'Brien", "100% Sure", "Ax_b", "Axyb", "*Star", "Percy"})
            app.db.addPerson(n);
        QVERIFY(app.start());
        type(app, "O'");
        QCOMPARE(current(app), QString("O'Brien"));
        type(app, "%");
        QCOMPARE(current(app), QString("O'Brien"));
        type(app, "100%");
        QCOMPARE(current(app), QString("100% Sure"));
        type(app, "Ax_");
        QCOMPARE(current(app), QString("Ax_b"));
        type(app, "A_y");
        QCOMPARE(current(app), QString("Ax_b"));
        type(app, "*");
        QCOMPARE(current(app), QString("*Star"));
        type(app, "'; DELETE FROM People; --");
        QCOMPARE(app.db.count("People"), 7);
    }

    void searchSettlesTheCurrentPersonFirst()
    {
        AppFixture app;
        app.db.addPerson("Anna Berg");
        app.db.addPerson("Bob Dean");
        QVERIFY(app.start());
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "555");
        type(app, "Bob");
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People WHERE Name = 'Anna Berg'").toString(), QString("555"));
        QCOMPARE(current(app), QString("Bob Dean"));

        // A new person with values but no name: the name message, and the search does not move.
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "777");
        type(app, "Anna");
        QVERIFY(app.messageTexts().contains("Required field (Name) is empty."));
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        QCOMPARE(app.find<QLineEdit>("Mobile")->text(), QString("777"));

        // A new person into whom nothing was typed is dropped and the search goes ahead.
        app.main()->SpeedButton5Click();
        app.main()->SpeedButton4Click();
        app.messages.clear();
        type(app, "Anna");
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(current(app), QString("Anna Berg"));
        QCOMPARE(app.db.count("People"), 2);
    }

    void suggestionLists()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Profession", "Nurse"}, {"Company", "Acme"}});
        app.db.addPerson("Bob", {{"Profession", ""}, {"Company", "Zenith"}});
        app.db.exec("INSERT INTO People (CompanyID, Name, Profession) VALUES (2, 'Other', 'Actor')");
        QVERIFY(app.start());
        QComboBox* professions = app.main()->People->ProfessionComboBox;
        QComboBox* companies = app.main()->People->CompanyComboBox;
        QCOMPARE(items(professions), (QStringList{"Actor", "Nurse"}));
        QCOMPARE(items(companies), (QStringList{"Acme", "Zenith"}));
        QCOMPARE(professions->currentText(), QString("Nurse"));

        professions->lineEdit()->end(false);
        QTest::keyClicks(professions->lineEdit(), "Mason"); // typed, not yet saved: lists unchanged
        QCOMPARE(items(professions), (QStringList{"Actor", "Nurse"}));
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT Profession FROM People WHERE Name = 'Anna'").toString(), QString("NurseMason"));
        QCOMPARE(items(professions), (QStringList{"Actor", "NurseMason"}));
        QCOMPARE(professions->currentText(), QString("NurseMason"));

        app.main()->SpeedButton10Click(); // Bob, the only Zenith
        app.answers = {MessageBox::Button::Yes};
        app.main()->SpeedButton3Click();
        QCOMPARE(items(companies), (QStringList{"Acme", "Zenith"})); // until the next save
        QTest::keyClicks(app.find<QLineEdit>("Hobbies"), "golf");
        app.main()->SpeedButton2Click();
        QCOMPARE(items(companies), QStringList{"Acme"});
    }

    void pickingDates()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        // The local clock's date, fixed so that midnight cannot fall between start-up and the check.
        Clock::setOverride([] { return QDate(2024, 2, 29); });
        QVERIFY(app.start());
        Clock::setOverride({});
        TPickDateForm* picker = app.program->pickDateForm;
        QCOMPARE(picker->date(), QDate(2024, 2, 29));
        QCOMPARE(picker->Button1->isDefault(), true);

        // Cancel changes nothing, not even the state; the date picked carries over.
        app.modal = [](QDialog* d) {
            static_cast<TPickDateForm*>(d)->MonthCalendar1->setSelectedDate(QDate(2001, 3, 3));
            return int(QDialog::Rejected);
        };
        app.main()->Button2Click();
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        QVERIFY(app.people()->value("Birthday").isNull());
        QDate shown;
        app.modal = [&](QDialog* d) {
            shown = static_cast<TPickDateForm*>(d)->date();
            return int(QDialog::Accepted);
        };
        app.main()->Button6Click();
        QCOMPARE(shown, QDate(2001, 3, 3));
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(app.people()->value("Anniversary").toDate(), QDate(2001, 3, 3));
        QCOMPARE(app.find<QLineEdit>("Anniversary")->text(),
                 QLocale::system().toString(QDate(2001, 3, 3), QLocale::ShortFormat));
        QVERIFY(app.db.scalar("SELECT Anniversary FROM People").isNull()); // written on save
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT Anniversary FROM People").toString(), QString("2001-03-03"));
    }

    void pickerButtonsAndDoubleClick()
    {
        AppFixture app;
        QVERIFY(app.start());
        TPickDateForm* picker = app.program->pickDateForm;
        picker->show();
        picker->MonthCalendar1->setSelectedDate(QDate(2020, 2, 2));
        emit picker->MonthCalendar1->activated(QDate(2020, 2, 2)); // a double click selects, and stays open
        QVERIFY(picker->isVisible());
        QTest::keyClick(picker->MonthCalendar1, Qt::Key_Return);
        QVERIFY(!picker->isVisible());
        QCOMPARE(picker->result(), int(QDialog::Accepted));
        picker->show();
        picker->Button2->click();
        QCOMPARE(picker->result(), int(QDialog::Rejected));
        picker->show();
        picker->close(); // the close box gives Cancel
        QCOMPARE(picker->result(), int(QDialog::Rejected));
        QCOMPARE(picker->date(), QDate(2020, 2, 2));
    }

    void dateIntoAnEmptyDatabaseStartsAPerson()
    {
        AppFixture app;
        Clock::setOverride([] { return QDate(2023, 12, 31); });
        QVERIFY(app.start());
        Clock::setOverride({});
        app.modal = [](QDialog*) { return int(QDialog::Accepted); };
        app.main()->Button2Click();
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        QCOMPARE(app.people()->value("Birthday").toDate(), QDate(2023, 12, 31));
        app.main()->SpeedButton2Click();
        QCOMPARE(app.messageTexts(), QStringList{"Required field (Name) is empty."});
        QCOMPARE(app.db.count("People"), 0);
    }
};

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
