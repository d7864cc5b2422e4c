#include "CalendarExport.h"

#include "contacts/ExportFile.h"
#include "contacts/PeopleTransfer.h"
#include "contacts/VCard.h"
#include "data/Dataset.h"
#include "data/FollowUpQueries.h"
#include "data/MainDataModule.h"
#include "platform/ErrorDisplay.h"
#include "platform/MailLink.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>

namespace CalendarExport {
namespace {
using FollowUpQueries::CalendarEvent;
constexpr qsizetype kChunk = 1 << 20; // bytes gathered before each write
const char* const kNothingExported = "Nothing was exported.";

// YYYYMMDD, without the format parsing of QDate::toString, which costs more than the rest of an event.
QString day(const QDate& d)
{
    int year = 0, month = 0, dayOfMonth = 0;
    d.getDate(&year, &month, &dayOfMonth);
    char text[9];
    std::snprintf(text, sizeof text, "%04d%02d%02d", year % 10000, month, dayOfMonth);
    return QString::fromLatin1(text, 8);
}

// The key of the row it comes from, with the table, so it stays the same from export to export
// and differs between a person's birthday and anniversary, an activity's follow-up and order.
QString uid(const CalendarEvent& e)
{
    switch (e.kind) {
    case CalendarEvent::Kind::Birthday: return QString("People-%1-birthday@vantrel").arg(e.key);
    case CalendarEvent::Kind::Anniversary: return QString("People-%1-anniversary@vantrel").arg(e.key);
    case CalendarEvent::Kind::FollowUp: return QString("PeopleFollowUp-%1-followup@vantrel").arg(e.key);
    case CalendarEvent::Kind::Order: return QString("PeopleFollowUp-%1-order@vantrel").arg(e.key);
    }
    return {};
}

QString summary(const CalendarEvent& e)
{
    switch (e.kind) {
    case CalendarEvent::Kind::Birthday: return "Birthday: " + e.name;
    case CalendarEvent::Kind::Anniversary: return "Anniversary: " + e.name;
    case CalendarEvent::Kind::FollowUp:
        return e.contactMethod.trimmed().isEmpty() ? "Follow-up: " + e.name
                                                    : QString("Follow-up: %1 (%2)").arg(e.name, e.contactMethod);
    case CalendarEvent::Kind::Order:
        return QString("Expected order: %1, %2").arg(e.name, QLocale().toString(e.orderValue));
    }
    return {};
}

QString description(const CalendarEvent& e)
{
    switch (e.kind) {
    case CalendarEvent::Kind::Birthday:
        return "Send a greeting: " + MailLink::target(e.email, "Happy Birthday");
    case CalendarEvent::Kind::Anniversary:
        return "Send a greeting: " + MailLink::target(e.email, "Happy Anniversary");
    case CalendarEvent::Kind::FollowUp: {
        QStringList parts;
        if (!e.offeredSolution.isEmpty())
            parts << "Offered solution: " + e.offeredSolution;
        if (!e.description.isEmpty())
            parts << e.description;
        return parts.join('\n');
    }
    case CalendarEvent::Kind::Order:
        return e.offeredSolution.isEmpty() ? QString() : "Offered solution: " + e.offeredSolution;
    }
    return {};
}

// One event's lines. They go through the vCard writer, whose folding (75 octets, never inside a
// character) and text escaping are those of iCalendar as well.
void appendEvent(VCard::Writer& w, const CalendarEvent& e, const QString& stamp)
{
    w.property("BEGIN", "VEVENT");
    w.property("UID", uid(e));
    w.property("DTSTAMP", stamp);
    w.property("DTSTART;VALUE=DATE", day(e.date));
    w.property("DTEND;VALUE=DATE", day(e.date.addDays(1)));
    const bool yearly = e.kind == CalendarEvent::Kind::Birthday || e.kind == CalendarEvent::Kind::Anniversary;
    if (yearly) {
        // A 29 February comes back on 29 February only, as the reminders find it: in leap years.
        w.property("RRULE", e.date.month() == 2 && e.date.day() == 29 ? "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29"
                                                                       : "FREQ=YEARLY");
    }
    w.property("SUMMARY", VCard::escape(summary(e)));
    w.property("DESCRIPTION", VCard::escape(description(e)));
    w.property("TRANSP", "TRANSPARENT"); // a reminder, not time taken
    w.property("END", "VEVENT");
}

void write(QWidget* parent, TMainDataModule& data, const QString& path)
{
    if (ExportFile::isDatabase(path, data.MainADOConnection.databasePath())) {
        MessageBox::show(MessageBox::Icon::Error, QString("The file %1 is the program's own database. Nothing was "
                                                          "exported.")
                                                      .arg(QDir::toNativeSeparators(path)));
        return;
    }
    ExportFile file(path);
    if (!file.open()) {
        MessageBox::show(MessageBox::Icon::Error, file.cannotWrite(kNothingExported));
        return;
    }
    PeopleTransfer::Progress progress(parent, "ExportProgress", "Export",
                                      "Exporting dates to " + QFileInfo(path).fileName());
    const QDate today = Clock::today();
    const QString stamp = QDateTime::currentDateTimeUtc().toString("yyyyMMdd'T'HHmmss'Z'");
    VCard::Writer writer;
    QByteArray& out = writer.bytes();
    out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Vantrel//Vantrel 1.0//EN\r\nCALSCALE:GREGORIAN\r\n"
          "METHOD:PUBLISH\r\nX-WR-CALNAME:Vantrel\r\n";
    out.reserve(kChunk + kChunk / 4);
    struct Stop {}; // ends the walk: cancelled, or the file refused a write
    bool written = true;
    qint64 count = 0;
    try {
        FollowUpQueries::calendarEvents(data.MainADOConnection, today, [&](const CalendarEvent& e) {
            appendEvent(writer, e, stamp);
            ++count;
            if (out.size() >= kChunk && !(written = file.write(out)))
                throw Stop{};
            // The events come without a known count: the bar shows that the work goes on.
            if ((count & 1023) == 0
                && progress.stepTo(int(count / 1024 % PeopleTransfer::Progress::kSteps),
                                   [count] {
                                       return QString("%1 event(s) written so far.").arg(QLocale().toString(count));
                                   }))
                throw Stop{};
        });
    } catch (const Stop&) {
        if (written) {
            progress.close();
            file.cancel(); // the file stays as it was, or is not made
            return;
        }
    }
    out += "END:VCALENDAR\r\n";
    written = written && file.write(out);
    progress.closing(QString("%1 event(s) written. Closing the file...").arg(QLocale().toString(count)));
    const bool committed = written && file.commit();
    progress.close();
    if (!committed) {
        MessageBox::show(MessageBox::Icon::Error, file.cannotWrite(kNothingExported));
        return;
    }
    if (count == 0)
        MessageBox::show(MessageBox::Icon::Information,
                         "0 event(s) exported: no birthday or anniversary has its reminder on, and no follow-up or "
                         "expected order is dated today or later.");
    else
        MessageBox::show(MessageBox::Icon::Information,
                         QString("%1 event(s) exported.").arg(QLocale().toString(count)));
}
} // namespace

void run(QWidget* parent, TMainDataModule& data)
{
    if (!ExportFile::peopleOnFile(data))
        return;
    FileDialog::Request ask;
    ask.save = true;
    ask.objectName = "SaveDialogCalendar";
    ask.caption = "Export dates to a calendar file";
    ask.filter = "iCalendar (*.ics)";
    ask.defaultSuffix = "ics";
    const QString path = FileDialog::ask(parent, ask);
    if (path.isEmpty())
        return;
    runCommand([&] { write(parent, data, path); });
}

} // namespace CalendarExport
