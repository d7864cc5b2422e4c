#include "FollowUpQueries.h"

#include "Column.h"
#include "Connection.h"
#include "RowReader.h"

#include <algorithm>

namespace FollowUpQueries {
namespace {
constexpr int kMonthsBack = 12;
constexpr int kMonthsAhead = 12;

// Activities count under a person still on file; those of a deleted person stay in the table
// (deleting a person removes the People row alone) but belong to nobody.
const char* const kActivities = " FROM \"PeopleFollowUp\" f JOIN \"People\" p ON p.\"PersonID\" = f.\"PersonID\" ";

QDate dateOf(const QVariant& v)
{
    if (v.metaType().id() == QMetaType::QDate)
        return v.toDate();
    if (v.metaType().id() == QMetaType::QDateTime)
        return v.toDateTime().date();
    return {};
}

// The day as stored, when it is one: the date columns hold ISO dates, perhaps with a time.
QDate storedDay(QStringView text)
{
    return text.size() == 10 ? QDate::fromString(text.toString(), Qt::ISODate) : QDate();
}

QDate monthOf(const QDate& d) { return QDate(d.year(), d.month(), 1); }

int monthsBetween(const QDate& from, const QDate& to)
{
    return (to.year() - from.year()) * 12 + (to.month() - from.month());
}

QString text(const RowReader& r, int column) { return r.isNull(column) ? QString() : r.text(column).toString(); }
} // namespace

Sum Pipeline::total() const
{
    Sum all = earlier;
    for (const Sum& m : months)
        all.add(m);
    all.add(later);
    all.add(undated);
    return all;
}

Pipeline pipeline(Connection& connection, const QDate& today)
{
    // Summed by day in the database, so that only a few thousand groups come over; each day is
    // then checked as a real date and put in its month.
    RowReader r(connection,
                QString("SELECT substr(f.\"ExpectedOrderDate\", 1, 10), count(*), sum(f.\"ExpextedOrderValue\")")
                    + kActivities + "WHERE f.\"ExpextedOrderValue\" IS NOT NULL GROUP BY 1",
                {});
    struct Day {
        QDate date;
        Sum sum;
    };
    std::vector<Day> days;
    Pipeline p;
    while (r.next()) {
        const Sum sum{r.integer(1), r.integer(2)};
        const QDate date = r.isNull(0) ? QDate() : storedDay(r.text(0));
        if (date.isValid())
            days.push_back({date, sum});
        else
            p.undated.add(sum);
    }
    const QDate now = monthOf(today);
    QDate first = now;
    for (const Day& d : days)
        if (d.date < today && monthOf(d.date) < first)
            first = monthOf(d.date);
    p.firstMonth = std::max(first, now.addMonths(-kMonthsBack));
    p.thisMonth = monthsBetween(p.firstMonth, now);
    p.months.resize(size_t(p.thisMonth + kMonthsAhead + 1));
    for (const Day& d : days) {
        const int at = monthsBetween(p.firstMonth, d.date);
        if (at < 0)
            p.earlier.add(d.sum);
        else if (at >= int(p.months.size()))
            p.later.add(d.sum);
        else
            p.months[size_t(at)].add(d.sum);
    }
    return p;
}

std::vector<Due> due(Connection& connection, const QDate& today)
{
    const QDate from = today.addDays(-kDueBack), to = today.addDays(kDueAhead);
    const QDate ordersFrom = today.addDays(-kOrdersBack), ordersTo = today.addDays(-1);
    // One read of the activities; one that is due both ways gives a row for each.
    RowReader r(connection,
                QString("SELECT f.\"ID\", f.\"PersonID\", p.\"Name\", f.\"ContactMethod\", f.\"ProductsInterestedIn\", "
                        "f.\"ExpextedOrderValue\", f.\"ExpectedOrderDate\", f.\"FUDate\"")
                    + kActivities
                    + "WHERE (f.\"FUDate\" >= ?1 AND f.\"FUDate\" < ?2) OR (f.\"ExpectedOrderDate\" >= ?3 "
                      "AND f.\"ExpectedOrderDate\" < ?4 AND f.\"ExpextedOrderValue\" IS NOT NULL)",
                // Half-open ranges of the stored text, so that the indexes on both dates find the
                // rows, a date with a time of day included.
                {from, to.addDays(1), ordersFrom, ordersTo.addDays(1)});
    std::vector<Due> rows;
    while (r.next()) {
        Due d;
        d.activity = r.integer(0);
        d.person = r.integer(1);
        d.name = text(r, 2);
        d.contactMethod = text(r, 3);
        d.offeredSolution = text(r, 4);
        d.orderValue = r.value(5, ColumnType::Integer);
        d.orderDate = r.value(6, ColumnType::Date);
        // Text that only looks like a date in range is no date.
        const QDate followUp = dateOf(r.value(7, ColumnType::Date));
        const QDate order = dateOf(d.orderDate);
        if (followUp.isValid() && followUp >= from && followUp <= to) {
            d.kind = Due::Kind::FollowUp;
            d.date = followUp;
            rows.push_back(d);
        }
        if (!d.orderValue.isNull() && order.isValid() && order >= ordersFrom && order <= ordersTo) {
            d.kind = Due::Kind::Order;
            d.date = order;
            rows.push_back(std::move(d));
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Due& a, const Due& b) {
        if (a.date != b.date)
            return a.date < b.date;
        const int byName = a.name.compare(b.name, Qt::CaseInsensitive);
        if (byName != 0)
            return byName < 0;
        return a.activity < b.activity;
    });
    return rows;
}

void calendarEvents(Connection& connection, const QDate& today, const std::function<void(const CalendarEvent&)>& take)
{
    {
        // The reminders' own rule: a switch that is not on (off or NULL) gives no reminder.
        RowReader r(connection,
                    "SELECT \"PersonID\", \"Name\", \"Email1\", \"Birthday\", \"Breminder\", \"Anniversary\", "
                    "\"Areminder\" FROM \"People\" WHERE (\"Breminder\" <> 0 AND \"Birthday\" IS NOT NULL) "
                    "OR (\"Areminder\" <> 0 AND \"Anniversary\" IS NOT NULL) ORDER BY \"PersonID\"",
                    {});
        CalendarEvent e;
        while (r.next()) {
            e.key = r.integer(0);
            e.name = text(r, 1);
            e.email = text(r, 2);
            for (const auto& [kind, dateColumn, switchColumn] :
                 {std::tuple{CalendarEvent::Kind::Birthday, 3, 4}, std::tuple{CalendarEvent::Kind::Anniversary, 5, 6}}) {
                if (r.isNull(switchColumn) || r.integer(switchColumn) == 0)
                    continue;
                e.kind = kind;
                e.date = dateOf(r.value(dateColumn, ColumnType::Date));
                if (e.date.isValid())
                    take(e);
            }
        }
    }
    const QString from = today.toString(Qt::ISODate);
    const QString columns = "SELECT f.\"ID\", p.\"Name\", f.\"ContactMethod\", f.\"ProductsInterestedIn\", "
                            "f.\"FUDescription\", f.\"ExpextedOrderValue\", ";
    struct Part {
        CalendarEvent::Kind kind;
        QString sql;
    };
    const Part parts[] = {
        {CalendarEvent::Kind::FollowUp,
         columns + "f.\"FUDate\"" + kActivities + "WHERE f.\"FUDate\" >= ?1"},
        {CalendarEvent::Kind::Order, columns + "f.\"ExpectedOrderDate\"" + kActivities
                                         + "WHERE f.\"ExpextedOrderValue\" IS NOT NULL AND f.\"ExpectedOrderDate\" >= ?1"},
    };
    for (const Part& part : parts) {
        RowReader r(connection, part.sql, {from});
        CalendarEvent e;
        e.kind = part.kind;
        while (r.next()) {
            e.date = dateOf(r.value(6, ColumnType::Date));
            if (!e.date.isValid() || e.date < today)
                continue;
            e.key = r.integer(0);
            e.name = text(r, 1);
            e.contactMethod = text(r, 2);
            e.offeredSolution = text(r, 3);
            e.description = text(r, 4);
            e.orderValue = r.integer(5);
            take(e);
        }
    }
}

} // namespace FollowUpQueries
