#include "support/AppFixture.h"

#include "contacts/CsvImport.h"
#include "contacts/PeoplePage.h"
#include "contacts/VCard.h"
#include "contacts/VCardPeople.h"
#include "contacts/PeopleTransfer.h"
#include "data/MainDataModule.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>

namespace {
// A value for a column that holds width characters, with every character that a file format
// must take care of.
QString awkward(int seed, int width)
{
    static const QStringList pieces{
        QString::fromUtf8(" Zoë, \"Q\"; \\ n"), QString::fromUtf8("Line one\nline two"),
        QString::fromUtf8("Émile; Ünal\\,"), QString::fromUtf8("\U0001F600 x, y"), QString::fromUtf8("=3D= tail "),
        // What a spreadsheet would run as a formula, an apostrophe of the value's own, a telephone URI.
        "+44 20 7946 0958 ", "@SUM(A1) ", "-1+2 ", "\tTab ", "'quote ", "tel:+1-555-0100;ext=1 "};
    QString v = pieces[seed % pieces.size()] + QString::number(seed) + pieces[(seed + 1) % pieces.size()];
    if (width > 0 && v.size() > width) {
        v.truncate(width);
        if (v.back().isHighSurrogate())
            v.chop(1);
    }
    return v;
}

struct TransferApp : AppFixture {
    QString answer;
    QList<FileDialog::Request> asked;
    TransferApp()
    {
        FileDialog::setHandler([this](const FileDialog::Request& r) {
            asked << r;
            return answer;
        });
    }
    ~TransferApp()
    {
        FileDialog::setHandler({});
        PeopleTransfer::setProgressDelay(-1);
        PeopleTransfer::setProgressObserver({});
    }
    QString write(const QByteArray& bytes, const QString& name)
    {
        QFile f(db.dir() + "/" + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the test file");
        return f.fileName();
    }
    // Every carried column of every person, as text, in PersonID order.
    QList<QStringList> rows()
    {
        QList<QStringList> all;
        const int n = db.count("People");
        for (int i = 0; i < n; ++i) {
            QStringList r;
            for (const QString& c : VCardPeople::columns())
                r << db.scalar("SELECT \"" + c + "\" FROM People ORDER BY PersonID LIMIT 1 OFFSET ?", {i}).toString();
            all << r;
        }
        return all;
    }
    QString answers(int person)
    {
        return db.scalar("SELECT group_concat(QuestionID || '=' || Answer, ' ') FROM "
                         "(SELECT * FROM QuestionsMain WHERE PersonID = ? ORDER BY QuestionID) AS q",
                         {person})
            .toString();
    }
};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Seeds people that hold every column with awkward values, one with only a name, and answers.
void seed(TestDatabase& db, bool csvLineBreaks)
{
    for (int p = 0; p < 3; ++p) {
        QVariantMap m;
        int k = p * 100;
        for (const QString& c : VCardPeople::columns()) {
            if (c == "Name")
                continue;
            const QString type = db.declaredType("People", c); // VARCHAR(n)
            const int width = type.mid(type.indexOf('(') + 1).chopped(1).toInt();
            QString v = awkward(k++, width);
            if (csvLineBreaks && k % 3 == 0) {
                v.replace("\n", "\r\n");
                if (width > 0)
                    v.truncate(width);
            }
            m.insert(c, v);
        }
        m["Birthday"] = p == 0 ? "1985-04-12" : "1990-12-31";
        m["Anniversary"] = p == 0 ? "2001-06-30T14:30:00" : "2010-01-02";
        m["Breminder"] = 1;
        m["Areminder"] = 0;
        m["ProfessionID"] = 40 + p;
        m["Gender"] = p == 1 ? "Female" : m["Gender"];
        const int id = db.addPerson(awkward(p + 7, 255), m);
        if (p == 0)
            for (int q = 1; q <= 24; ++q)
                db.exec("INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (?, ?, ?)",
                        {id, q, q % 3 - 1});
    }
    db.addPerson("Only A Name");
}
} // namespace

class TestTransfer : public QObject {
    Q_OBJECT

    static void showActive(QWidget* w)
    {
        w->show();
        w->activateWindow();
        for (int i = 0; i < 100 && QApplication::activeWindow() != w; ++i)
            QCoreApplication::processEvents();
    }
    static void whenModalActive(std::function<void(QWidget*)> step, int tries = 200)
    {
        QTimer::singleShot(0, [step, tries] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && QApplication::activeWindow() == modal) {
                step(modal);
            } else if (tries > 0) {
                if (modal)
                    modal->activateWindow();
                whenModalActive(step, tries - 1);
            } else if (modal) {
                modal->close();
            }
        });
    }

private slots:
    void menus()
    {
        TransferApp app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QStringList titles;
        for (QAction* a : app.main()->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{"&Record", "&Tools", "&Import", "&Export", "&Help"}));
        auto items = [&](const QString& menu) {
            QStringList l;
            for (QAction* a : app.main()->findChild<QMenu*>(menu)->actions())
                l << a->objectName() + " " + a->text();
            return l;
        };
        QCOMPARE(items("Import1"), (QStringList{"CSVfile1 &CSV file...", "VCardfile1 &vCard file..."}));
        QCOMPARE(items("Export1"), (QStringList{"CSVfile2 &CSV file...", "VCardfile2 &vCard file...",
                                               "Calendarfile2 C&alendar file..."}));

        for (const char* name : {"CSVfile2", "VCardfile2", "VCardfile1"})
            app.main()->findChild<QAction*>(name)->trigger();
        QCOMPARE(app.asked.size(), 3);
        QCOMPARE(app.asked[0].objectName, QString("SaveDialogCSV"));
        QCOMPARE(app.asked[0].filter, QString("CSV (Comma delimited) (*.csv)"));
        QCOMPARE(app.asked[0].defaultSuffix, QString("csv"));
        QVERIFY(app.asked[0].save);
        QCOMPARE(app.asked[1].objectName, QString("SaveDialogVCard"));
        QCOMPARE(app.asked[1].filter, QString("vCard (*.vcf)"));
        QCOMPARE(app.asked[1].defaultSuffix, QString("vcf"));
        QVERIFY(app.asked[1].save);
        QCOMPARE(app.asked[2].objectName, QString("OpenDialogVCard"));
        QCOMPARE(app.asked[2].filter, QString("vCard (*.vcf *.vcard)"));
        QVERIFY(!app.asked[2].save);
        QVERIFY(app.messages.isEmpty()); // cancelled: nothing happens

        // An empty list is said so before a file is asked for, and no file is made.
        TransferApp empty;
        QVERIFY(empty.start());
        empty.answer = empty.db.dir() + "/none.csv";
        empty.main()->CSVfile2Click();
        QCOMPARE(empty.messageTexts(), QStringList{"The database is empty."});
        QVERIFY(empty.asked.isEmpty());
        QVERIFY(!QFile::exists(empty.answer));
    }

    void csvRoundTrip()
    {
        QTemporaryDir out;
        const QString path = out.path() + "/people.csv";
        QList<QStringList> before;
        QStringList order;
        {
            TransferApp app;
            seed(app.db, true);
            QVERIFY(app.start());
            app.answer = path;
            app.main()->CSVfile2Click();
            QCOMPARE(app.messageTexts(), QStringList{"4 record(s) exported."});
            QCOMPARE(app.messages[0].icon, MessageBox::Icon::Information);
            before = app.rows();
            for (int r = 0; r < app.people()->recordCount(); ++r)
                order << app.people()->valueAt(r, app.people()->columnIndex("Name")).toString();
        }
        const QByteArray bytes = readFile(path);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF" + CsvImport::headerLine().toUtf8() + "\r\n"));
        QVERIFY(bytes.endsWith("\r\n,Only A Name" + QByteArray(33, ',') + "\r\n"));
        QVERIFY(bytes.contains(",\" Zo\xC3\xAB, \"\"Q\"\"; \\ n")); // quoted where needed, quotes doubled
        // Opened in a spreadsheet, a value beginning like a formula is text.
        for (const char* guarded : {",\"'=3D= tail", ",\"'+44 20 7946 0958", ",\"'@SUM(A1)", ",\"'-1+2", ",\"'\tTab",
                                    ",\"''quote"})
            QVERIFY2(bytes.contains(guarded), guarded);
        for (const QByteArray& line : bytes.split('\n'))
            for (const QByteArray& field : line.split(','))
                QVERIFY2(field.isEmpty() || !QByteArray("=+-@\t").contains(field[0]), field.constData());

        TransferApp app;
        QVERIFY(app.start());
        app.answer = path;
        app.main()->SpeedButton14Click();
        QCOMPARE(app.messageTexts(), QStringList{"4 record(s) added."});
        const QList<QStringList> after = app.rows();
        QCOMPARE(after.size(), before.size());
        const QStringList carried = VCardPeople::columns();
        int compared = 0;
        for (int p = 0; p < after.size(); ++p) {
            QCOMPARE(after[p][carried.indexOf("Name")], order[p]); // the list's order
            for (const QString& c : CsvImport::peopleColumns()) {
                const int i = int(carried.indexOf(c));
                QCOMPARE(after[p][i].toUtf8(), before[p][i].toUtf8());
                ++compared;
            }
        }
        QCOMPARE(compared, 4 * 35);
        QVERIFY(before[0][carried.indexOf("HAStreet")].contains("\r\n") || before[0].join("").contains("\r\n"));
    }

    void vcardRoundTrip()
    {
        QTemporaryDir out;
        const QString path = out.path() + "/people.vcf";
        QList<QStringList> before;
        QString answersBefore;
        {
            TransferApp app;
            seed(app.db, false);
            QVERIFY(app.start());
            answersBefore = app.answers(1);
            app.answer = path;
            app.main()->VCardfile2Click();
            QCOMPARE(app.messageTexts(), QStringList{"4 record(s) exported."});
            before = app.rows();
        }
        const QByteArray bytes = readFile(path);
        QCOMPARE(bytes.count("BEGIN:VCARD\r\nVERSION:4.0\r\n"), 4);
        for (const QByteArray& line : bytes.split('\n'))
            QVERIFY2(line.size() <= 76, line.constData()); // 75 octets and the CR
        QVERIFY(bytes.contains("\r\nBDAY:19850412\r\n"));
        QVERIFY(bytes.contains("\r\nGENDER:F\r\n"));
        QVERIFY(bytes.contains("\r\nX-VANTREL-INCOME:"));
        QVERIFY(bytes.contains("\r\nX-VANTREL-ANSWERS:0 1 -1 0 1 -1"));
        QVERIFY(bytes.contains("\r\nFN:Only A Name\r\nN:Name;Only A;;;\r\nEND:VCARD\r\n"));

        TransferApp app;
        QVERIFY(app.start());
        app.answer = path;
        app.main()->VCardfile1Click();
        QCOMPARE(app.messageTexts(), QStringList{"4 record(s) added."});
        const QList<QStringList> after = app.rows();
        QCOMPARE(after.size(), before.size());
        const QStringList carried = VCardPeople::columns();
        for (int p = 0; p < after.size(); ++p)
            for (int i = 0; i < carried.size(); ++i)
                QVERIFY2(after[p][i] == before[p][i],
                         qPrintable(QString("person %1, %2: %3 | %4").arg(p).arg(carried[i], after[p][i], before[p][i])));
        QCOMPARE(app.answers(1), answersBefore);
        QVERIFY(!answersBefore.isEmpty());
        QCOMPARE(app.db.count("QuestionsMain"), 24);

        // Again into the list that now holds them: every card is found on file.
        app.messages.clear();
        app.main()->VCardfile1Click();
        QCOMPARE(app.messageTexts(), QStringList{"0 record(s) added."});
        QCOMPARE(app.db.count("People"), 4);
        QCOMPARE(app.db.count("QuestionsMain"), 24);
    }

    void vcardFromAPhone()
    {
        TransferApp app;
        app.db.addPerson("Already Here", {{"Email1", "here@example.com"}});
        QVERIFY(app.start());
        app.answer = app.write(
            "BEGIN:VCARD\r\n"
            "VERSION:3.0\r\n"
            "PRODID:-//Some Phone//EN\r\n"
            "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;Dr.;\r\n"
            "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BC=\r\n"
            "ller\r\n"
            "ORG:Acme\\, Inc.;Sales\r\n"
            "TITLE:Head of sales\r\n"
            "item1.TEL;TYPE=CELL:+49 170\r\n"
            " 1234567\r\n"
            "TEL;TYPE=WORK,VOICE:+49 30 1\r\n"
            "TEL;TYPE=WORK,VOICE:+49 30 2\r\n"
            "TEL;TYPE=WORK,FAX:+49 30 9\r\n"
            "TEL;TYPE=HOME:+49 30 5\r\n"
            "EMAIL;TYPE=INTERNET:juergen@example.com\r\n"
            "EMAIL;TYPE=INTERNET,PREF:jm@example.com\r\n"
            "ADR;TYPE=WORK:;;Hauptstra\xC3\x9F" "e 1;Berlin;;10115;Germany\r\n"
            "ADR;TYPE=HOME;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1:;;Gartenweg 2;K=F6ln;NRW;50667;Germany\r\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE:Met at the fair=0D=0A=\r\n"
            "second line\r\n"
            "BDAY:1970-03-04\r\n"
            "X-ANNIVERSARY:1995-05-06\r\n"
            "URL:http://acme.example\r\n"
            "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQ\r\n"
            " ABAAD/2wBDAAMCAgMCAgMDAwMEAwME\r\n"
            "X-SOMETHING-ELSE:ignored\r\n"
            "END:VCARD\r\n"
            "BEGIN:VCARD\r\n"
            "VERSION:3.0\r\n"
            "FN:Already Here\r\n"
            "EMAIL:HERE@example.com\r\n"
            "END:VCARD\r\n"
            "BEGIN:VCARD\r\n"
            "VERSION:4.0\r\n"
            "N:Smith;Jane;;;\r\n"
            "TEL;VALUE=uri;TYPE=cell:tel:+1-555-555-5555;ext=123\r\n"
            "TEL;VALUE=uri;TYPE=work:tel:+1-555-555-0000;phone-context=example.com;ext=9\r\n"
            "END:VCARD\r\n"
            "BEGIN:VCARD\r\n"
            "VERSION:3.0\r\n"
            "FN: \r\n"
            "N:;;;;\r\n"
            "ORG:Plumbing & Co\\, Ltd;Service\r\n"
            "TEL;VALUE=uri:tel:+44%2020;ext=5\r\n"
            "X-VANTREL-EXT:77\r\n"
            "END:VCARD\r\n"
            "BEGIN:VCARD\r\n"
            "VERSION:4.0\r\n"
            "N:;;;Dr.;\r\n"
            "TEL:+49 30 7\r\n"
            "END:VCARD\r\n",
            "phone.vcf");
        app.main()->VCardfile1Click();
        // A company's card is named after the company; a card with no name at all is counted.
        QCOMPARE(app.messageTexts(), QStringList{"3 record(s) added. 1 card(s) without a name were skipped."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Warning);
        auto stored = [&](const QString& column, const QString& name) {
            return app.db.scalar("SELECT \"" + column + "\" FROM People WHERE Name = ?", {name}).toString();
        };
        const QString j = QString::fromUtf8("Jürgen Müller");
        QCOMPARE(stored("Title", j), QString("Dr."));
        QCOMPARE(stored("Company", j), QString("Acme, Inc."));
        QCOMPARE(stored("Department", j), QString("Sales"));
        QCOMPARE(stored("JobTitle", j), QString("Head of sales"));
        QCOMPARE(stored("Mobile", j), QString("+49 1701234567"));
        QCOMPARE(stored("TelB1", j), QString("+49 30 1"));
        QCOMPARE(stored("TelB2", j), QString("+49 30 2"));
        QCOMPARE(stored("FaxB1", j), QString("+49 30 9"));
        QCOMPARE(stored("TelH1", j), QString("+49 30 5"));
        QCOMPARE(stored("Email1", j), QString("jm@example.com"));
        QCOMPARE(stored("Email2", j), QString("juergen@example.com"));
        QCOMPARE(stored("BAStreet", j), QString::fromUtf8("Hauptstraße 1"));
        QCOMPARE(stored("BAPostalCode", j), QString("10115"));
        QCOMPARE(stored("HACity", j), QString::fromUtf8("Köln"));
        QCOMPARE(stored("HAState", j), QString("NRW"));
        QCOMPARE(stored("Info", j), QString("Met at the fair\r\nsecond line"));
        QCOMPARE(stored("Birthday", j), QString("1970-03-04"));
        QCOMPARE(stored("Anniversary", j), QString("1995-05-06"));
        QCOMPARE(stored("WebPage", j), QString("http://acme.example"));
        QCOMPARE(stored("Name", "Jane Smith"), QString("Jane Smith")); // from N when FN is missing
        QCOMPARE(stored("Ext", j), QString());
        // Telephones written as URIs: the number alone, the first extension in Ext.
        QCOMPARE(stored("Mobile", "Jane Smith"), QString("+1-555-555-5555"));
        QCOMPARE(stored("TelB1", "Jane Smith"), QString("+1-555-555-0000"));
        QCOMPARE(stored("Ext", "Jane Smith"), QString("123"));
        const QString company = "Plumbing & Co, Ltd";
        QCOMPARE(stored("Company", company), company);
        QCOMPARE(stored("Department", company), QString("Service"));
        QCOMPARE(stored("PrimaryTel", company), QString("+44 20"));
        QCOMPARE(stored("Ext", company), QString("77")); // the card's own Ext comes first
        QCOMPARE(app.db.count("People"), 4);
        QCOMPARE(app.people()->recordCount(), 4);
    }

    void brokenCardStopsTheImportKeepingThoseBefore()
    {
        TransferApp app;
        QVERIFY(app.start());
        auto card = [](const QByteArray& name) {
            return "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:" + name + "\r\nEND:VCARD\r\n";
        };
        app.answer = app.write(card("One") + card("Two") + "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Three\r\nTEL 555\r\nEND:VCARD\r\n"
                                   + card("Four"),
                               "broken.vcf");
        app.main()->VCardfile1Click();
        QCOMPARE(app.messageTexts(),
                 QStringList{"Line 12 of the file cannot be read: it has no colon between a property's name and its "
                             "value.\nThe import stopped there.\n2 record(s) added."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QCOMPARE(app.db.count("People"), 2);
        QCOMPARE(app.people()->recordCount(), 2);

        // A value longer than its column stops there too, named as the person screen names it, at
        // the line of the property that holds it.
        app.messages.clear();
        app.answer = app.write(card("Five") + "BEGIN:VCARD\r\nFN:Six\r\nADR;TYPE=home:;;;" + QByteArray(51, 'c')
                                   + ";;;\r\nEND:VCARD\r\n",
                               "long.vcf");
        app.main()->VCardfile1Click();
        QCOMPARE(app.messageTexts(), QStringList{"Line 7 of the file: the value of \"Home City\" is longer than 50 "
                                                 "characters. The import stopped there.\n1 record(s) added."});

        // Comments hold 255 characters: a phone's folded note of that length comes in whole, a
        // longer one is named by the first line of its folded property.
        {
            VCard::Writer w;
            const QString fits = QString(254, u'n') + QString::fromUtf8("\u00e9");
            w.beginCard();
            w.property("FN", "Seven");
            w.property("NOTE", fits);
            w.endCard();
            w.beginCard();
            w.property("FN", "Eight");
            w.property("TEL", "555");
            w.property("NOTE", QString(300, u'm'));
            w.endCard();
            QVERIFY(w.bytes().contains("\r\nTEL:555\r\nNOTE:mmm"));
            QCOMPARE(w.bytes().left(w.bytes().indexOf("NOTE:mmm")).count('\n'), 12);
            app.messages.clear();
            app.answer = app.write(w.bytes(), "notes.vcf");
            app.main()->VCardfile1Click();
            QCOMPARE(app.messageTexts(), QStringList{"Line 13 of the file: the value of \"Comments\" is longer than "
                                                     "255 characters. The import stopped there.\n1 record(s) added."});
            QCOMPARE(app.db.scalar("SELECT Info FROM People WHERE Name = 'Seven'").toString(), fits);
            QCOMPARE(app.db.scalar("SELECT count(*) FROM People WHERE Name = 'Eight'").toInt(), 0);
        }
        // A value the import takes from inside another: the telephone's line.
        app.messages.clear();
        app.answer = app.write("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Nine\r\nNOTE:a\r\n b\r\n"
                               "TEL;VALUE=uri:tel:+1-555-555-5555;ext=12345678901\r\nEND:VCARD\r\n",
                               "ext.vcf");
        app.main()->VCardfile1Click();
        QCOMPARE(app.messageTexts(), QStringList{"Line 6 of the file: the value of \"Ext\" is longer than 10 "
                                                 "characters. The import stopped there.\n0 record(s) added."});

        // Not a vCard file at all: nothing happens but the message.
        app.messages.clear();
        app.answer = app.write(CsvImport::headerLine().toUtf8() + "\r\nMr.,Anna\r\n", "people.vcf");
        app.main()->VCardfile1Click();
        QVERIFY2(app.messageTexts().value(0).endsWith("people.vcf is not a vCard file. Nothing was imported."),
                 qPrintable(app.messageTexts().value(0)));
        QCOMPARE(app.db.count("People"), 4);
    }

    void vcardDatesWithoutAYear()
    {
        QTemporaryDir out;
        const QString path = out.path() + "/dates.vcf";
        const QStringList names{"Four Oh", "Three Oh", "Unreadable"};
        QList<QStringList> before;
        auto dates = [&](TransferApp& app) {
            QList<QStringList> all;
            for (const QString& n : names)
                all << QStringList{
                    app.db.scalar("SELECT Birthday FROM People WHERE Name = ?", {n}).toString(),
                    app.db.scalar("SELECT Anniversary FROM People WHERE Name = ?", {n}).toString()};
            return all;
        };
        {
            TransferApp app;
            QVERIFY(app.start());
            app.answer = app.write("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Four Oh\r\nBDAY:--0415\r\n"
                                   "ANNIVERSARY:--0229\r\nEND:VCARD\r\n"
                                   "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Three Oh\r\nBDAY:--04-15\r\n"
                                   "X-ANNIVERSARY:1604-12-24\r\nEND:VCARD\r\n"
                                   "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Unreadable\r\nBDAY:sometime in May\r\n"
                                   "ANNIVERSARY:--13-45\r\nEMAIL:u@example.com\r\nEND:VCARD\r\n"
                                   // Not added: its unreadable date is no loss of this import.
                                   "BEGIN:VCARD\r\nVERSION:3.0\r\nBDAY:never\r\nEND:VCARD\r\n",
                                   "phone.vcf");
            app.main()->VCardfile1Click();
            // The person stays; the values that could not be read are counted.
            QCOMPARE(app.messageTexts(), QStringList{"3 record(s) added. 2 value(s) could not be read and were left "
                                                     "empty, the first at line 16. 1 card(s) without a name "
                                                     "were skipped."});
            QCOMPARE(app.messages[0].icon, MessageBox::Icon::Warning);
            before = dates(app);
            QCOMPARE(before, (QList<QStringList>{{"1604-04-15", "1604-02-29"}, {"1604-04-15", "1604-12-24"}, {"", ""}}));
            QCOMPARE(app.db.scalar("SELECT Email1 FROM People WHERE Name = 'Unreadable'").toString(),
                     QString("u@example.com"));

            // Out again without the year, as phones write it.
            app.messages.clear();
            app.answer = path;
            app.main()->VCardfile2Click();
            QCOMPARE(app.messageTexts(), QStringList{"3 record(s) exported."});
        }
        const QByteArray bytes = readFile(path);
        QCOMPARE(bytes.count("\r\nBDAY:--0415\r\n"), 2);
        QVERIFY(bytes.contains("\r\nANNIVERSARY:--0229\r\n"));
        QVERIFY(bytes.contains("\r\nANNIVERSARY:--1224\r\n"));
        QVERIFY(!bytes.contains("1604"));

        TransferApp app;
        QVERIFY(app.start());
        app.answer = path;
        app.main()->VCardfile1Click();
        QCOMPARE(app.messageTexts(), QStringList{"3 record(s) added."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Information);
        QCOMPARE(dates(app), before);
    }

    // Every stored answer travels in the vCard export, the last question's as well, in question
    // order whatever the order of the rows; a question without a row goes as unanswered. Read
    // back into an empty file, the person has the same 24 answers.
    void vcardCarriesEveryAnswer_data()
    {
        QTest::addColumn<QStringList>("stored"); // "question=answer", in the order of the rows
        QTest::addColumn<QString>("written");    // the answers as the card lists them; empty: none
        auto unanswered = [](int from, int to) {
            QStringList l;
            for (int q = from; q <= to; ++q)
                l << QString("%1=-1").arg(q);
            return l;
        };
        const QString first23 = QStringList(QVector<QString>(23, "-1").toList()).join(' ');
        QTest::newRow("only the last, second choice") << unanswered(1, 23) + QStringList{"24=1"} << first23 + " 1";
        QTest::newRow("only the last, first choice") << unanswered(1, 23) + QStringList{"24=0"} << first23 + " 0";
        QStringList backwards;
        QStringList inOrder;
        for (int q = 24; q >= 1; --q)
            backwards << QString("%1=%2").arg(q).arg(q % 2);
        for (int q = 1; q <= 24; ++q)
            inOrder << QString::number(q % 2);
        QTest::newRow("all, stored backwards") << backwards << inOrder.join(' ');
        QTest::newRow("the last row alone") << QStringList{"24=1"} << first23 + " 1";
        QTest::newRow("no row for the last") << QStringList{"1=1", "2=0"} + unanswered(3, 23)
                                             << "1 0 " + QStringList(QVector<QString>(22, "-1").toList()).join(' ');
        QTest::newRow("rows of no question left out") << QStringList{"0=1"} + unanswered(1, 23) + QStringList{"24=0", "25=1"}
                                                      << first23 + " 0";
        QTest::newRow("a missing answer is unanswered") << unanswered(1, 23) + QStringList{"24=null"} << "";
        QTest::newRow("no rows") << QStringList{} << "";
    }
    void vcardCarriesEveryAnswer()
    {
        QFETCH(QStringList, stored);
        QFETCH(QString, written);
        QTemporaryDir out;
        const QString path = out.path() + "/answers.vcf";
        {
            TransferApp app;
            const int anna = app.db.addPerson("Anna");
            app.db.addPerson("Bob"); // without answers
            for (const QString& row : stored) {
                const QStringList qa = row.split('=');
                app.db.exec("INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (?, ?, ?)",
                            {anna, qa[0].toInt(), qa[1] == "null" ? QVariant() : QVariant(qa[1].toInt())});
            }
            QVERIFY(app.start());
            app.answer = path;
            app.main()->VCardfile2Click();
            QCOMPARE(app.messageTexts(), QStringList{"2 record(s) exported."});
        }
        // Unfolded: a long property goes on over several lines, each further one led by a blank.
        const QByteArray bytes = readFile(path).replace("\r\n ", "");
        const QByteArray property = "\r\nX-VANTREL-ANSWERS:";
        QString expected = written;
        if (expected.isEmpty() && !stored.isEmpty())
            expected = QStringList(QVector<QString>(24, "-1").toList()).join(' ');
        QCOMPARE(bytes.count(property), expected.isEmpty() ? 0 : 1);
        if (!expected.isEmpty()) {
            const qsizetype at = bytes.indexOf(property) + property.size();
            QCOMPARE(QString::fromUtf8(bytes.mid(at, bytes.indexOf("\r\n", at) - at)), expected);
            QVERIFY(bytes.indexOf(property) < bytes.indexOf("FN:Bob")); // Anna's card
        }

        TransferApp app;
        QVERIFY(app.start());
        app.answer = path;
        app.main()->VCardfile1Click();
        QCOMPARE(app.messageTexts(), QStringList{"2 record(s) added."});
        QStringList readBack;
        for (const QString& a : expected.split(' ', Qt::SkipEmptyParts))
            readBack << QString("%1=%2").arg(readBack.size() + 1).arg(a);
        QCOMPARE(app.answers(app.db.scalar("SELECT PersonID FROM People WHERE Name = 'Anna'").toInt()),
                 readBack.join(' '));
        QCOMPARE(app.db.count("QuestionsMain"), expected.isEmpty() ? 0 : 24);
    }

    void exportProblemsLeaveTheOldFile()
    {

        SKIP_ON_SERVER("path, which an export must not write over");
        TransferApp app;
        for (int i = 0; i < 300; ++i)
            app.db.addPerson("Person " + QString::number(i));
        QVERIFY(app.start());
        const QString path = app.write("old contents", "old.vcf");

        // Cancel while it runs: the file is as it was.
        PeopleTransfer::setProgressDelay(0);
        int seen = 0;
        PeopleTransfer::setProgressObserver([&](QProgressDialog& d) {
            if (++seen != 3)
                return;
            QCOMPARE(d.objectName(), QString("ExportProgress"));
            QCOMPARE(d.windowTitle(), QString("Export"));
            QVERIFY(d.findChild<QLabel*>()->text().startsWith("Exporting people to old.vcf\n"));
            const QList<QPushButton*> buttons = d.findChildren<QPushButton*>();
            QCOMPARE(buttons.size(), 1);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(buttons[0]));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        app.answer = path;
        app.main()->VCardfile2Click();
        QCOMPARE(seen, 3);
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(readFile(path), QByteArray("old contents"));
        PeopleTransfer::setProgressObserver({});

        // The program's own database is never written over, nor read as cards.
        app.answer = app.db.path();
        app.main()->VCardfile2Click();
        app.main()->VCardfile1Click();
        QCOMPARE(app.messages.size(), 2);
        QVERIFY2(app.messages[0].text.endsWith("Vantrel.vt is the program's own database. Nothing was exported."),
                 qPrintable(app.messages[0].text));
        QVERIFY(app.messages[1].text.endsWith("is the program's own database, not a vCard file. Nothing was imported."));
        QCOMPARE(app.db.count("People"), 300);
        app.messages.clear();

        // A folder that is not there, and a write the system refuses part-way (a file size limit
        // stands in for a full disk): the reason is the system's, and the old file stays.
        const QString missing = QDir::toNativeSeparators(app.db.dir() + "/no/such/folder");
        app.answer = missing + "/people.csv";
        app.main()->CSVfile2Click();
        QCOMPARE(app.messageTexts(), QStringList{QString("The file %1/people.csv cannot be written: The folder %1 does "
                                                         "not exist.\nNothing was exported.").arg(missing)});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        app.messages.clear();
        {
            rlimit old{};
            getrlimit(RLIMIT_FSIZE, &old);
            const auto previous = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = old;
            small.rlim_cur = 4096;
            setrlimit(RLIMIT_FSIZE, &small);
            app.answer = path;
            app.main()->CSVfile2Click();
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, previous);
        }
        QCOMPARE(app.messageTexts(), QStringList{QString("The file %1 cannot be written: %2.\nNothing was exported.")
                                                     .arg(QDir::toNativeSeparators(path),
                                                          QString::fromLocal8Bit(std::strerror(EFBIG)))});
        QCOMPARE(readFile(path), QByteArray("old contents"));
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList({"old.vcf*"}, QDir::Files | QDir::Hidden),
                 QStringList{"old.vcf"});

        // A pending edit is saved before the list is written.
        app.messages.clear();
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "555");
        app.answer = path;
        app.main()->CSVfile2Click();
        QCOMPARE(app.messageTexts(), QStringList{"300 record(s) exported."});
        QVERIFY(readFile(path).contains("\r\n,Person 0" + QByteArray(18, ',') + "555,"));
    }

    void realSaveDialogAndOverwriteQuestion()
    {
        TransferApp app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        FileDialog::setHandler({});
        const QString existing = app.write("keep me", "people.csv");
        QString checks;
        int round = 0;
        app.modal = [&](QDialog* d) {
            auto* dialog = qobject_cast<QFileDialog*>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            if (dialog->objectName() != "SaveDialogCSV" || dialog->acceptMode() != QFileDialog::AcceptSave
                || dialog->defaultSuffix() != "csv" || dialog->windowTitle() != "Export people to a CSV file")
                checks += "setup; ";
            dialog->setDirectory(app.db.dir());
            showActive(dialog);
            QWidget* focus = QApplication::focusWidget();
            if (!qobject_cast<QLineEdit*>(focus) || focus->window() != dialog)
                checks += "focus; ";
            auto* box = dialog->findChild<QDialogButtonBox*>();
            QPushButton* save = box->button(QDialogButtonBox::Save);
            QPushButton* cancel = box->button(QDialogButtonBox::Cancel);
            if (!save || !cancel || !save->isDefault()
                || save->mapToGlobal(QPoint()).x() > cancel->mapToGlobal(QPoint()).x())
                checks += "buttons; ";
            if (round++ == 0) {
                // The name without its suffix is an existing file's: the question comes, with
                // No as the default and the focus; Escape, then Enter, say No.
                int asked = 0;
                for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space}) {
                    whenModalActive([&, key](QWidget* w) {
                        auto* q = qobject_cast<QMessageBox*>(w);
                        if (!q) {
                            checks += "no question; ";
                            w->close();
                            return;
                        }
                        ++asked;
                        if (!q->text().contains("already exists"))
                            checks += "text; ";
                        QAbstractButton* yes = q->button(QMessageBox::Yes);
                        QAbstractButton* no = q->button(QMessageBox::No);
                        if (!yes || !no || q->defaultButton() != no || QApplication::focusWidget() != no
                            || yes->mapToGlobal(QPoint()).x() > no->mapToGlobal(QPoint()).x())
                            checks += "question buttons; ";
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
                        if (q->isVisible()) {
                            checks += "question left open; ";
                            q->close();
                        }
                    });
                    QLineEdit* name = dialog->findChild<QLineEdit*>("fileNameEdit");
                    name->setFocus();
                    name->setText("people");
                    QTest::keyClick(name, Qt::Key_Return);
                    if (!dialog->isVisible())
                        checks += "closed on No; ";
                }
                if (asked != 3)
                    checks += QString("asked %1 times; ").arg(asked);
                // Then Yes replaces the file.
                whenModalActive([&](QWidget* w) {
                    auto* q = qobject_cast<QMessageBox*>(w);
                    if (q)
                        q->button(QMessageBox::Yes)->click();
                    else
                        w->close();
                });
                QTest::keyClick(dialog->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
            } else {
                // A new name gets the suffix; Escape would have cancelled.
                QTest::keyClicks(QApplication::focusWidget(), "fresh");
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            }
            return dialog->result();
        };
        app.main()->CSVfile2Click();
        QCOMPARE(checks, QString());
        QCOMPARE(app.messageTexts(), QStringList{"1 record(s) exported."});
        QVERIFY(readFile(existing).contains("\r\n,Anna,"));

        app.main()->CSVfile2Click();
        QCOMPARE(checks, QString());
        QVERIFY(QFile::exists(app.db.dir() + "/fresh.csv"));

        // Escape in the dialog exports nothing.
        app.messages.clear();
        app.modal = [&](QDialog* d) {
            showActive(d);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            return d->result();
        };
        app.main()->VCardfile2Click();
        QVERIFY(app.messages.isEmpty());
    }
};

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
