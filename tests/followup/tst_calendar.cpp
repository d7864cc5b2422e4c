#include "support/AppFixture.h"

#include "app/Program.h"

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTest>

namespace {
// Reads the file with the iCalendar parser of Python (python3-icalendar) and prints, for each
// event sorted by UID, what a calendar program takes from it, with the first three occurrences
// its recurrence rule gives from 2027 on (the rule's parts sorted: parsers reorder them).
const char* const kReader = R"(
import sys, json, datetime
from icalendar import Calendar
from dateutil.rrule import rrulestr
cal = Calendar.from_ical(open(sys.argv[1], 'rb').read())
out = {'version': str(cal.get('version')), 'events': []}
for e in cal.walk('VEVENT'):
    start = e.get('dtstart').dt
    ev = {'uid': str(e.get('uid')), 'summary': str(e.get('summary')),
          'description': str(e.get('description', '')), 'start': start.isoformat(),
          'end': e.get('dtend').dt.isoformat(), 'allday': type(start) is datetime.date, 'rrule': '', 'next': []}
    if e.get('rrule') is not None:
        rrule = e.get('rrule').to_ical().decode()
        ev['rrule'] = ';'.join(sorted(rrule.split(';')))
        rule = rrulestr(rrule, dtstart=datetime.datetime.combine(start, datetime.time()))
        when = datetime.datetime(2027, 1, 1)
        for i in range(3):
            when = rule.after(when)
            ev['next'].append(when.date().isoformat())
    out['events'].append(ev)
out['events'].sort(key=lambda ev: ev['uid'])
print(json.dumps(out))
)";

QJsonObject parsed(const QString& path)
{
    QProcess p;
    const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    p.start(python, {"-c", kReader, path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qWarning("%s", p.readAllStandardError().constData());
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QString eventLine(const QJsonObject& e)
{
    QStringList next;
    for (const QJsonValue& v : e["next"].toArray())
        next << v.toString();
    return QStringList{e["uid"].toString(), e["summary"].toString(), e["description"].toString(),
                       e["start"].toString(), e["end"].toString(), e["allday"].toBool() ? "all day" : "timed",
                       e["rrule"].toString(), next.join(',')}
        .join(" | ");
}
} // namespace

class TestCalendar : public QObject {
    Q_OBJECT
private slots:
    void exportReadByACalendarParser()
    {
        AppFixture app;
        const QDate today(2026, 12, 10);
        Clock::setOverride([today] { return today; });
        QString answer;
        FileDialog::Request asked;
        FileDialog::setHandler([&](const FileDialog::Request& r) {
            asked = r;
            return answer;
        });
        // A name long enough to be folded, with characters of two and four bytes and every
        // character that iCalendar text escapes.
        const QString anna = QString::fromUtf8("Zoë Émile-Ünal, Jr.; the \\ \"best\" 😀 customer of the whole region");
        const int a = app.db.addPerson(anna, {{"Birthday", "1980-04-15"}, {"Breminder", 1}, {"Email1", "zoe@example.com"},
                                              {"Anniversary", "2001-06-30"}, {"Areminder", 0}});
        const int b = app.db.addPerson("Bert", {{"Birthday", "1984-02-29"}, {"Breminder", 1},
                                                {"Anniversary", "1604-12-24"}, {"Areminder", 1}});
        app.db.addPerson("Cleo", {{"Birthday", "1990-01-01"}, {"Anniversary", "1999-09-09"}}); // switches NULL
        const int gone = app.db.addPerson("Gone", {{"Birthday", "1970-05-05"}, {"Breminder", 1}});
        auto activity = [&](int person, const QVariant& fu, const QString& method, const QString& solution,
                            const QString& description, const QVariant& value, const QVariant& orderDate) {
            app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn, "
                        "FUDescription, ExpextedOrderValue, ExpectedOrderDate) VALUES (?, ?, ?, ?, ?, ?, ?)",
                        {person, fu, method, solution, description, value, orderDate});
            return app.db.scalar("SELECT MAX(ID) FROM PeopleFollowUp").toInt();
        };
        const QVariant none;
        const int visit = activity(a, "2026-12-10", "Visit", "Plan, A", "Line one\nline two", none, none);
        activity(a, "2026-12-09", "Fax", "", "", none, none); // yesterday
        const int call = activity(b, "2027-03-01T09:00:00", "", "", "", 1234567, "2027-01-05");
        activity(b, none, "", "", "", 10, "2026-12-09");                 // an order that has passed
        const int order = activity(a, none, "", "Plan B", "", 20, "2026-12-10"); // an order due today
        activity(b, none, "", "", "", none, "2027-02-02");                // a date without an order
        activity(gone, "2027-01-01", "Visit", "", "", 5, "2027-01-01");  // a person deleted since
        app.db.exec("DELETE FROM People WHERE PersonID = ?", {gone});
        QVERIFY(app.start());

        answer = app.db.dir() + "/dates.ics";
        app.main()->findChild<QAction*>("Calendarfile2")->trigger();
        QCOMPARE(asked.objectName, QString("SaveDialogCalendar"));
        QCOMPARE(asked.filter, QString("iCalendar (*.ics)"));
        QCOMPARE(asked.defaultSuffix, QString("ics"));
        QVERIFY(asked.save);
        QCOMPARE(app.messageTexts(), QStringList{"7 event(s) exported."});

        const QJsonObject cal = parsed(answer);
        QCOMPARE(cal["version"].toString(), QString("2.0"));
        QStringList events;
        for (const QJsonValue& e : cal["events"].toArray())
            events << eventLine(e.toObject());
        const QString value = QLocale().toString(1234567);
        const QStringList expected{
            QString("People-%1-birthday@vantrel | Birthday: %2 | Send a greeting: "
                    "mailto:zoe@example.com?subject=Happy%20Birthday | 1980-04-15 | 1980-04-16 | all day | "
                    "FREQ=YEARLY | 2027-04-15,2028-04-15,2029-04-15")
                .arg(a)
                .arg(anna),
            // 29 February comes back in leap years only; without an address the link still has
            // its subject.
            QString("People-%1-anniversary@vantrel | Anniversary: Bert | Send a greeting: "
                    "mailto:?subject=Happy%20Anniversary | 1604-12-24 | 1604-12-25 | all day | FREQ=YEARLY | "
                    "2027-12-24,2028-12-24,2029-12-24")
                .arg(b),
            QString("People-%1-birthday@vantrel | Birthday: Bert | Send a greeting: "
                    "mailto:?subject=Happy%20Birthday | 1984-02-29 | 1984-03-01 | all day | "
                    "BYMONTH=2;BYMONTHDAY=29;FREQ=YEARLY | 2028-02-29,2032-02-29,2036-02-29")
                .arg(b),
            QString("PeopleFollowUp-%1-followup@vantrel | Follow-up: %2 (Visit) | Offered solution: Plan, A\n"
                    "Line one\nline two | 2026-12-10 | 2026-12-11 | all day |  | ")
                .arg(visit)
                .arg(anna),
            QString("PeopleFollowUp-%1-followup@vantrel | Follow-up: Bert |  | 2027-03-01 | 2027-03-02 | all day |  | ")
                .arg(call),
            QString("PeopleFollowUp-%1-order@vantrel | Expected order: Bert, %2 |  | 2027-01-05 | 2027-01-06 | "
                    "all day |  | ")
                .arg(call)
                .arg(value),
            QString("PeopleFollowUp-%1-order@vantrel | Expected order: %2, 20 | Offered solution: Plan B | "
                    "2026-12-10 | 2026-12-11 | all day |  | ")
                .arg(order)
                .arg(anna),
        };
        // Sorted by UID as the reader prints them.
        QStringList sorted = expected;
        std::sort(sorted.begin(), sorted.end(), [](const QString& x, const QString& y) {
            return x.section(" | ", 0, 0) < y.section(" | ", 0, 0);
        });
        QCOMPARE(events.size(), 7);
        for (int i = 0; i < sorted.size(); ++i)
            QCOMPARE(events.value(i), sorted[i]);

        // As written: CR LF, no line over 75 octets, no character cut by a fold.
        QFile file(answer);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"));
        QVERIFY(bytes.endsWith("END:VCALENDAR\r\n"));
        QCOMPARE(bytes.count("RRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29\r\n"), 1);
        QCOMPARE(bytes.count("RRULE:FREQ=YEARLY\r\n"), 2);
        int folded = 0;
        for (const QByteArray& line : bytes.split('\n')) {
            if (line.isEmpty())
                continue;
            QVERIFY(line.endsWith('\r'));
            QVERIFY2(line.size() - 1 <= 75, line.constData());
            QVERIFY(!QString::fromUtf8(line).contains(QChar::ReplacementCharacter));
            folded += line.startsWith(' ');
        }
        QVERIFY(folded > 0);

        // A second export gives every event the same UID, so a calendar updates rather than doubles.
        app.messages.clear();
        answer = app.db.dir() + "/again.ics";
        app.main()->Calendarfile2Click();
        QCOMPARE(app.messageTexts(), QStringList{"7 event(s) exported."});
        QStringList first, second;
        for (const QJsonValue& e : cal["events"].toArray())
            first << e.toObject()["uid"].toString();
        for (const QJsonValue& e : parsed(answer)["events"].toArray())
            second << e.toObject()["uid"].toString();
        QCOMPARE(second, first);

        FileDialog::setHandler({});
        Clock::setOverride({});
    }
};

QTEST_MAIN(TestCalendar)
#include "tst_calendar.moc"
