#pragma once
#include <QDate>
#include <QString>
#include <QVariant>

#include <functional>
#include <vector>

class Connection;

// The reads over every person's follow-up activities at once: the expected orders summed by
// month, the activities and orders due around today, and the dated events a calendar takes.
// An activity counts under the person it was logged for; one whose person is gone counts nowhere.
namespace FollowUpQueries {

struct Sum {
    qint64 orders = 0;
    qint64 value = 0;
    void add(const Sum& other)
    {
        orders += other.orders;
        value += other.value;
    }
};

// Every activity with an expected order value, once each: by the month of its expected order
// date over the charted months, before and after them, and without a (readable) date.
struct Pipeline {
    QDate firstMonth;        // the first day of the first charted month
    std::vector<Sum> months; // one per charted month, from firstMonth on
    Sum earlier, later, undated;
    QDate month(int index) const { return firstMonth.addMonths(index); }
    int thisMonth = 0; // the charted month that holds today
    Sum total() const;
};

// From the month of the earliest order whose date has passed, at most twelve months back, through
// twelve months after today's.
Pipeline pipeline(Connection& connection, const QDate& today);

// A row of the list of what is due: an activity by its follow-up date, or an expected order by
// the date that has passed.
struct Due {
    enum class Kind { FollowUp, Order };
    Kind kind = Kind::FollowUp;
    QDate date;
    qint64 activity = 0;
    qint64 person = 0;
    QString name, contactMethod, offeredSolution;
    QVariant orderValue, orderDate; // null when not logged
};

constexpr int kDueBack = 7;      // days of follow-ups before today
constexpr int kDueAhead = 14;    // and after it
constexpr int kOrdersBack = 90;  // days of passed expected orders

// Sorted by date, then name, then as logged.
std::vector<Due> due(Connection& connection, const QDate& today);

// One dated event for a calendar.
struct CalendarEvent {
    enum class Kind { Birthday, Anniversary, FollowUp, Order };
    Kind kind = Kind::Birthday;
    qint64 key = 0; // PersonID of a birthday or anniversary, the activity's ID otherwise
    QDate date;
    QString name, email, contactMethod, offeredSolution, description;
    qint64 orderValue = 0;
};

// The birthdays and anniversaries whose reminder is on, then the follow-ups and the expected
// orders dated today or later; each handed over as it is read.
void calendarEvents(Connection& connection, const QDate& today, const std::function<void(const CalendarEvent&)>& take);

} // namespace FollowUpQueries
