#include "contacts/VCard.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString writeFile(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString path = dir.path() + "/cards.vcf";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write the test file");
    return path;
}

QList<VCard::Card> readAll(const QString& path, VCard::Reader* keep = nullptr)
{
    VCard::Reader own(path);
    VCard::Reader& r = keep ? *keep : own;
    QList<VCard::Card> cards;
    if (!r.open())
        return cards;
    VCard::Card c;
    while (r.read(c))
        cards << c;
    return cards;
}
} // namespace

class TestVCard : public QObject {
    Q_OBJECT
private slots:
    void escapingRoundTrips()
    {
        const QString awkward = QString::fromUtf8("Berg, Anna; \"Q\" \\ back\nslash\r\nend \u00e9\U0001F600");
        const QString escaped = VCard::escape(awkward);
        QCOMPARE(escaped, QString::fromUtf8("Berg\\, Anna\\; \"Q\" \\\\ back\\nslash\\nend \u00e9\U0001F600"));
        // A CR LF pair is one line break, as vCard writes it.
        QCOMPARE(VCard::unescape(escaped), QString(awkward).replace("\r\n", "\n"));
        QCOMPARE(VCard::split(VCard::escape("a;b") + ";" + VCard::escape("c,d\\") + ";;", u';'),
                 (QStringList{"a;b", "c,d\\", "", ""}));
        QCOMPARE(VCard::unescape(u"\\N and \\: and \\x"), QString("\n and : and \\x"));
    }

    void foldingKeepsCharactersWhole()
    {
        // Every length around the fold, with two-, three- and four-byte characters at the cut.
        QTemporaryDir dir;
        VCard::Writer w;
        QStringList values;
        for (int n = 60; n < 240; n += 7) {
            QString v;
            for (int i = 0; v.toUtf8().size() < n; ++i)
                v += QString::fromUtf8(i % 4 == 0 ? "a" : i % 4 == 1 ? "\u00e9" : i % 4 == 2 ? "\u20ac" : "\U0001F600");
            values << v;
            w.beginCard();
            w.property("FN", VCard::escape(v));
            w.property("NOTE", VCard::escape(v + ", " + v));
            w.endCard();
        }
        const QByteArray bytes = w.bytes();
        QVERIFY(bytes.endsWith("END:VCARD\r\n"));
        for (const QByteArray& line : bytes.split('\n')) {
            QVERIFY2(line.isEmpty() || line.endsWith('\r'), "every line ends in CR LF");
            QVERIFY2(line.size() - 1 <= 75, line.constData());
            // A continuation line begins with one blank and never inside a character.
            if (line.startsWith(' '))
                QVERIFY((uchar(line[1]) & 0xC0) != 0x80);
            QVERIFY2(QString::fromUtf8(line).toUtf8() == line, "each physical line is valid UTF-8 on its own");
        }
        const QList<VCard::Card> cards = readAll(writeFile(dir, bytes));
        QCOMPARE(cards.size(), values.size());
        for (int i = 0; i < cards.size(); ++i) {
            QCOMPARE(cards[i].version, QByteArray("4.0"));
            QCOMPARE(VCard::unescape(cards[i].first("FN")->value), values[i]);
            QCOMPARE(VCard::unescape(cards[i].first("NOTE")->value), values[i] + ", " + values[i]);
        }
    }

    void version3WithQuotedPrintable()
    {
        QTemporaryDir dir;
        const QByteArray file =
            "BEGIN:VCARD\r\n"
            "VERSION:3.0\r\n"
            "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;;\r\n"
            "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BC=\r\n"
            "ller\r\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1:Caf=E9 =3D bar=0D=0A=\r\n"
            "second line\r\n"
            "item1.TEL;TYPE=CELL:+49 170\r\n"
            " 1234567\r\n"
            "X-UNKNOWN;FOO=\"a:b;c\":ignored: value\r\n"
            "PHOTO;ENCODING=b;TYPE=JPEG:AAAA\r\n"
            "  BBBB\r\n"
            "END:VCARD\r\n"
            "\r\n"
            "begin:vcard\n"
            "version:2.1\n"
            "TEL;WORK;FAX;QUOTED-PRINTABLE:=31=32\n"
            "FN:Second\n"
            "end:vcard\n";
        const QList<VCard::Card> cards = readAll(writeFile(dir, file));
        QCOMPARE(cards.size(), 2);
        const VCard::Card& a = cards[0];
        QCOMPARE(a.line, 1);
        QCOMPARE(a.version, QByteArray("3.0"));
        QCOMPARE(a.first("FN")->value, QString::fromUtf8("Jürgen Müller"));
        QCOMPARE(a.first("N")->value, QString::fromUtf8("Müller;Jürgen;;;"));
        QCOMPARE(a.first("NOTE")->value, QString::fromUtf8("Café = bar\r\nsecond line"));
        QCOMPARE(a.first("NOTE")->line, 6);
        QCOMPARE(a.first("TEL")->value, QString("+49 1701234567"));
        QVERIFY(a.first("TEL")->hasType("cell"));
        QCOMPARE(a.first("X-UNKNOWN")->parameter("FOO"), QString("a:b;c"));
        QCOMPARE(a.first("X-UNKNOWN")->value, QString("ignored: value"));
        QCOMPARE(a.first("PHOTO")->value, QString("AAAA BBBB"));
        const VCard::Card& b = cards[1];
        QCOMPARE(b.line, 15);
        QCOMPARE(b.first("TEL")->value, QString("12"));
        QVERIFY(b.first("TEL")->hasType("work") && b.first("TEL")->hasType("FAX"));
        QCOMPARE(b.first("FN")->value, QString("Second"));
    }

    void unreadableCards_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("cards");
        QTest::addColumn<int>("problem");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("text");
        const QByteArray good = "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Good\r\nEND:VCARD\r\n";
        const int bad = int(VCard::Reader::Problem::BadCard);
        QTest::newRow("no colon") << good + "BEGIN:VCARD\r\nFN:Broken\r\nTEL 555\r\nEND:VCARD\r\n" + good << 1 << bad
                                  << 7 << QString("it has no colon between a property's name and its value.");
        QTest::newRow("no end") << good + "BEGIN:VCARD\r\nFN:Open\r\n" + good << 1 << bad << 5
                                << QString("the card that begins there has no END:VCARD.");
        QTest::newRow("no end at the end") << good + "BEGIN:VCARD\r\nFN:Open\r\n" << 1 << bad << 5
                                           << QString("the card that begins there has no END:VCARD.");
        QTest::newRow("text between cards") << good + "stray text\r\n" + good << 1 << bad << 5
                                            << QString("it stands outside a card.");
        QTest::newRow("unknown character set")
            << QByteArray("BEGIN:VCARD\r\nFN;CHARSET=X-NOSUCH:a\r\nEND:VCARD\r\n") << 0 << bad << 2
            << QString("its character set \"X-NOSUCH\" is unknown.");
        QTest::newRow("no vCard") << QByteArray("Title,Name\r\nMr.,Anna\r\n") << 0
                                  << int(VCard::Reader::Problem::NotVCard) << 1 << QString("It is not a vCard file.");
        QTest::newRow("empty") << QByteArray() << 0 << int(VCard::Reader::Problem::NotVCard) << 0
                               << QString("It is not a vCard file.");
        // Binary data anywhere, also after cards and far into the file: nothing is read.
        QTest::newRow("NUL after the first 4 KB")
            << good + "BEGIN:VCARD\r\nFN:Filler\r\nNOTE:" + QByteArray(5000, 'n') + "\r\nEND:VCARD\r\n"
                   + QByteArray("BEGIN:VCARD\r\nFN:Bin\0ary\r\nEND:VCARD\r\n", 34)
            << 0 << int(VCard::Reader::Problem::NotText) << 0 << QString("It holds binary data, not text.");
        QTest::newRow("NUL where a line begins, after a card")
            << "BEGIN:VCARD\r\nFN:Filler\r\nPHOTO:" + QByteArray(5000, 'A') + "\r\nEND:VCARD\r\n" + QByteArray(1, '\0')
            << 0 << int(VCard::Reader::Problem::NotText) << 0 << QString("It holds binary data, not text.");
        QTest::newRow("NUL past the first megabyte")
            << good.repeated(30000) + QByteArray(1, '\0') << 0 << int(VCard::Reader::Problem::NotText) << 0
            << QString("It holds binary data, not text.");
        // What a card may hold is bounded, however the file goes on.
        const QString large("the card that begins there is far larger than any person's: more than 10,000 "
                            "properties or 4 MB of text.");
        QTest::newRow("more than 10,000 properties")
            << good + "BEGIN:VCARD\r\n" + QByteArray("TEL:1\r\n").repeated(10001) + "END:VCARD\r\n" + good << 1
            << bad << 5 << large;
        QTest::newRow("more than 4 MB")
            << good + "BEGIN:VCARD\r\n" + ("NOTE:" + QByteArray(60000, 'n') + "\r\n").repeated(70) + "END:VCARD\r\n"
            << 1 << bad << 5 << large;
        QTest::newRow("no colon in the first 64 KB")
            << good + "BEGIN:VCARD\r\nX-" + QByteArray(70000, 'a') + ":v\r\nEND:VCARD\r\n" << 1 << bad << 6
            << QString("its first 64 KB hold no colon between a property's name and its value.");
    }
    void unreadableCards()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, cards);
        QFETCH(int, problem);
        QFETCH(int, line);
        QFETCH(QString, text);
        QTemporaryDir dir;
        VCard::Reader reader(writeFile(dir, file));
        QCOMPARE(readAll({}, &reader).size(), cards);
        QCOMPARE(int(reader.problem()), problem);
        QCOMPARE(reader.errorLine(), line);
        QCOMPARE(reader.errorString(), text);
    }

    // A hostile file costs one look at each byte and a bounded memory: a value without a line
    // break, or folded on and on, is kept to its first 64 KB and marked cut; a card of a million
    // properties is refused at the 10,001st.
    void hostileFilesStayWithinBounds_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("cards");
        QTest::addColumn<bool>("allRead"); // to the end of the file
        const QByteArray begin = "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Long\r\n";
        QTest::newRow("one line of 32 MB") << begin + "NOTE:" + QByteArray(32 << 20, 'x') + "\r\nEND:VCARD\r\n" << 1
                                           << true;
        QTest::newRow("folded 400,000 times")
            << begin + "NOTE:" + QByteArray(QByteArray(74, 'x') + "\r\n ").repeated(400000) + "x\r\nEND:VCARD\r\n" << 1
            << true;
        QTest::newRow("quoted-printable soft breaks")
            << begin + "NOTE;ENCODING=QUOTED-PRINTABLE:" + QByteArray(QByteArray(74, 'x') + "=\r\n").repeated(400000)
                   + "x\r\nEND:VCARD\r\n"
            << 1 << true;
        QTest::newRow("a card of a million properties")
            << begin + QByteArray("TEL:1\r\n").repeated(1000000) + "END:VCARD\r\n" << 0 << false;
    }
    void hostileFilesStayWithinBounds()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, cards);
        QFETCH(bool, allRead);
        QTemporaryDir dir;
        VCard::Reader reader(writeFile(dir, file));
        const QList<VCard::Card> read = readAll({}, &reader);
        QCOMPARE(read.size(), cards);
        if (cards) {
            const VCard::Property* note = read[0].first("NOTE");
            QVERIFY(note && note->cut);
            QVERIFY(note->value.size() < VCard::Reader::kPropertyBytes);
            QVERIFY(note->value.size() > VCard::Reader::kPropertyBytes - 1000);
            QVERIFY(!read[0].first("FN")->cut);
        } else {
            QCOMPARE(reader.problem(), VCard::Reader::Problem::BadCard);
        }
        // Each byte is looked at once, the blanks of the folds aside: time goes with the size.
        QVERIFY2(reader.bytesScanned() <= file.size(), qPrintable(QString::number(reader.bytesScanned())));
        if (allRead)
            QVERIFY(reader.bytesScanned() >= file.size() - 400000);
        else
            QVERIFY(reader.bytesScanned() < 200000); // stopped at the 10,001st property
        QVERIFY2(reader.peakKeptBytes() < 4 * 1024 * 1024, qPrintable(QString::number(reader.peakKeptBytes())));
    }

    // What the character set named cannot give is U+FFFD, counted; a lone surrogate would take
    // the character after it along into the database.
    void brokenCharacters_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("broken");
        const QString fffd(QChar::ReplacementCharacter);
        const QByteArray qp = "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=";
        QTest::newRow("UTF-16LE, lone high surrogate") << qp + "UTF-16LE:=00=D8L=00o=00n=00e=00" << fffd + "Lone" << 1;
        QTest::newRow("UTF-16LE, a pair") << qp + "UTF-16LE:=3D=D8=00=DEa=00" << QString::fromUtf8("😀a") << 0;
        QTest::newRow("UTF-16BE, lone low surrogate") << qp + "UTF-16BE:=00a=DC=00" << "a" + fffd << 1;
        QTest::newRow("UTF-16LE, half a unit") << qp + "UTF-16LE:a=00b" << "a" + fffd << 1;
        QTest::newRow("a NUL written as =00") << QByteArray("NOTE;ENCODING=QUOTED-PRINTABLE:a=00b") << "a" + fffd + "b" << 1;
        QTest::newRow("a byte of no character") << qp + "SHIFT_JIS:a=FFb" << "a" + fffd + "b" << 1;
        QTest::newRow("UTF-8") << QByteArray("NOTE:Zo\xC3\xAB") << QString::fromUtf8("Zoë") << 0;
    }
    void brokenCharacters()
    {
        QFETCH(QByteArray, property);
        QFETCH(QString, value);
        QFETCH(int, broken);
        QTemporaryDir dir;
        const QList<VCard::Card> cards = readAll(writeFile(dir, "BEGIN:VCARD\r\n" + property + "\r\nEND:VCARD\r\n"));
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards[0].first("NOTE")->value, value);
        QCOMPARE(cards[0].first("NOTE")->broken, broken);
    }

    void binaryAndMissingFiles()
    {
        QTemporaryDir dir;
        VCard::Reader binary(writeFile(dir, QByteArray("BEGIN:VCARD\0\r\n", 14)));
        QVERIFY(!binary.open());
        QCOMPARE(binary.problem(), VCard::Reader::Problem::NotText);
        VCard::Reader missing(dir.path() + "/gone.vcf");
        QVERIFY(!missing.open());
        QCOMPARE(missing.problem(), VCard::Reader::Problem::CannotRead);
        // A byte-order mark is no text of the card.
        QCOMPARE(readAll(writeFile(dir, "\xEF\xBB\xBF" "BEGIN:VCARD\r\nFN:Bom\r\nEND:VCARD\r\n")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestVCard)
#include "tst_vcard.moc"
