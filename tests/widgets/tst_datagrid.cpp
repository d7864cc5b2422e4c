#include "platform/Platform.h"
#include "data/Column.h"
#include "widgets/FieldBinding.h"
#include "widgets/DateText.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>

// Dates typed into grid cells, in whatever order the user's format puts day, month and year.
// The suite runs under several locales (see tests/CMakeLists.txt).
class TestDateText : public QObject {
    Q_OBJECT

    // The day, month and year of a date in the order of the user's short format.
    static QString inUserOrder(int day, int month, const QString& year, const QString& separator)
    {
        const QString f = QLocale::system().dateFormat(QLocale::ShortFormat);
        QList<QPair<qsizetype, QString>> parts{
            {f.indexOf('d'), QString::number(day)}, {f.indexOf('M'), QString::number(month)}, {f.indexOf('y'), year}};
        std::sort(parts.begin(), parts.end());
        return parts[0].second + separator + parts[1].second + separator + parts[2].second;
    }

private slots:
    void initTestCase() { qInfo("user's short date format: %s", qPrintable(QLocale::system().dateFormat(QLocale::ShortFormat))); }
    void init() { Clock::setOverride([] { return QDate(2025, 6, 1); }); }
    void cleanup() { Clock::setOverride({}); }

    void whatIsShownReadsBack()
    {
        for (const QDate d : {QDate(1999, 12, 31), QDate(2024, 2, 29), QDate(2000, 1, 1), QDate(1931, 7, 4)}) {
            const QString shown = DateText::format(d);
            QVERIFY2(shown.contains(QString::number(d.year())), qPrintable(shown)); // never a two-digit year
            QCOMPARE(DateText::parse(shown), d);
            QCOMPARE(DateText::formatValue(QVariant(d)), shown);
        }
        QCOMPARE(DateText::formatValue(QVariant()), QString());
    }

    // The person screen shows a stored date in the user's short format, but a birthday kept
    // without a year (1604) as day and month alone: "4/15/04" would read as 2004.
    void personScreenDates_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("yearShown");
        QTest::newRow("a real year") << QDate(2004, 4, 15) << true;
        QTest::newRow("no year") << QDate(kNoYear, 4, 15) << false;
        QTest::newRow("no year, 29 February") << QDate(kNoYear, 2, 29) << false;
        QTest::newRow("the year after") << QDate(kNoYear + 1, 4, 15) << true;
    }
    void personScreenDates()
    {
        QFETCH(QDate, date);
        QFETCH(bool, yearShown);
        const QString shown = DateFieldBinding::format(QVariant(date));
        // With a time of day, as some cards give one, the date reads the same.
        QCOMPARE(DateFieldBinding::format(QVariant(QDateTime(date, QTime(10, 20)))),
                 shown + ' ' + QLocale::system().toString(QTime(10, 20), QLocale::ShortFormat));
        if (yearShown) {
            QCOMPARE(shown, QLocale::system().toString(date, QLocale::ShortFormat));
            return;
        }
        const QString f = QLocale::system().dateFormat(QLocale::ShortFormat);
        QList<int> expected{date.day()};
        if (!f.contains("MMM")) // a month by its name has no number
            expected.insert(f.indexOf('M') < f.indexOf('d') ? 0 : 1, date.month());
        QList<int> numbers;
        for (const QRegularExpressionMatch& m : QRegularExpression("\\d+").globalMatch(shown))
            numbers << m.captured().toInt();
        QCOMPARE(numbers, expected);
        QVERIFY2(shown.front().isLetterOrNumber() && shown.back().isLetterOrNumber(), qPrintable(shown));
    }

    void typedForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::newRow("four-digit year") << inUserOrder(5, 3, "2024", "/") << QDate(2024, 3, 5);
        QTest::newRow("any separator, blanks") << " " + inUserOrder(5, 3, "2024", " - ") + " " << QDate(2024, 3, 5);
        QTest::newRow("leading zeros") << inUserOrder(5, 3, "2024", ".").replace(QRegularExpression("\\b(\\d)\\b"), "0\\1")
                                        << QDate(2024, 3, 5);
        QTest::newRow("two digits, this century") << inUserOrder(5, 3, "24", "/") << QDate(2024, 3, 5);
        QTest::newRow("two digits, last of the window") << inUserOrder(5, 3, "74", "/") << QDate(2074, 3, 5);
        QTest::newRow("two digits, first of the window") << inUserOrder(5, 3, "75", "/") << QDate(1975, 3, 5);
        QTest::newRow("ISO") << "2024-03-05" << QDate(2024, 3, 5);
        QTest::newRow("29 February of a leap year") << inUserOrder(29, 2, "2024", "/") << QDate(2024, 2, 29);
        QTest::newRow("29 February otherwise") << inUserOrder(29, 2, "2023", "/") << QDate();
        QTest::newRow("31 April") << inUserOrder(31, 4, "2024", "/") << QDate();
        QTest::newRow("month 13") << inUserOrder(5, 13, "2024", "/") << QDate();
        QTest::newRow("three-digit year") << inUserOrder(5, 3, "202", "/") << QDate();
        QTest::newRow("two parts") << "5/3" << QDate();
        QTest::newRow("words") << "next tuesday" << QDate();
        QTest::newRow("empty") << "" << QDate();
    }
    void typedForms()
    {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QCOMPARE(DateText::parse(text), date);
    }
};

QTEST_GUILESS_MAIN(TestDateText)
#include "tst_datagrid.moc"
