#include "contacts/CsvReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Every record as "line:field|field", records joined by " / "; a cut field ends in "~".
QString readAll(const QString& path, int fieldLimit = 0, int lengthLimit = 0, CsvReader::Encoding* encoding = nullptr)
{
    CsvReader reader(path);
    reader.setFieldLimit(fieldLimit);
    reader.setLengthLimit(lengthLimit);
    if (!reader.open())
        return "error: " + reader.errorString();
    if (encoding)
        *encoding = reader.encoding();
    QStringList records;
    CsvReader::Record r;
    while (reader.read(r)) {
        QStringList fields;
        for (int i = 0; i < r.fieldCount(); ++i)
            fields << r.field(i) + (r.isCut(i) ? "~" : "");
        records << QString("%1:%2").arg(r.line).arg(fields.join('|'));
        if (r.openQuoteLine)
            records.last() += QString(" (quote open from line %1, field %2)").arg(r.openQuoteLine).arg(r.openQuoteField);
        if (r.broken)
            records.last() += QString(" (%1 broken, the first on line %2)").arg(r.broken).arg(r.firstBrokenLine);
    }
    if (reader.problem() != CsvReader::Problem::None)
        records << "error: " + reader.errorString();
    if (reader.progress() != 1.0)
        records << "progress stopped short";
    return records.join(" / ");
}
} // namespace

class TestCsvReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString write(const QByteArray& bytes)
    {
        QFile f(m_dir.filePath("t.csv"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
        return f.fileName();
    }

private slots:
    void records_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("records");
        QTest::newRow("line feeds") << QByteArray("a,b\nc,d\n") << "1:a|b / 2:c|d";
        QTest::newRow("no break at the end") << QByteArray("a,b\nc,d") << "1:a|b / 2:c|d";
        QTest::newRow("CR LF and lone CR") << QByteArray("a\r\nb\rc\r\n") << "1:a / 2:b / 3:c";
        QTest::newRow("empty lines") << QByteArray("a\n\r\n\nb") << "1:a / 2: / 3: / 4:b";
        QTest::newRow("empty fields") << QByteArray(",\n,,x,\n") << "1:| / 2:||x|";
        QTest::newRow("blanks kept") << QByteArray(" a , b \n") << "1: a | b ";
        QTest::newRow("quoted comma") << QByteArray("\"Berg, Anna\",x\n") << "1:Berg, Anna|x";
        QTest::newRow("doubled quotes") << QByteArray("\"say \"\"hi\"\"\",\"\"\"\"\n") << "1:say \"hi\"|\"";
        QTest::newRow("quoted breaks count as lines")
            << QByteArray("\"a\r\nb\",\"c\nd\re\"\nnext\n") << "1:a\r\nb|c\nd\re / 5:next";
        QTest::newRow("quote inside a field is text") << QByteArray("O\"Brien,5\" tall\n") << "1:O\"Brien|5\" tall";
        QTest::newRow("text after a closing quote") << QByteArray("\"ab\"cd,e\n") << "1:abcd|e";
        QTest::newRow("blank before a quote: not quoted") << QByteArray(" \"a,b\"\n") << "1: \"a|b\"";
        QTest::newRow("unclosed quote runs to the end")
            << QByteArray("x,\"a\nb,c\n") << "1:x|a\nb,c\n (quote open from line 1, field 1)";
        QTest::newRow("unclosed on a later line of its record")
            << QByteArray("ok\n\"a\r\nb\",x,\"c\nd") << "1:ok / 2:a\r\nb|x|c\nd (quote open from line 3, field 2)";
        QTest::newRow("doubled quote at the end: still open") << QByteArray("\"abc\"\"") << "1:abc\" (quote open from line 1, field 0)";
        QTest::newRow("closed at the very end") << QByteArray("a,\"b\nc\"") << "1:a|b\nc";
        QTest::newRow("quote after text opens nothing") << QByteArray("a,b\"c\nd") << "1:a|b\"c / 2:d";
        QTest::newRow("empty file") << QByteArray() << "";
        QTest::newRow("one break only") << QByteArray("\n") << "1:";
    }
    void records()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, records);
        QCOMPARE(readAll(write(bytes)), records);
    }

    void limits()
    {
        // Fields past the limit are counted, not kept; long ones are kept cut and marked.
        QCOMPARE(readAll(write("a,bb,ccc,dddd\nlong,x\n"), 2, 3), QString("1:a|bb|| / 2:lon~|x"));
    }

    void chunkBoundaries()
    {
        // A two-byte character split across the reader's first two chunks of 64 KB, and a CR LF
        // pair split across the next boundary.
        QByteArray bytes = QByteArray(65535, 'x') + "\xC3\xA9,";
        bytes += QByteArray(131071 - bytes.size(), 'y') + "\r\nz";
        CsvReader::Encoding encoding;
        QCOMPARE(readAll(write(bytes), 0, 0, &encoding),
                 "1:" + QString(65535, 'x') + QString::fromUtf8("é|") + QString(65533, 'y') + " / 2:z");
        QCOMPARE(encoding, CsvReader::Encoding::Utf8);
        // In UTF-16, a pair of surrogates split across two chunks is one character.
        const QString text = QString(32766, 'x') + QString::fromUtf8("😀") + "z";
        QCOMPARE(readAll(write("\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2)),
                         0, 0, &encoding),
                 "1:" + text);
        QCOMPARE(encoding, CsvReader::Encoding::Utf16LE);
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QString>("text");
        using E = CsvReader::Encoding;
        QTest::newRow("ASCII") << QByteArray("abc") << int(E::Utf8) << "abc";
        QTest::newRow("UTF-8, four bytes") << QByteArray("\xF0\x9F\x98\x80") << int(E::Utf8) << QString::fromUtf8("😀");
        QTest::newRow("BOM dropped") << QByteArray("\xEF\xBB\xBFZo\xC3\xAB") << int(E::Utf8) << QString::fromUtf8("Zoë");
        QTest::newRow("BOM before Windows-1252") << QByteArray("\xEF\xBB\xBFZo\xEB") << int(E::Windows1252)
                                                 << QString::fromUtf8("Zoë");
        QTest::newRow("overlong") << QByteArray("\xC0\x80") << int(E::Windows1252) << QString::fromUtf8("À€");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << int(E::Windows1252) << QString::fromUtf8("í\u00A0€");
        QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << int(E::Windows1252)
                                       << QString::fromUtf8("ô\u0090€€");
        QTest::newRow("cut at the end") << QByteArray("a\xE2\x82") << int(E::Windows1252) << QString::fromUtf8("aâ‚");
        QTest::newRow("Windows-1252 specials") << QByteArray("\x80\x8A\x91\x92\x9F\x81\xA0\xFF") << int(E::Windows1252)
                                               << QString::fromUtf8("€Š‘’Ÿ\u0081\u00A0ÿ");
        QTest::newRow("UTF-16 LE") << QByteArray("\xFF\xFE" "a\0\xE9\0", 6) << int(E::Utf16LE) << QString::fromUtf8("aé");
        QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF\0a\0\xE9", 6) << int(E::Utf16BE) << QString::fromUtf8("aé");
        // A character that UTF-16 cannot give is U+FFFD, counted; the database would otherwise
        // take a lone high surrogate and the character after it as one.
        auto utf16 = [](const QString& text, const QByteArray& tail = {}) {
            return QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2) + tail;
        };
        const QString fffd(QChar::ReplacementCharacter);
        QTest::newRow("UTF-16, lone high surrogate") << utf16(QString(QChar(0xD800)) + "Lone") << int(E::Utf16LE)
                                                     << fffd + "Lone (1 broken, the first on line 1)";
        QTest::newRow("UTF-16, lone low surrogate, later line")
            << utf16("\"a\nb" + QString(QChar(0xDC00)) + "\",x" + QChar(0xDBFF)) << int(E::Utf16LE)
            << "a\nb" + fffd + "|x" + fffd + " (2 broken, the first on line 2)";
        QTest::newRow("UTF-16, half a unit at the end") << utf16("ab", "c") << int(E::Utf16LE)
                                                        << "ab" + fffd + " (1 broken, the first on line 1)";
        QTest::newRow("UTF-16, a U+FFFD of its own") << utf16(fffd) << int(E::Utf16LE) << fffd;
    }
    void encodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(QString, text);
        CsvReader::Encoding found;
        QCOMPARE(readAll(write(bytes), 0, 0, &found), "1:" + text);
        QCOMPARE(int(found), encoding);
    }

    // A NUL anywhere is binary data: the file is refused before its first record.
    void notText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("nul"); // where a NUL goes, -1: none
        const QByteArray text(3 * 1024 * 1024, 'a');
        QTest::newRow("in the first 4 KB") << text << 4095;
        QTest::newRow("just after them") << text << 4096;
        QTest::newRow("the last byte of a long file") << text << int(text.size() - 1);
        const QString as(1024 * 1024, 'a');
        QByteArray utf16 = "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(as.utf16()), as.size() * 2);
        QTest::newRow("UTF-16, a NUL unit far on") << utf16 << int(utf16.size() - 2);
        QTest::newRow("UTF-16, the NUL bytes of its characters") << utf16 << -1;
        utf16[1000002] = '\0'; // after the NUL byte of an 'a': a character U+6200, no NUL
        utf16[1000003] = 'b';
        QTest::newRow("UTF-16, two NUL bytes of two units") << utf16 << -1;
    }
    void notText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, nul);
        const bool utf16 = bytes.startsWith("\xFF\xFE");
        if (nul >= 0) {
            bytes[nul] = '\0';
            if (utf16)
                bytes[nul + 1] = '\0';
        }
        CsvReader reader(write(bytes));
        QCOMPARE(reader.open(), nul < 0);
        if (nul >= 0) {
            QCOMPARE(reader.problem(), CsvReader::Problem::NotText);
            QCOMPARE(reader.errorString(), QString("It holds binary data, not text."));
        }
    }
};

QTEST_GUILESS_MAIN(TestCsvReader)
#include "tst_csvreader.moc"
