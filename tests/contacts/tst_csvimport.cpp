#include "support/AppFixture.h"

#include "contacts/CsvImport.h"
#include "contacts/PeoplePage.h"
#include "data/Connection.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "data/RowReader.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <sqlite3.h>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
const QByteArray kHeader =
    "Title,Name,Company,Profession,Job Title,Home Street,Home City,Home State,Home ZIP,Home Country,Home PO Box,"
    "Business Street,Business City,Business State,Business ZIP,Business Country,Business PO Box,Email 1,Email 2,"
    "Mobile,Primary Tel,Callback Tel,Main Tel,Home Tel 1,Home Tel 2,Home Fax,Business Tel 1,Business Tel 2,"
    "Business Fax 1,Business Fax 2,Telex,Company Web Site,Assistant Name,Manager Name,Hobbies";

// A data line of 35 fields: the given ones set, the others empty.
QByteArray row(std::initializer_list<std::pair<int, QByteArray>> fields)
{
    QList<QByteArray> f(35);
    for (const auto& [index, value] : fields)
        f[index] = value;
    return f.join(',');
}

QByteArray person(const QByteArray& name, const QByteArray& email = {}, const QByteArray& company = {})
{
    return row({{1, name}, {2, company}, {17, email}});
}

QByteArray file(const QList<QByteArray>& lines, const QByteArray& end = "\r\n")
{
    return kHeader + end + lines.join(end) + end;
}

// The program on a fresh database, with the file dialog answered by the test.
struct ImportApp : AppFixture {
    QString answer;
    QList<FileDialog::Request> asked;

    ImportApp()
    {
        FileDialog::setHandler([this](const FileDialog::Request& r) {
            asked << r;
            return answer;
        });
    }
    ~ImportApp()
    {
        FileDialog::setHandler({});
        CsvImport::setProgressDelay(-1);
        CsvImport::setProgressObserver({});
    }
    QString write(const QByteArray& bytes, const QString& name = "people.csv")
    {
        QFile f(db.dir() + "/" + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the test file");
        return f.fileName();
    }
    void import(const QByteArray& bytes)
    {
        answer = write(bytes);
        main()->SpeedButton14Click();
    }
    QString stored(const QString& column, const QString& name)
    {
        return db.scalar("SELECT \"" + column + "\" FROM People WHERE Name = ?", {name}).toString();
    }
    QStringList names() { return columnValues("Name"); }
    QStringList columnValues(const QString& column)
    {
        QStringList l;
        const int n = db.count("People");
        for (int i = 0; i < n; ++i)
            l << db.scalar("SELECT \"" + column + "\" FROM People ORDER BY PersonID LIMIT 1 OFFSET ?", {i}).toString();
        return l;
    }
};
} // namespace

class TestCsvImport : public QObject {
    Q_OBJECT

    // Shows a dialog and lets the window system make it the active window, as a user meets it.
    static void showActive(QWidget* w)
    {
        w->show();
        w->activateWindow();
        for (int i = 0; i < 100 && QApplication::activeWindow() != w; ++i)
            QCoreApplication::processEvents();
    }
    // Runs a step once the modal window that is about to open is active; closes it if it never is.
    // With a name, other modal windows on the way (a progress dialog) are waited out.
    static void whenModalActive(std::function<void(QWidget*)> step, int tries = 200, const QString& name = {})
    {
        QTimer::singleShot(0, [step, tries, name] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && !name.isEmpty() && modal->objectName() != name) {
                whenModalActive(step, tries, name);
            } else if (modal && QApplication::activeWindow() == modal) {
                step(modal);
            } else if (tries > 0) {
                if (modal)
                    modal->activateWindow();
                whenModalActive(step, tries - 1, name);
            } else if (modal) {
                modal->close();
            }
        });
    }

private slots:
    // Another program holding the write lock: the pending edit before the import is refused and
    // kept, and the import's own writes are refused in the same plain words as a save.
    void aLockHeldByAnotherProgramIsNamedAndNothingIsLost()
    {
        Connection::setDefaultBusyTimeout(100);
        ImportApp app;
        const QString locked = app.db.locked();
        app.db.addPerson("Anna", {{"Mobile", "111"}});
        QVERIFY(app.start());
        QLineEdit* mobile = app.find<QLineEdit>("Mobile");
        mobile->setFocus();
        mobile->end(false);
        QTest::keyClicks(mobile, "2");
        app.db.exec("BEGIN IMMEDIATE");
        app.import(file({person("Bob")}));
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QVERIFY2(app.messages[0].text.startsWith("Your changes could not be saved. " + locked),
                 qPrintable(app.messages[0].text));
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(mobile->text(), QString("1112"));
        QCOMPARE(app.people()->recordCount(), 1);

        // With the edit saved, the import's own first write meets the lock.
        app.db.exec("ROLLBACK");
        app.main()->SpeedButton2Click();
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People").toString(), QString("1112"));
        app.db.exec("BEGIN IMMEDIATE");
        app.import(file({person("Bob"), person("Carl")}));
        app.db.exec("ROLLBACK");
        QCOMPARE(app.messages.size(), 2);
        QCOMPARE(app.messages[1].icon, MessageBox::Icon::Error);
        QVERIFY2(app.messages[1].text.startsWith("Line 2 of the file could not be added: " + locked),
                 qPrintable(app.messages[1].text));
        QVERIFY(app.messages[1].text.endsWith("The import stopped there.\n0 record(s) added."));
        QCOMPARE(app.db.count("People"), 1);
        QCOMPARE(app.people()->recordCount(), 1);
        QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
        Connection::setDefaultBusyTimeout(5000);
    }

    void everyEntryAsksForACsvFile()
    {
        ImportApp app;
        QVERIFY(app.start());
        app.main()->findChild<QAction*>("CSVfile1")->trigger();
        app.main()->People->toolbar.value("SpeedButton14")->click();
        app.main()->People->sideToolbar.value("Image9")->click();
        QCOMPARE(app.asked.size(), 3);
        for (const FileDialog::Request& r : app.asked) {
            QCOMPARE(r.objectName, QString("OpenDialogCSV"));
            QCOMPARE(r.filter, QString("CSV (Comma delimited) (*.csv)"));
            QVERIFY(!r.save);
        }
        QVERIFY(app.messages.isEmpty()); // cancelled: nothing happens
        QCOMPARE(app.db.count("People"), 0);
    }

    void header_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("messages");
        const QByteArray anna = person("Anna");
        const QStringList one{"1 record(s) added."};
        const QStringList incompatible{"Incompatible CSV file."};
        QTest::newRow("exact") << kHeader + "\n" + anna << one;
        QTest::newRow("blanks and a tab around") << "  " + kHeader + " \t\r\n" + anna << one;
        QTest::newRow("every name quoted") << "\"" + kHeader.split(',').join("\",\"") + "\"\n" + anna << one;
        QTest::newRow("Email1 for Email 1")
            << QByteArray(kHeader).replace("Email 1", "Email1") + "\n" + anna << incompatible;
        QTest::newRow("other letter case") << QByteArray(kHeader).replace("Hobbies", "hobbies") + "\n" + anna
                                           << incompatible;
        QTest::newRow("a 36th name") << kHeader + ",Notes\n" + anna << incompatible;
        QTest::newRow("blank after a comma") << QByteArray(kHeader).replace(",Name", ", Name") + "\n" + anna
                                             << incompatible;
        QTest::newRow("data first") << anna + "\n" + anna << incompatible;
        QTest::newRow("empty first line") << "\n" + anna << incompatible;
        QTest::newRow("header only") << kHeader << QStringList{};
        QTest::newRow("header only, line break") << kHeader + "\r\n" << QStringList{};
        QTest::newRow("one line, not the header") << anna << QStringList{};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("header and an empty line") << kHeader + "\n\n" << QStringList{"0 record(s) added."};
    }
    void header()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, messages);
        ImportApp app;
        QVERIFY(app.start());
        app.import(content);
        QCOMPARE(app.messageTexts(), messages);
        QCOMPARE(app.db.count("People"), messages == QStringList{"1 record(s) added."} ? 1 : 0);
        if (!messages.isEmpty() && messages[0].startsWith("Incompatible"))
            QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
    }

    void intoAnEmptyListThenAgain()
    {
        ImportApp app;
        QVERIFY(app.start());
        // A second copy of the program with the list open.
        Connection otherCopy("other");
        TestDatabase::pointAt(otherCopy, app.db.path());
        otherCopy.open();
        Dataset seen("SeenElsewhere", &otherCopy);
        seen.setTable("People");
        seen.setChangeLog("PeopleChanges", "PersonID");
        seen.open();
        QCOMPARE(seen.recordCount(), 0);
        const QList<QByteArray> lines{person("Anna Berg", "anna@example.com"),
                                      row({{1, "Bob Dean"}, {2, "Acme"}, {3, "Pilot"}, {17, "bob@example.com"}}),
                                      person("Anna Berg", "anna@example.com")};
        app.import(file(lines));
        // The two identical lines are counted as likely duplicates of each other.
        QCOMPARE(app.messageTexts(), QStringList{"3 record(s) added.\n\n2 of the people added look like people already on file or like one another. Look at them in the duplicate window now?"});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Information);
        QCOMPARE(app.names(), (QStringList{"Anna Berg", "Bob Dean", "Anna Berg"}));
        QCOMPARE(app.db.count("People", "CompanyID = 1"), 3);
        // The lists are refilled and the dataset re-read: the last person added is shown.
        QCOMPARE(app.people()->recordCount(), 3);
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        QCOMPARE(app.people()->value("PersonID").toInt(), 3);
        QCOMPARE(app.find<QLineEdit>("Name")->text(), QString("Anna Berg"));
        QCOMPARE(app.data()->companyList(), QStringList{"Acme"});
        QCOMPARE(app.main()->People->ProfessionComboBox->itemText(0), QString("Pilot"));
        // The other copy reads them all at its next refresh; the file logs inserts again.
        seen.refresh();
        QCOMPARE(seen.recordCount(), 3);
        QCOMPARE(app.db.schemaObjects().count("PeopleInsertLog"), 1);
        app.db.addPerson("Cid");
        seen.refresh();
        QCOMPARE(seen.recordCount(), 4);
        app.db.exec("DELETE FROM People WHERE Name = 'Cid'");
        seen.refresh();
        QCOMPARE(seen.recordCount(), 3);

        // Into a list that is no longer empty, every line is a duplicate.
        app.main()->SpeedButton7Click();
        app.messages.clear();
        app.import(file({lines[1], lines[0]}));
        QCOMPARE(app.messageTexts(), QStringList{"0 record(s) added."});
        QCOMPARE(app.db.count("People"), 3);
        QCOMPARE(app.people()->value("PersonID").toInt(), 1); // the last duplicate found is current
    }

    void duplicateTest()
    {
        ImportApp app;
        app.db.addPerson("Anna Berg", {{"Email1", "anna@example.com"}});
        app.db.addPerson("Émile Zoë", {{"Email1", "Émile@example.com"}});
        app.db.addPerson("No Mail");
        app.db.addPerson("Carl Other", {{"CompanyID", 2}, {"Email1", "carl@example.com"}});
        QVERIFY(app.start());
        app.import(file({
            person("ANNA BERG", "Anna@Example.COM"),   // case only: on file
            person("anna berg", "berg@example.com"),   // another address: a new person
            person("ÉMILE ZOË", "émile@EXAMPLE.com"),  // case beyond ASCII: on file
            person("Émile Zoe", "émile@example.com"),  // another letter: new
            person("NO MAIL"),                         // no address either: on file
            person("Carl Other", "carl@example.com"),  // only in another company: new
            person("Dora New", "dora@example.com"),    // new, and then found again
            person("dora new", "DORA@example.com"),
            person("Élodie Neu", "e@example.com"),     // new beyond ASCII, then found again
            person("ÉLODIE NEU", "E@example.com"),
        }));
        // The new "anna berg" and "Émile Zoe" look like the people on file.
        QCOMPARE(app.messageTexts(), QStringList{"5 record(s) added.\n\n2 of the people added look like people already on file or like one another. Look at them in the duplicate window now?"});
        QCOMPARE(app.names().mid(4), (QStringList{"anna berg", "Émile Zoe", "Carl Other", "Dora New", "Élodie Neu"}));
        QCOMPARE(app.db.count("People", "CompanyID = 1"), 8);
        QCOMPARE(app.people()->recordCount(), 8);
        QCOMPARE(app.people()->value("Name").toString(), QString("Élodie Neu"));
    }

    void fieldsAndQuoting()
    {
        ImportApp app;
        QVERIFY(app.start());
        QList<QByteArray> all;
        for (int i = 1; i <= 35; ++i)
            all << "v" + QByteArray::number(i);
        all[0] = "Dr.";
        all[1] = "Every Field";
        const QByteArray everyField = all.join(',') + ",36th,37th";
        app.import(file({
            everyField,
            "Mr.,\"Berg, Anna\",Acme,,,Street 1",
            "Ms.,\"Quote \"\"Q\"\" Cole\",\"Line one\nline two\",Pilot",
            "Mrs.,Ann \"Annie\" Dean,\"Co\"op,Baker",
        }));
        QCOMPARE(app.messageTexts(), QStringList{"4 record(s) added."});
        const QStringList columns{"Title", "Name", "Company", "Profession", "JobTitle", "HAStreet", "HACity",
                                  "HAState", "HAPostalCode", "HACountry", "HAPostOfficeBox", "BAStreet", "BACity",
                                  "BAState", "BAPostalCode", "BACountry", "BAPostOfficeBox", "Email1", "Email2",
                                  "Mobile", "PrimaryTel", "TelCallback", "TelMain", "TelH1", "TelH2", "FaxH",
                                  "TelB1", "TelB2", "FaxB1", "FaxB2", "Telex", "WebPage", "AssistantName",
                                  "ManagerName", "Hobbies"};
        for (int i = 2; i < 35; ++i)
            QCOMPARE(app.stored(columns[i], "Every Field"), QString("v%1").arg(i + 1));
        QCOMPARE(app.stored("Title", "Every Field"), QString("Dr."));
        // Nothing else is written: a new person's other columns stay empty.
        QVERIFY(app.db.scalar("SELECT Gender FROM People WHERE PersonID = 1").isNull());
        QVERIFY(app.db.scalar("SELECT Info FROM People WHERE PersonID = 1").isNull());

        QCOMPARE(app.stored("Company", "Berg, Anna"), QString("Acme"));
        QCOMPARE(app.stored("HAStreet", "Berg, Anna"), QString("Street 1"));
        QVERIFY(app.db.scalar("SELECT HACity FROM People WHERE PersonID = 2").isNull()); // short line: empty
        QCOMPARE(app.stored("Company", "Quote \"Q\" Cole"), QString("Line one\nline two"));
        QCOMPARE(app.stored("Profession", "Quote \"Q\" Cole"), QString("Pilot"));
        QCOMPARE(app.stored("Company", "Ann \"Annie\" Dean"), QString("Coop"));
        QCOMPARE(app.stored("Profession", "Ann \"Annie\" Dean"), QString("Baker"));
    }

    // A quote that is never closed would make the rest of the file one value of one person.
    void unclosedQuoteStopsAtItsLine()
    {
        ImportApp app;
        app.db.addPerson("Already Here");
        QVERIFY(app.start());
        app.import(kHeader + "\r\n,\"Smith, John,ACME\r\n,Next Person,Co\r\n,Third Person,Co\r\n");
        QCOMPARE(app.messageTexts(), QStringList{"Line 2 of the file: the quote that begins the value of \"Name\" is "
                                                 "never closed. The import stopped there.\n0 record(s) added."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QCOMPARE(app.names(), QStringList{"Already Here"});

        // The people before stay; the line named is the quote's, not the first of its record.
        app.messages.clear();
        app.import(file({person("First"), "Mr.,\"Two\nlines\",Acme", person("Third"),
                         "Ms.,\"Multi\nline\",\"Co\nop,x", person("Never")}));
        QCOMPARE(app.messageTexts(), QStringList{"Line 7 of the file: the quote that begins the value of \"Company\" is "
                                                 "never closed. The import stopped there.\n3 record(s) added."});
        QCOMPARE(app.names(), (QStringList{"Already Here", "First", "Two\nlines", "Third"}));
        QCOMPARE(app.people()->recordCount(), 4);
        QCOMPARE(app.people()->state(), DatasetState::Browse);

        // Neither a blank name nor a value too long hides it; past the 35th field it is still named.
        app.messages.clear();
        app.import(file({",,\"open", person("Never")}));
        app.import(file({"x,\"" + QByteArray(3000, 'n')}));
        app.import(file({QByteArray(35, ',') + "\"notes"}));
        QCOMPARE(app.messageTexts(),
                 (QStringList{"Line 2 of the file: the quote that begins the value of \"Company\" is never closed. "
                              "The import stopped there.\n0 record(s) added.",
                              "Line 2 of the file: the quote that begins the value of \"Name\" is never closed. "
                              "The import stopped there.\n0 record(s) added.",
                              "Line 2 of the file: the quote that begins a value is never closed. "
                              "The import stopped there.\n0 record(s) added."}));

        // A header whose quote never closes is no header.
        app.messages.clear();
        app.import("\"Title," + kHeader.mid(6) + "\n" + person("Never"));
        QCOMPARE(app.messageTexts(), QStringList{"Incompatible CSV file."});
        QCOMPARE(app.db.count("People"), 4);
    }

    // The program stores an emptied value as NULL and treats it as empty text; so does the import.
    void emptyAndMissingValuesAreAlike()
    {
        ImportApp app;
        app.db.addPerson("Empty Text", {{"Email1", ""}});
        app.db.addPerson("No Value");
        QVERIFY(app.start());
        app.import(file({person("Empty Text"), person("No Value"), person("EMPTY TEXT", "\"\""), person("no value", "\"\"")}));
        QCOMPARE(app.messageTexts(), QStringList{"0 record(s) added."});
        app.messages.clear();
        app.import(file({row({{1, "New"}, {2, "\"\""}}), row({{1, "NEW"}, {17, "\"\""}})}));
        QCOMPARE(app.messageTexts(), QStringList{"1 record(s) added."});
        QVERIFY(app.db.scalar("SELECT Company FROM People WHERE Name = 'New'").isNull());
        QVERIFY(app.db.scalar("SELECT Email1 FROM People WHERE Name = 'New'").isNull());
    }

    void linesWithoutQuotesSplitAtEveryComma()
    {
        ImportApp app;
        QVERIFY(app.start());
        app.import(file({"Mr., Bob ,Ac'me, x ", "Mr.,Berg\t Anna,A,B,C"}));
        QCOMPARE(app.messageTexts(), QStringList{"2 record(s) added."});
        QCOMPARE(app.stored("Company", " Bob "), QString("Ac'me"));    // values are not trimmed
        QCOMPARE(app.stored("Profession", " Bob "), QString(" x "));
        QCOMPARE(app.stored("Profession", "Berg\t Anna"), QString("B"));
    }

    void skippedLines()
    {
        ImportApp app;
        QVERIFY(app.start());
        app.import(file({"", person(""), person(" "), person("   "), person("\t"), ",", person("Kept")}));
        QCOMPARE(app.messageTexts(), QStringList{"1 record(s) added."});
        QCOMPARE(app.names(), QStringList{"Kept"});
        QCOMPARE(app.people()->state(), DatasetState::Browse); // no half-made person left behind
        QCOMPARE(app.find<QLineEdit>("Name")->text(), QString("Kept"));
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("message");
        const QString one = "1 record(s) added.";
        const QString zoe = QString::fromUtf8("Zoë Müller");
        const QString euro = QString::fromUtf8("€uro “Quotes” Œuvre");
        QTest::newRow("UTF-8") << file({person(zoe.toUtf8(), {}, euro.toUtf8())}) << zoe << euro << one;
        QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + file({person(zoe.toUtf8(), {}, euro.toUtf8())}) << zoe
                                        << euro << one;
        QTest::newRow("Windows-1252") << file({person("Zo\xEB M\xFCller", {}, "\x80uro \x93Quotes\x94 \x8Cuvre")})
                                      << zoe << euro << one;
        QTest::newRow("Windows-1252, one stray byte") << file({person("Zo\xEB M\xFCller", {}, "Caf\xE9 \xC3\xA9")})
                                                      << zoe << QString::fromUtf8("Café Ã©") << one;
        auto utf16 = [](const QString& text) {
            return QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        };
        auto lines = [](const QString& name, const QString& company) {
            return QString::fromLatin1(file({person("@N@", {}, "@C@")})).replace("@N@", name).replace("@C@", company);
        };
        QTest::newRow("UTF-16 with BOM") << utf16(lines(zoe, euro)) << zoe << euro << one;
        // A lone surrogate would take the character after it along into the database.
        const QString fffd(QChar::ReplacementCharacter);
        QTest::newRow("UTF-16, lone surrogates")
            << utf16(lines(QChar(0xD800) + QString("Lone"), QChar(0xDC00) + QString("Co") + QChar(0xDBFF)))
            << fffd + "Lone" << fffd + "Co" + fffd
            << "1 record(s) added. 3 character(s) could not be read and were replaced by \"" + fffd
                   + "\", the first at line 2.";
    }
    void encodings()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, name);
        QFETCH(QString, company);
        QFETCH(QString, message);
        ImportApp app;
        QVERIFY(app.start());
        app.import(content);
        QCOMPARE(app.messageTexts(), QStringList{message});
        QCOMPARE(app.messages[0].icon, message.contains("could not") ? MessageBox::Icon::Warning : MessageBox::Icon::Information);
        QCOMPARE(app.names(), QStringList{name});
        QCOMPARE(app.stored("Company", name), company);
    }

    void tooLongValueStopsAtItsLine()
    {
        ImportApp app;
        app.db.addPerson("Already Here");
        QVERIFY(app.start());
        const QByteArray city = row({{1, "Long City"}, {6, QByteArray(51, 'c')}});
        const QByteArray fiftyEmoji = row({{1, "Emoji City"}, {6, QString(50, QChar(0x263A)).toUtf8()}});
        QByteArray emoji; // fifty characters beyond the basic plane: one hundred UTF-16 units
        for (int i = 0; i < 50; ++i)
            emoji += "\xF0\x9F\x98\x80";
        const QByteArray wideCity = row({{1, "Wide City"}, {6, emoji}});
        app.import(file({
            person("First"),
            "Mr.,\"Two\nlines\"", // one record on lines 3 and 4
            fiftyEmoji,
            wideCity,
            city, // line 7
            person("After"),
        }));
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QCOMPARE(app.messages[0].text,
                 QString("Line 7 of the file: the value of \"Home City\" is longer than 50 characters. The import "
                         "stopped there.\n4 record(s) added."));
        QCOMPARE(app.names(), (QStringList{"Already Here", "First", "Two\nlines", "Emoji City", "Wide City"}));
        QCOMPARE(app.people()->recordCount(), 5);
        QCOMPARE(app.people()->value("Name").toString(), QString("Wide City"));

        // Job title holds 150 characters in the person screen's dataset; a name of any length
        // is cut when read, still found too long.
        app.messages.clear();
        app.import(file({row({{1, "Long Job"}, {4, QByteArray(151, 'j')}})}));
        QCOMPARE(app.messages[0].text, QString("Line 2 of the file: the value of \"Job Title\" is longer than 150 "
                                               "characters. The import stopped there.\n0 record(s) added."));
        app.messages.clear();
        app.import(file({person(QByteArray(100000, 'n'))}));
        QCOMPARE(app.messages[0].text, QString("Line 2 of the file: the value of \"Name\" is longer than 255 "
                                               "characters. The import stopped there.\n0 record(s) added."));
        QCOMPARE(app.db.count("People"), 5);
    }

    // The database refuses one person, in the middle of a batch: the people before it stay,
    // unless the refusal takes back the whole batch (as a full disk does), when the message names
    // the first line that was not stored and counts only what is.
    void aRefusedRowStopsTheImportKeepingTheRowsBefore_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("stopped");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("the row alone") << "ABORT"
                                       << "Line 4 of the file could not be added: The database refused a value: "
                                          "refused by the database.\nThe import stopped there.\n2 record(s) added."
                                       << QStringList{"One", "Two"};
        QTest::newRow("the whole batch") << "ROLLBACK"
                                         << "Line 4 of the file could not be added: The database refused a value: "
                                            "refused by the database.\nNothing from line 2 on was stored. The import "
                                            "stopped there.\n0 record(s) added."
                                         << QStringList{};
    }

    void aRefusedRowStopsTheImportKeepingTheRowsBefore()
    {

        SKIP_ON_SERVER("errors, raised by a trigger of its own");
        QFETCH(QString, refusal);
        QFETCH(QString, stopped);
        QFETCH(QStringList, kept);
        ImportApp app;
        QVERIFY(app.start());
        app.db.exec(QString("CREATE TRIGGER Refuse BEFORE INSERT ON People WHEN NEW.Name = 'Boom' "
                            "BEGIN SELECT RAISE(%1, 'refused by the database'); END").arg(refusal));
        app.import(file({row({{1, "One"}, {3, "Pilot"}}), person("Two"), person("Boom"), row({{1, "Four"}, {3, "Baker"}})}));
        QCOMPARE(app.messageTexts(), QStringList{stopped});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QCOMPARE(app.names(), kept);
        QCOMPARE(app.people()->recordCount(), int(kept.size()));
        // The lists are refilled all the same.
        QCOMPARE(app.data()->professionList(), kept.isEmpty() ? QStringList{} : QStringList{"Pilot"});
    }

    // A copy of the database file alone, as a user backs it up, holds the new people; when
    // another program keeps reading older data, the import says so as a save does.
    void newPeopleAreInTheFileItself_data()
    {
        QTest::addColumn<bool>("reader");
        QTest::newRow("nobody else reading") << false;
        QTest::newRow("another program reading") << true;
    }

    void newPeopleAreInTheFileItself()
    {
        SKIP_ON_SERVER("checkpoint and copies");
        QFETCH(bool, reader);
        Connection::setDefaultBusyTimeout(100); // the checkpoint waits that long for the reader
        ImportApp app;
        QVERIFY(app.start());
        Connection::setDefaultBusyTimeout(5000);
        sqlite3* other = nullptr;
        if (reader) {
            QCOMPARE(sqlite3_open(app.db.path().toUtf8(), &other), SQLITE_OK);
            QCOMPARE(sqlite3_exec(other, "BEGIN; SELECT count(*) FROM People;", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        app.import(file({person("One"), person("Two")}));
        const QString counted = "2 record(s) added.";
        if (reader) {
            QCOMPARE(app.messageTexts(),
                     (QStringList{"Your changes are saved, but Vantrel.vt itself could not be brought up to date. "
                                  "Another program keeps reading Vantrel.vt (a second copy of Vantrel, or a backup or "
                                  "synchronisation program). Until it can be, the latest changes are kept in "
                                  "Vantrel.vt-wal beside it: a copy of Vantrel.vt alone would miss them, so keep the "
                                  "two files together.",
                                  counted}));
            QCOMPARE(app.messages[0].icon, MessageBox::Icon::Warning);
            QCOMPARE(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(other);
            app.import(file({person("Three")})); // the next write brings the file up to date
        } else {
            QCOMPARE(app.messageTexts(), QStringList{counted});
        }
        const QString copy = app.db.dir() + "/copy.vt";
        QVERIFY(QFile::copy(app.db.path(), copy));
        {
            QSqlDatabase c = QSqlDatabase::addDatabase("QSQLITE", "copy");
            c.setDatabaseName(copy);
            QVERIFY(c.open());
            QSqlQuery q("SELECT COUNT(*) FROM People", c);
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), reader ? 3 : 2);
        }
        QSqlDatabase::removeDatabase("copy");
        // The connection's own settings are as they were before the import.
        for (const auto& [pragma, value] : {std::pair{"synchronous", 2}, {"wal_autocheckpoint", 1000}, {"cache_size", -2000}}) {
            RowReader q(app.data()->MainADOConnection, QString("PRAGMA ") + pragma, {});
            QVERIFY(q.next());
            QCOMPARE(q.value(0, ColumnType::Integer).toInt(), value);
        }
    }

    void unreadableFiles()
    {
        ImportApp app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QList<QByteArray> many;
        for (int i = 0; i < 100; ++i)
            many << person("Bob " + QByteArray::number(i));
        QByteArray binary = file(many);
        binary[3000] = '\0';
        app.import(binary);
        app.answer = app.db.dir() + "/gone.csv";
        app.main()->SpeedButton14Click();
        app.answer = app.db.dir();
        app.main()->SpeedButton14Click();
        const QStringList texts = app.messageTexts();
        QCOMPARE(texts.size(), 3);
        QVERIFY2(texts[0].startsWith("The file ") && texts[0].endsWith("people.csv is not a text file. Nothing was imported."),
                 qPrintable(texts[0]));
        QVERIFY2(texts[1].contains("gone.csv cannot be read: ") && texts[1].endsWith(".\nNothing was imported.")
                     && !texts[1].endsWith("..\nNothing was imported."),
                 qPrintable(texts[1]));
        QVERIFY2(texts[2].contains("cannot be read: It is a folder.\n"), qPrintable(texts[2]));
        for (const auto& m : app.messages)
            QCOMPARE(m.icon, MessageBox::Icon::Error);
        QCOMPARE(app.names(), QStringList{"Anna"});

        // A NUL byte after the first 4 KB, inside a name and a company, refuses the file as well:
        // it is no text, and nothing of it is stored.
        app.messages.clear();
        QByteArray late = file({person("Bob"), person(QByteArray(5000, 'x') + '\0' + "y", {}, "Acme\0")});
        app.import(late);
        QCOMPARE(app.messages.size(), 1);
        QVERIFY2(app.messages[0].text.endsWith("people.csv is not a text file. Nothing was imported."),
                 qPrintable(app.messages[0].text));
        QCOMPARE(app.names(), QStringList{"Anna"});
    }

    // The database and its companion files, under any name, are never opened as a CSV file.
    void theDatabaseIsNoCsvFile()
    {
        SKIP_ON_SERVER("files, which an import could be pointed at");
        ImportApp app;
        QVERIFY(app.start());
        const QString db = app.db.path();
        QVERIFY(QFile::exists(db + "-wal") && QFile::exists(db + "-shm"));
        QVERIFY(QFile::link(db, app.db.dir() + "/link.csv"));
        QDir(app.db.dir()).mkdir("sub");
        QStringList chosen{db, db + "-wal", db + "-shm", app.db.dir() + "/link.csv", app.db.dir() + "/sub/../Vantrel.vt"};
#ifdef Q_OS_UNIX
        QVERIFY(::link(QFile::encodeName(db).constData(), QFile::encodeName(app.db.dir() + "/hard.csv").constData()) == 0);
        chosen << app.db.dir() + "/hard.csv";
#endif
        for (const QString& path : chosen) {
            app.answer = path;
            app.main()->SpeedButton14Click();
        }
        QCOMPARE(app.messages.size(), chosen.size());
        for (int i = 0; i < chosen.size(); ++i) {
            QCOMPARE(app.messages[i].icon, MessageBox::Icon::Error);
            QCOMPARE(app.messages[i].text, "The file " + QDir::toNativeSeparators(chosen[i])
                                               + " is the program's own database, not a CSV file. Nothing was imported.");
        }
        // A file beside it is read as usual.
        app.messages.clear();
        app.import(file({person("Anna")}));
        QCOMPARE(app.messageTexts(), QStringList{"1 record(s) added."});
    }

    void pendingEditIsSavedFirst()
    {
        ImportApp app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "555");
        app.import(file({person("Bob")}));
        QCOMPARE(app.stored("Mobile", "Anna"), QString("555"));
        QCOMPARE(app.messageTexts(), QStringList{"1 record(s) added."});

        // A new person without a name is refused as by every move; nothing is imported.
        app.messages.clear();
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "1");
        app.import(file({person("Carl")}));
        QCOMPARE(app.messageTexts(), QStringList{"Required field (Name) is empty."});
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        QCOMPARE(app.db.count("People"), 2);
    }

    void cancel_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Escape") << int(Qt::Key_Escape);
        QTest::newRow("Space on Cancel") << int(Qt::Key_Space);
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("close box") << 0;
    }
    void cancel()
    {
        QFETCH(int, key);
        ImportApp app;
        QVERIFY(app.start());
        QList<QByteArray> lines;
        for (int i = 0; i < 200; ++i)
            lines << person("Person " + QByteArray::number(i));
        CsvImport::setProgressDelay(0);
        int seen = 0;
        QStringList states;
        CsvImport::setProgressObserver([&](QProgressDialog& d) {
            states << d.labelText().section('\n', 1);
            if (!d.labelText().endsWith(" added so far.") || ++seen != 3)
                return;
            QCOMPARE(d.objectName(), QString("ImportProgress"));
            QCOMPARE(d.windowTitle(), QString("Import"));
            QVERIFY(d.isModal());
            QVERIFY(d.findChild<QLabel*>()->text().startsWith("Importing people from people.csv\n"));
            const QList<QPushButton*> buttons = d.findChildren<QPushButton*>();
            QCOMPARE(buttons.size(), 1);
            QCOMPARE(buttons[0]->text(), QString("Cancel"));
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(buttons[0]));
            if (key)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            else
                d.close();
        });
        app.import(file(lines));
        QCOMPARE(seen, 3); // nothing more after Cancel
        QCOMPARE(states.first(), QString("Checking the file..."));
        QCOMPARE(states.last(), QString("3 record(s) added. Updating the person list..."));
        QCOMPARE(app.messageTexts(), QStringList{"3 record(s) added."});
        QCOMPARE(app.db.count("People"), 3);
        QCOMPARE(app.people()->recordCount(), 3);
        QVERIFY(!app.main()->findChild<QProgressDialog*>("ImportProgress"));
    }

    // The first pass over the file, which tells its encoding, can be cancelled too.
    void cancelWhileChecking()
    {
        ImportApp app;
        QVERIFY(app.start());
        CsvImport::setProgressDelay(0);
        QStringList states;
        CsvImport::setProgressObserver([&](QProgressDialog& d) {
            states << d.labelText().section('\n', 1);
            if (states.size() == 1)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        QList<QByteArray> lines;
        for (int i = 0; i < 300; ++i) // more than the first 4 KB, which are looked at apart
            lines << person("Person " + QByteArray::number(i));
        app.import(file(lines));
        QCOMPARE(states, QStringList{"Checking the file..."});
        QCOMPARE(app.messageTexts(), QStringList{"0 record(s) added."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Information);
        QCOMPARE(app.db.count("People"), 0);
    }

    // The result is the only window once the import has ended: no progress dialog comes back over
    // it, and the first key goes to the message.
    void resultAloneAfterTheProgress_data()
    {
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("key");
        QTest::newRow("over before the progress was due, Enter") << -1 << int(Qt::Key_Return);
        QTest::newRow("over before the progress was due, Escape") << -1 << int(Qt::Key_Escape);
        QTest::newRow("progress shown while it ran, Space") << 0 << int(Qt::Key_Space);
        QTest::newRow("progress shown while it ran, Enter") << 0 << int(Qt::Key_Return);
    }
    void resultAloneAfterTheProgress()
    {
        QFETCH(int, delay);
        QFETCH(int, key);
        ImportApp app;
        QVERIFY(app.start());
        showActive(app.main()); // where the user starts the import
        MessageBox::setHandler({});
        CsvImport::setProgressDelay(delay);
        bool progressShown = false;
        CsvImport::setProgressObserver([&](QProgressDialog&) { progressShown = true; });
        QString seen;
        whenModalActive([&](QWidget* box) {
            QCoreApplication::processEvents(); // timers that are due run while the user reads
            for (QWidget* w : QApplication::allWidgets())
                if (qobject_cast<QProgressDialog*>(w))
                    seen += QString("a progress dialog is left (%1); ").arg(w->isVisible() ? "shown" : "hidden");
            if (QApplication::activeWindow() != box)
                seen += "the message is not the active window; ";
            if (box->parentWidget() != app.main())
                seen += "the message does not belong to the main window; ";
            auto* text = box->findChild<QLabel*>("Text");
            seen += text ? text->text() : QString("no text");
            auto* ok = box->findChild<QPushButton*>("OK");
            if (!ok || QApplication::focusWidget() != ok || !ok->isDefault())
                seen += "; OK is not the focused default";
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            if (box->isVisible()) {
                seen += "; left open";
                box->close();
            }
        }, 200, "MessageBox");
        app.import(file({person("Anna"), person("Bob")}));
        QCOMPARE(seen, QString("2 record(s) added."));
        QCOMPARE(progressShown, delay == 0);
        QCoreApplication::processEvents();
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(app.db.count("People"), 2);
    }

    // One new person into a long list: the file is read at once, but re-reading the list takes
    // a while, and the progress says so before it starts.
    void aShortFileIntoALongListShowsTheUpdate()
    {
        ImportApp app;
        app.db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000) "
                    "INSERT INTO People (CompanyID, Name) SELECT 1, 'Person ' || i FROM n");
        QVERIFY(app.start());
        QStringList labels;
        QString seen;
        CsvImport::setProgressObserver([&](QProgressDialog& d) {
            labels << d.labelText();
            if (!d.labelText().endsWith("Updating the person list..."))
                return;
            if (!d.windowHandle() || !d.windowHandle()->isExposed())
                seen += "not on the screen; ";
            if (app.people()->recordCount() != 40000)
                seen += "shown after the re-read; ";
            auto* cancel = d.findChild<QPushButton*>();
            if (!cancel || cancel->isEnabled())
                seen += "Cancel still enabled; ";
            // Nothing can be cancelled any more: Escape and the close box leave it there.
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &d, Qt::Key_Escape);
            if (!d.isVisible() || d.wasCanceled())
                seen += "closed by Escape; ";
            d.close();
            if (!d.isVisible() || d.wasCanceled())
                seen += "closed; ";
        });
        app.import(file({person("One More")}));
        QCOMPARE(seen, QString());
        QVERIFY(!labels.isEmpty());
        QCOMPARE(labels.last(), QString("Importing people from people.csv\n1 record(s) added. Updating the person list..."));
        QCOMPARE(app.messageTexts(), QStringList{"1 record(s) added."});
        QCOMPARE(app.people()->recordCount(), 40001);
        QCOMPARE(app.find<QLineEdit>("Name")->text(), QString("One More"));
        QVERIFY(!app.main()->findChild<QProgressDialog*>());

        // A short file of people already on file changes nothing: no re-read, no progress.
        labels.clear();
        app.messages.clear();
        app.import(file({person("Person 7"), person("Person 39999")}));
        QCOMPARE(app.messageTexts(), QStringList{"0 record(s) added."});
        QCOMPARE(labels, QStringList());
    }

    void realFileDialog()
    {
        ImportApp app;
        QVERIFY(app.start());
        FileDialog::setHandler({});
        app.write(file({person("Upper")}), "Upper.CSV");
        QString checks;
        app.modal = [&](QDialog* d) {
            auto* dialog = qobject_cast<QFileDialog*>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            if (dialog->objectName() != "OpenDialogCSV")
                checks += "objectName; ";
            if (dialog->nameFilters() != QStringList{"CSV (Comma delimited) (*.csv)"})
                checks += "filter; ";
            if (dialog->fileMode() != QFileDialog::ExistingFile || dialog->acceptMode() != QFileDialog::AcceptOpen)
                checks += "mode; ";
            // Names ending in .csv match in any letter case.
            auto* model = dialog->findChild<QFileSystemModel*>();
            if (!model || (model->filter() & QDir::CaseSensitive))
                checks += "case; ";
            dialog->setDirectory(app.db.dir());
            showActive(dialog);
            QWidget* focus = QApplication::focusWidget();
            if (!qobject_cast<QLineEdit*>(focus) || focus->window() != dialog)
                checks += "focus; ";
            auto* box = dialog->findChild<QDialogButtonBox*>();
            QPushButton* open = box->button(QDialogButtonBox::Open);
            QPushButton* cancel = box->button(QDialogButtonBox::Cancel);
            if (!open || !cancel || !open->isDefault() || open->mapToGlobal(QPoint()).x() > cancel->mapToGlobal(QPoint()).x())
                checks += "buttons; ";
            if (focus) {
                QTest::keyClicks(focus, "Upper.CSV");
                QTest::keyClick(focus, Qt::Key_Return);
            }
            return dialog->result();
        };
        app.main()->SpeedButton14Click();
        QCOMPARE(checks, QString());
        QCOMPARE(app.messageTexts(), QStringList{"1 record(s) added."});

        // Escape closes the dialog and imports nothing.
        app.messages.clear();
        app.modal = [&](QDialog* d) {
            showActive(d);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            return d->result();
        };
        app.main()->SpeedButton14Click();
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(app.db.count("People"), 1);
    }

    void realMessageBox()
    {
        ImportApp app;
        QVERIFY(app.start());
        MessageBox::setHandler({});
        QString seen;
        for (int key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space}) {
            whenModalActive([&seen, key](QWidget* box) {
                auto* text = box->findChild<QLabel*>("Text");
                seen += box->windowTitle() + ": " + (text ? text->text() : QString()) + "; ";
                const QList<QPushButton*> buttons = box->findChildren<QPushButton*>();
                if (buttons.size() != 1 || QApplication::focusWidget() != buttons[0] || buttons[0]->text() != "OK"
                    || !buttons[0]->isDefault())
                    seen += "OK is not the focused default; ";
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
                if (box->isVisible()) {
                    seen += "left open; ";
                    box->close();
                }
            });
            app.import(QByteArray(kHeader).replace("Email 1", "Email1") + "\n" + person("Anna"));
            QVERIFY(!QApplication::activeModalWidget());
        }
        QCOMPARE(seen, QString("Error: Incompatible CSV file.; Error: Incompatible CSV file.; "
                               "Error: Incompatible CSV file.; "));
    }
};

QTEST_MAIN(TestCsvImport)
#include "tst_csvimport.moc"
