#include "support/AppFixture.h"

#include "contacts/PeoplePage.h"
#include "data/MainDataModule.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

class TestPeoplePage : public QObject {
    Q_OBJECT

    static QRadioButton* radio(AppFixture& app, const QString& column, const QString& caption)
    {
        return app.find<QRadioButton>(column + caption);
    }

private slots:
    void everyColumnHasItsControl()
    {
        AppFixture app;
        QVERIFY(app.start());
        const QStringList bound{"Title", "Name", "Gender", "PersonType", "CustoemrImportance", "Birthday", "Breminder",
                                "Language", "Income", "EducationLevel", "ProfessionComboBox", "Household", "Spouse",
                                "Anniversary", "Children", "Areminder", "HAStreet", "HACity", "HAState",
                                "HAPostalCode", "HACountry", "HAPostOfficeBox", "PrimaryTel", "Mobile", "TelH1",
                                "TelH2", "FaxH", "Email1", "Telex", "Email2", "HomePage", "CompanyComboBox",
                                "CompanySize", "Industry", "Department", "JobTitle", "BAStreet", "BACity", "BAState",
                                "BAPostalCode", "BACountry", "BAPostOfficeBox", "MailingAddress", "BillingAddress",
                                "TelMain", "TelCallback", "TelB1", "TelB2", "Ext", "FaxB1", "FaxB2", "WebPage",
                                "AssistantName", "ManagerName", "DBComboBox4", "Memo2", "Ethnic", "Hobbies", "Info",
                                "Edit1", "Button7", "Button2", "Button6", "SpeedButton16", "SpeedButton17",
                                "SpeedButton18", "SpeedButton19"};
        for (const QString& name : bound)
            QVERIFY2(app.main()->findChild<QWidget*>(name), qPrintable(name));
        const QStringList hints{"New record", "Delete record", "Delete all records", "Save record", "Discard changes",
                                "Refresh", "Personality identification", "First record", "Prior record",
                                "Next record", "Last record", "Import data from a CSV file", "Help"};
        QStringList shown;
        QList<QWidget*> buttons;
        for (QWidget* b : app.main()->People->toolbar)
            buttons << b;
        std::sort(buttons.begin(), buttons.end(), [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
        for (QWidget* b : buttons)
            shown << b->toolTip();
        QCOMPARE(shown, hints);
        QCOMPARE(app.find<QComboBox>("Income")->count(), 14);
        QCOMPARE(app.find<QComboBox>("Industry")->count(), 24);
        QCOMPARE(app.find<QComboBox>("DBComboBox4")->count(), 20);
        QCOMPARE(app.find<QComboBox>("Household")->itemText(2), QString("Married with dependent children"));
        QVERIFY(app.find<QLineEdit>("Birthday")->isReadOnly());
        QVERIFY(app.find<QLineEdit>("Anniversary")->isReadOnly());
        QVERIFY(app.find<QComboBox>("Title")->isEditable());
        QVERIFY(!app.find<QComboBox>("Income")->isEditable());
    }

    void firstChangeOfAnyControlStartsANewPerson_data()
    {
        QTest::addColumn<QString>("control");
        QTest::newRow("text field") << "Spouse";
        QTest::newRow("editable list") << "Title";
        QTest::newRow("fixed list") << "Income";
        QTest::newRow("option group") << "Gender";
        QTest::newRow("check box") << "Breminder";
    }
    void firstChangeOfAnyControlStartsANewPerson()
    {
        QFETCH(QString, control);
        AppFixture app;
        QVERIFY(app.start());
        QCOMPARE(app.people()->recordCount(), 0);
        QCOMPARE(app.find<QLineEdit>("Name")->text(), QString());
        if (control == "Spouse")
            QTest::keyClicks(app.find<QLineEdit>("Spouse"), "Kim");
        else if (control == "Title")
            QTest::keyClicks(app.find<QComboBox>("Title")->lineEdit(), "Dr.");
        else if (control == "Income")
            emit app.find<QComboBox>("Income")->activated(3);
        else if (control == "Gender")
            QTest::mouseClick(radio(app, "Gender", "Female"), Qt::LeftButton);
        else
            QTest::mouseClick(app.find<QCheckBox>("Breminder"), Qt::LeftButton, {}, QPoint(4, 8));
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        QVERIFY(app.people()->isModified());
        QCOMPARE(app.people()->value("CompanyID").toInt(), 1);
        QCOMPARE(app.db.count("People"), 0); // nothing is written until saved
    }

    void editingAPersonAndTypedCapitals()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QTest::keyClicks(app.find<QLineEdit>("HAState"), "on");
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QTest::keyClicks(app.find<QLineEdit>("HAPostalCode"), "k1a 0b1");
        QTest::keyClicks(app.find<QLineEdit>("BAState"), "qc");
        QTest::keyClicks(app.find<QLineEdit>("BAPostalCode"), "h2x");
        QTest::keyClicks(app.find<QLineEdit>("HACity"), "ottawa");
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT HAState || '|' || HAPostalCode || '|' || BAState || '|' || BAPostalCode || '|' "
                               "|| HACity FROM People").toString(),
                 QString("ON|K1A 0B1|QC|H2X|ottawa"));
        // Letter by letter: ß has no single capital and stays, so the text keeps its length.
        QLineEdit* zip = app.find<QLineEdit>("BAPostalCode");
        zip->end(false);
        QTest::keyClicks(zip, " ßa");
        QCOMPARE(zip->text(), QString("H2X ßA"));
        QCOMPARE(zip->cursorPosition(), 6);
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT BAPostalCode FROM People").toString(), QString("H2X ßA"));
    }

    void inputIsLimitedToTheColumnSize()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QComboBox* title = app.find<QComboBox>("Title");
        QTest::keyClicks(title->lineEdit(), "Professor Emeritus");
        QCOMPARE(app.people()->value("Title").toString(), QString("Professor "));
        QLineEdit* ext = app.find<QLineEdit>("Ext");
        QTest::keyClicks(ext, "123456789012");
        QCOMPARE(ext->text(), QString("1234567890"));
        QLineEdit* jobTitle = app.find<QLineEdit>("JobTitle");
        QTest::keyClicks(jobTitle, QString(160, 'j'));
        QCOMPARE(jobTitle->text().size(), 150);
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT Title FROM People").toString(), QString("Professor "));
    }

    void pastedTextCountsCharactersAndStaysOnOneLine()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units, one character
        auto paste = [](QLineEdit* edit, const QString& text) {
            QApplication::clipboard()->setText(text);
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        };

        // 255 characters fit, as the database counts them; the cut falls between two emoji and
        // takes only from what was pasted.
        QLineEdit* spouse = app.find<QLineEdit>("Spouse");
        QTest::keyClicks(spouse, "A");
        paste(spouse, grin.repeated(300));
        QCOMPARE(spouse->text(), "A" + grin.repeated(254));
        paste(spouse, grin); // a full field takes nothing more
        QCOMPARE(spouse->text(), "A" + grin.repeated(254));
        QComboBox* title = app.find<QComboBox>("Title");
        paste(title->lineEdit(), grin.repeated(12) + "x");
        QCOMPARE(title->currentText(), grin.repeated(10));

        // Line breaks, NUL and other control characters are dropped as typed ones are.
        QLineEdit* hobbies = app.find<QLineEdit>("Hobbies");
        paste(hobbies, QString("Sailing\r\nChess") + QChar(0) + "\tGo" + QChar(0x1b) + QChar(0x2028) + "!");
        QCOMPARE(hobbies->text(), QString("SailingChessGo!"));
        QCOMPARE(app.people()->value("Hobbies").toString(), QString("SailingChessGo!"));
        // What follows a NUL stays, however the text comes in (here as a drop or an input method puts it).
        hobbies->end(false);
        hobbies->insert(QChar(0) + QString(" Golf") + QChar(0) + QChar(0) + " and Tennis" + QChar(0));
        QCOMPARE(hobbies->text(), QString("SailingChessGo! Golf and Tennis"));

        app.main()->SpeedButton2Click();
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(app.db.scalar("SELECT length(Spouse) FROM People").toInt(), 255);
        QCOMPARE(app.db.scalar("SELECT hex(Spouse) FROM People").toString(),
                 QString(("A" + grin.repeated(254)).toUtf8().toHex().toUpper()));
        QCOMPARE(app.db.scalar("SELECT Title FROM People").toString(), grin.repeated(10));
        QCOMPARE(app.db.scalar("SELECT Hobbies FROM People").toString(), QString("SailingChessGo! Golf and Tennis"));
    }

    void suggestionsAreNotForcedOnTypedText()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Profession", "Nurse"}});
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        app.main()->SpeedButton9Click();
        QComboBox* profession = app.find<QComboBox>("ProfessionComboBox");
        QTest::keyClicks(profession->lineEdit(), "Nu");
        QCOMPARE(profession->currentText(), QString("Nu"));
        QCOMPARE(app.people()->value("Profession").toString(), QString("Nu"));
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT Profession FROM People WHERE Name = 'Bob'").toString(), QString("Nu"));
    }

    void unknownStoredValuesShowNoChoiceAndStayStored()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Gender", "Other"}, {"PersonType", "Lead"}, {"CustoemrImportance", "Top"},
                                  {"MailingAddress", "PO"}, {"BillingAddress", "Office"}, {"Income", "lots"},
                                  {"Household", "Commune"}, {"EducationLevel", "MBA"}, {"CompanySize", "Tiny"},
                                  {"Industry", "Mining"}, {"ProspectingMethod", "Carrier pigeon"}});
        QVERIFY(app.start());
        for (const QString& group : {"Gender", "PersonType", "CustoemrImportance", "MailingAddress", "BillingAddress"}) {
            for (QRadioButton* r : app.find<QGroupBox>(group)->findChildren<QRadioButton*>())
                QVERIFY2(!r->isChecked(), qPrintable(group));
        }
        for (const QString& list : {"Income", "Household", "EducationLevel", "CompanySize", "Industry", "DBComboBox4"})
            QCOMPARE(app.find<QComboBox>(list)->currentIndex(), -1);
        QCOMPARE(app.find<QPlainTextEdit>("Memo2")->toPlainText(), QString());

        QTest::keyClicks(app.find<QLineEdit>("Hobbies"), "chess");
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT Gender || CustoemrImportance || Income || ProspectingMethod FROM People").toString(),
                 QString("OtherToplotsCarrier pigeon"));

        QTest::mouseClick(radio(app, "Gender", "Male"), Qt::LeftButton);
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT Gender FROM People").toString(), QString("Male"));
    }

    void datesShowAndCannotBeTyped()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"Birthday", "1980-03-03"}});
        QVERIFY(app.start());
        QLineEdit* birthday = app.find<QLineEdit>("Birthday");
        QCOMPARE(birthday->text(), QLocale::system().toString(QDate(1980, 3, 3), QLocale::ShortFormat));
        QTest::keyClicks(birthday, "x");
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        QCOMPARE(app.people()->value("Birthday").toDate(), QDate(1980, 3, 3));
    }

    void prospectingDescriptionAtItsMoments()
    {
        AppFixture app;
        app.db.addPerson("Anna", {{"ProspectingMethod", "Seminar"}});
        app.db.addPerson("Bob");
        app.db.addPerson("Carl", {{"ProspectingMethod", "Telephone"}});
        QVERIFY(app.start());
        QPlainTextEdit* memo = app.find<QPlainTextEdit>("Memo2");
        QComboBox* method = app.find<QComboBox>("DBComboBox4");
        // Shown with the page.
        QCOMPARE(memo->toPlainText(), QString("Is contacting seminar, conference, or symposium attendees."));
        app.main()->SpeedButton9Click();
        QCOMPARE(memo->toPlainText(), QString());
        method->setCurrentIndex(5);
        emit method->activated(5);
        QCOMPARE(memo->toPlainText(), QString("Is someone that brings in new prospects against commission."));
        QCOMPARE(app.people()->value("ProspectingMethod").toString(), QString("Bird dog"));
        app.main()->SpeedButton5Click(); // discard: the description follows the stored value again
        QCOMPARE(memo->toPlainText(), QString());
        // A search that makes another person current leaves the description alone.
        QTest::keyClicks(app.main()->People->Edit1, "Carl");
        QCOMPARE(app.people()->value("Name").toString(), QString("Carl"));
        QCOMPARE(memo->toPlainText(), QString());
        app.main()->SpeedButton6Click(); // refresh does bring it up to date
        QCOMPARE(memo->toPlainText(), QString("Is contacting existing leads by telephone."));
    }
};

QTEST_MAIN(TestPeoplePage)
#include "tst_peoplepage.moc"
