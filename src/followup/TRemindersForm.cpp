#include "TRemindersForm.h"

#include "data/Dataset.h"
#include "platform/MailLink.h"
#include "platform/Platform.h"
#include "widgets/ResultGrid.h"

#include <QDateTime>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <vector>

namespace {
constexpr int kEventColumn = 3;
constexpr int kEmailColumn = 5;
constexpr int kGridWidth = 530;
constexpr int kGridHeight = 200;

// The month and day of a stored date; an unreadable value is no date.
bool fallsOn(const QVariant& stored, int todayMonth, int todayDay)
{
    QDate d;
    if (stored.metaType().id() == QMetaType::QDate)
        d = stored.toDate();
    else if (stored.metaType().id() == QMetaType::QDateTime)
        d = stored.toDateTime().date();
    if (!d.isValid())
        return false;
    int month = 0, day = 0;
    d.getDate(nullptr, &month, &day); // one calendar conversion instead of two
    return month == todayMonth && day == todayDay;
}

bool switchedOn(const QVariant& stored) { return !stored.isNull() && stored.toBool(); }
} // namespace

TRemindersForm::TRemindersForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("RemindersForm");
    setWindowTitle("Reminders Report");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    // The event column is at least as wide as its longest word.
    const int eventWidth = std::max(65, fontMetrics().horizontalAdvance("Anniversary") + 10);
    StringGrid1 = new ResultGrid({{"No.", 25}, {"Name", 125}, {"Type", 55}, {"Event", eventWidth}, {"Mobile", 80},
                                  {"Email", 150}},
                                 kEmailColumn, this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setGeometry(0, 0, kGridWidth, kGridHeight);
    connect(StringGrid1, &ResultGrid::emailReleased, this, &TRemindersForm::StringGrid1MouseUp);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(8, kGridHeight + 8, 80, 26);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(kGridWidth, kGridHeight + 42);
}

void TRemindersForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Screen::centre(this);
}

int TRemindersForm::computeReminders(const Dataset& people, QDate today)
{
    StringGrid1->prepare();
    struct Reminder {
        int row;
        bool birthday;
    };
    std::vector<Reminder> due;
    const int birthday = people.columnIndex("Birthday"), breminder = people.columnIndex("Breminder");
    const int anniversary = people.columnIndex("Anniversary"), areminder = people.columnIndex("Areminder");
    const int month = today.month(), day = today.day();
    // Only the people whose dates may fall on today are read, through the file's indexes.
    std::vector<int> candidates = people.rowsDatedOn("Birthday", "Breminder", month, day);
    const std::vector<int> anniversaries = people.rowsDatedOn("Anniversary", "Areminder", month, day);
    candidates.insert(candidates.end(), anniversaries.begin(), anniversaries.end());
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    people.prefetchRows(candidates);
    for (int r : candidates) {
        if (switchedOn(people.valueAt(r, breminder)) && fallsOn(people.valueAt(r, birthday), month, day))
            due.push_back({r, true});
        if (switchedOn(people.valueAt(r, areminder)) && fallsOn(people.valueAt(r, anniversary), month, day))
            due.push_back({r, false});
    }
    // The list keeps what it showed whatever later happens to the people: a day's few
    // reminders are copied.
    constexpr int kColumns = 6;
    const int columns[kColumns] = {-1, people.columnIndex("Name"), people.columnIndex("PersonType"), -1,
                                   people.columnIndex("Mobile"), people.columnIndex("Email1")};
    std::vector<QString> cells(due.size() * kColumns);
    for (size_t i = 0; i < due.size(); ++i)
        for (int c = 1; c < kColumns; ++c)
            cells[i * kColumns + c] = c == kEventColumn ? QString(due[i].birthday ? "Birthday" : "Anniversary")
                                                        : people.valueAt(due[i].row, columns[c]).toString();
    StringGrid1->setResults(int(due.size()), [cells = std::move(cells)](int result, int column) {
        return cells[size_t(result) * kColumns + column];
    });
    return int(due.size());
}

void TRemindersForm::StringGrid1MouseUp(int row)
{
    // The greeting follows the row's event; a row without one opens nothing.
    const QString event = StringGrid1->cellText(row, kEventColumn);
    QString subject;
    if (event == "Birthday")
        subject = "Happy Birthday";
    else if (event == "Anniversary")
        subject = "Happy Anniversary";
    else
        return;
    Desktop::open(MailLink::target(StringGrid1->cellText(row, kEmailColumn), subject));
}
