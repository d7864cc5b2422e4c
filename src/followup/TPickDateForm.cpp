#include "TPickDateForm.h"

#include "platform/Platform.h"

#include <QCalendarWidget>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TPickDateForm::TPickDateForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("PickDateForm");
    setWindowTitle("Pick Date");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    auto* layout = new QVBoxLayout(this);
    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::StyledPanel);
    bevel->setFrameShadow(QFrame::Raised);
    auto* inner = new QVBoxLayout(bevel);
    MonthCalendar1 = new QCalendarWidget(bevel);
    MonthCalendar1->setObjectName("MonthCalendar1");
    MonthCalendar1->setSelectionMode(QCalendarWidget::SingleSelection);
    MonthCalendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    inner->addWidget(MonthCalendar1);
    layout->addWidget(bevel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    Button1 = new QPushButton("OK", this);
    Button1->setObjectName("Button1");
    Button2 = new QPushButton("Cancel", this);
    Button2->setObjectName("Button2");
    for (QPushButton* b : {Button1, Button2}) {
        b->setCursor(Qt::PointingHandCursor);
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
    }
    Button1->setDefault(true);
    layout->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    // A double click selects the day like a single click and leaves the dialog open.
    connect(MonthCalendar1, &QCalendarWidget::activated, this, &TPickDateForm::MonthCalendar1DblClick);
    // The chosen day moves with the page (arrows, month menu, year box), so the date that OK
    // writes is the one framed on the page: the same day of the new month, or its last day.
    connect(MonthCalendar1, &QCalendarWidget::currentPageChanged, this, [this](int year, int month) {
        const QDate chosen = MonthCalendar1->selectedDate();
        const QDate first(year, month, 1);
        MonthCalendar1->setSelectedDate(QDate(year, month, qMin(chosen.day(), first.daysInMonth())));
    });
    setFixedSize(sizeHint());
    // The calendar is the only control that takes the focus, and it keeps Enter and Escape for
    // itself: catch them on the way so OK and Cancel answer from the keyboard.
    MonthCalendar1->installEventFilter(this);
    for (QWidget* w : MonthCalendar1->findChildren<QWidget*>())
        if (!qobject_cast<QMenu*>(w))
            w->installEventFilter(this);
    FormCreate();
}

bool TPickDateForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool escape = key->key() == Qt::Key_Escape;
        if ((enter || escape) && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (enter)
                Button1->click(); // takes a year being typed first
            else
                Button2->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QSpinBox* TPickDateForm::openYearEdit() const
{
    for (QSpinBox* year : MonthCalendar1->findChildren<QSpinBox*>())
        if (year->isVisible())
            return year;
    return nullptr;
}

void TPickDateForm::accept()
{
    // A year typed into the calendar's title counts as soon as OK is given, by key or mouse.
    if (QSpinBox* year = openYearEdit()) {
        year->interpretText();
        emit year->editingFinished();
    }
    QDialog::accept();
}

void TPickDateForm::reject()
{
    // A year typed but not confirmed is dropped, so it does not carry over to the next use.
    if (QSpinBox* year = openYearEdit()) {
        year->setValue(MonthCalendar1->yearShown());
        emit year->editingFinished();
    }
    QDialog::reject();
}

void TPickDateForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Screen::centre(this);
}

void TPickDateForm::FormCreate() { MonthCalendar1->setSelectedDate(Clock::today()); }

void TPickDateForm::MonthCalendar1DblClick() {}

QDate TPickDateForm::date() const { return MonthCalendar1->selectedDate(); }
