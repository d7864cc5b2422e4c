#include "support/AppFixture.h"

#include "contacts/PeopleTransfer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QTest>

namespace {
// The program on a fresh database, with the file dialog answered by the test.
struct ImportApp : AppFixture {
    QString answer;
    ImportApp()
    {
        FileDialog::setHandler([this](const FileDialog::Request&) { return answer; });
    }
    ~ImportApp()
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
};
} // namespace

// What the vCard import makes of cards that are not as they should be.
class TestVCardImport : public QObject {
    Q_OBJECT

private slots:
    // The closing message counts the values of the people added that could not be read and names
    // the line of the first of them in the file: the property where it begins, in the first card
    // that has one among the cards whose person was added.
    void vcardNoteNamesTheFirstValueNotRead_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        // Lines 1 to 3 are BEGIN, VERSION and FN; the card's own lines follow from line 4.
        auto card = [](const QByteArray& name, const QByteArray& lines) {
            return "BEGIN:VCARD\r\nVERSION:4.0\r\n" + (name.isEmpty() ? QByteArray("NOTE:no name") : "FN:" + name)
                   + "\r\n" + lines + "END:VCARD\r\n";
        };
        const QString notRead = " value(s) could not be read and were left empty, the first at line ";
        QTest::newRow("one date") << card("Anna", "BDAY:never\r\n") << "1 record(s) added. 1" + notRead + "4.";
        QTest::newRow("two in one card: the first of them")
            << card("Anna", "TEL:1\r\nANNIVERSARY:soon\r\nBDAY:never\r\n") << "1 record(s) added. 2" + notRead + "5.";
        QTest::newRow("in two cards: the first card's")
            << card("Anna", "BDAY:never\r\n") + card("Bob", "BDAY:soon\r\n") << "2 record(s) added. 2" + notRead + "4.";
        QTest::newRow("in the later card only")
            << card("Anna", "BDAY:1980-02-03\r\n") + card("Bob", "TEL:1\r\nBDAY:soon\r\n")
            << "2 record(s) added. 1" + notRead + "10.";
        QTest::newRow("the last card's")
            << card("Anna", "") + card("Bob", "") + card("Cleo", "ANNIVERSARY:--13-45\r\n")
            << "3 record(s) added. 1" + notRead + "12.";
        QTest::newRow("answers that are not 24 numbers")
            << card("Anna", "X-VANTREL-ANSWERS:" + QByteArray("1 ").repeated(23) + "\r\n")
                   + card("Bob", "X-VANTREL-ANSWERS:" + QByteArray("0 ").repeated(25) + "\r\n")
                   + card("Cleo", "X-VANTREL-ANSWERS:" + QByteArray("0 ").repeated(23) + "x\r\n")
            << "3 record(s) added. 3" + notRead + "4.";
        QTest::newRow("a folded value: the line where it begins")
            << card("Anna", "NOTE:a\r\n b\r\nBDAY:ne\r\n ver\r\n") << "1 record(s) added. 1" + notRead + "6.";
        QTest::newRow("a card without a name is not counted")
            << card("", "BDAY:never\r\n") + card("Bob", "BDAY:soon\r\n")
            << "1 record(s) added. 1" + notRead + "9. 1 card(s) without a name were skipped.";
        QTest::newRow("a person already on file is not counted")
            << card("Here", "EMAIL:here@example.com\r\nBDAY:never\r\n") + card("Bob", "BDAY:soon\r\n")
            << "1 record(s) added. 1" + notRead + "10.";
        QTest::newRow("a card that stops the import is not counted")
            << card("Anna", "BDAY:never\r\n") + card("Bob", "BDAY:soon\r\nADR;TYPE=home:;;;" + QByteArray(51, 'c') + ";;;\r\n")
            << "Line 10 of the file: the value of \"Home City\" is longer than 50 characters. The import stopped "
               "there.\n1 record(s) added. 1" + notRead + "4.";
        QTest::newRow("every value read") << card("Anna", "BDAY:--0415\r\nANNIVERSARY:19990101\r\n")
                                          << "1 record(s) added.";
        // Each value is checked against its column: a date, a reminder on or off, a number.
        QTest::newRow("a date typed as text that is one, a number, a reminder")
            << card("Anna", "BDAY;VALUE=text:1970-03-04\r\nX-VANTREL-PROFESSIONID: 42\r\nX-VANTREL-BREMINDER:1\r\n")
            << "1 record(s) added.";
        QTest::newRow("a date typed as text that is none")
            << card("Anna", "TEL:1\r\nANNIVERSARY;VALUE=text:circa 1800\r\n") << "1 record(s) added. 1" + notRead + "5.";
        QTest::newRow("a profession number that is no number, a reminder neither on nor off")
            << card("Anna", "X-VANTREL-PROFESSIONID:forty-two\r\nX-VANTREL-AREMINDER:yes\r\n")
            << "1 record(s) added. 2" + notRead + "4.";
        // A value far longer than any field is refused at its line, a 10 MB birthday too.
        const QString far = " of the file: the value there goes on for more than 64 KB, far more than any field holds. "
                            "The import stopped there.\n";
        QTest::newRow("a 10 MB birthday")
            << card("Anna", "") + card("Bob", "BDAY;VALUE=text:" + QByteArray(10 << 20, '1') + "\r\n")
            << "Line 8" + far + "1 record(s) added.";
        QTest::newRow("a note folded on and on")
            << card("Anna", "NOTE:" + QByteArray(QByteArray(70, 'n') + "\r\n ").repeated(2000) + "\r\n")
            << "Line 4" + far + "0 record(s) added.";
        QTest::newRow("a photo beyond 64 KB has no field")
            << card("Anna", "PHOTO;ENCODING=b;TYPE=JPEG:" + QByteArray(200000, 'A') + "\r\n") << "1 record(s) added.";
        // A character the card's character set cannot give becomes U+FFFD, counted.
        const QString replaced = QString(" character(s) could not be read and were replaced by \"%1\", the first at line ")
                                     .arg(QChar(QChar::ReplacementCharacter));
        QTest::newRow("a lone surrogate of UTF-16")
            << card("Anna", "TEL:1\r\nNOTE;CHARSET=UTF-16LE;ENCODING=QUOTED-PRINTABLE:=00=D8L=00o=00n=00e=00\r\n")
                   + card("Here", "EMAIL:here@example.com\r\nNOTE;ENCODING=QUOTED-PRINTABLE:=00\r\n")
                   + card("Bob", "BDAY:never\r\nTITLE;ENCODING=QUOTED-PRINTABLE:Dr=00\r\nORG;ENCODING=QUOTED-PRINTABLE:=00;=00\r\n")
            << "2 record(s) added. 1" + notRead + "16. 4" + replaced + "5.";
        // Binary data after cards: the file is refused as a whole, as a CSV file is.
        QTest::newRow("a NUL after the first 4 KB")
            << card("Anna", "PHOTO:" + QByteArray(5000, 'A') + "\r\n") + card("Bob", QByteArray("TEL:1\0\r\n", 8))
            << "The file %1 is not a text file. Nothing was imported.";
    }
    void vcardNoteNamesTheFirstValueNotRead()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        ImportApp app;
        app.db.addPerson("Here", {{"Email1", "here@example.com"}});
        QVERIFY(app.start());
        app.answer = app.write(file, "cards.vcf");
        app.main()->VCardfile1Click();
        if (message.contains("%1"))
            message = message.arg(QDir::toNativeSeparators(app.answer));
        QCOMPARE(app.messageTexts(), QStringList{message});
        QCOMPARE(app.messages[0].icon, message.startsWith("Line") || message.contains("Nothing was imported")
                                           ? MessageBox::Icon::Error
                                       : message.contains("could not") ? MessageBox::Icon::Warning
                                                                       : MessageBox::Icon::Information);
    }

    // What hostile cards leave: each value as its column holds it, nothing of a file that turns
    // out to be binary data, and a card of any size shows its progress and can be cancelled.
    void vcardHostileFiles()
    {
        ImportApp app;
        app.db.addPerson("Here");
        QVERIFY(app.start());
        app.answer = app.write("BEGIN:VCARD\r\nVERSION:3.0\r\n"
                               "FN;CHARSET=UTF-16LE;ENCODING=QUOTED-PRINTABLE:=00=D8L=00o=00n=00e=00\r\n"
                               "BDAY;VALUE=text:1970-03-04\r\nANNIVERSARY;VALUE=text:circa 1800\r\n"
                               "X-VANTREL-PROFESSIONID:42\r\nX-VANTREL-BREMINDER:yes\r\nEND:VCARD\r\n",
                               "values.vcf");
        app.main()->VCardfile1Click();
        const QString fffd(QChar::ReplacementCharacter);
        QCOMPARE(app.messageTexts(), QStringList{"1 record(s) added. 2 value(s) could not be read and were left empty, "
                                                 "the first at line 5. 1 character(s) could not be read and were "
                                                 "replaced by \"" + fffd + "\", the first at line 3."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Warning);
        const QString name = fffd + "Lone";
        auto stored = [&](const char* column) {
            return app.db.scalar(QString("SELECT \"%1\" FROM People WHERE Name = ?").arg(column), {name});
        };
        QCOMPARE(stored("Name").toString(), name); // not the one character U+1004C
        QCOMPARE(stored("Birthday").toString(), QString("1970-03-04"));
        QVERIFY(stored("Anniversary").isNull());
        QCOMPARE(stored("ProfessionID").toInt(), 42);
        QVERIFY(stored("Breminder").isNull());

        // A NUL after the first 4 KB, before the first card ends: nothing is imported.
        app.messages.clear();
        app.answer = app.write("BEGIN:VCARD\r\nFN:Anna\r\nPHOTO:" + QByteArray(5000, 'A') + QByteArray("\0\0\0\r\n", 5)
                                   + "END:VCARD\r\n",
                               "binary.vcf");
        app.main()->VCardfile1Click();
        QCOMPARE(app.messageTexts(), QStringList{"The file " + QDir::toNativeSeparators(app.answer)
                                                 + " is not a text file. Nothing was imported."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QCOMPARE(app.db.count("People"), 2);

        // One card of 16 MB: the progress comes while it is read, and Cancel ends the reading.
        app.messages.clear();
        PeopleTransfer::setProgressDelay(0);
        QStringList states;
        PeopleTransfer::setProgressObserver([&](QProgressDialog& d) {
            states << d.labelText();
            if (states.size() == 1)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        app.answer = app.write("BEGIN:VCARD\r\nFN:Big\r\nPHOTO:" + QByteArray(16 << 20, 'A') + "\r\nEND:VCARD\r\n"
                                   + "BEGIN:VCARD\r\nFN:After\r\nEND:VCARD\r\n",
                               "big.vcf");
        app.main()->VCardfile1Click();
        QCOMPARE(states, QStringList{"Importing people from big.vcf\n0 record(s) added so far."});
        QCOMPARE(app.messageTexts(), QStringList{"0 record(s) added."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Information);
        QCOMPARE(app.db.count("People"), 2);
        QVERIFY(!app.main()->findChild<QProgressDialog*>("ImportProgress"));
    }
};

QTEST_MAIN(TestVCardImport)
#include "tst_vcardimport.moc"
