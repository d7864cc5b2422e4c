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
        QCOMPARE(app.messageTexts(), QStringList{message});
        QCOMPARE(app.messages[0].icon, message.startsWith("Line")      ? MessageBox::Icon::Error
                                       : message.contains("could not") ? MessageBox::Icon::Warning
                                                                       : MessageBox::Icon::Information);
    }
};

QTEST_MAIN(TestVCardImport)
#include "tst_vcardimport.moc"
