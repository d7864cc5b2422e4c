#include "support/AppFixture.h"

#include "app/Program.h"
#include "data/Dataset.h"
#include "followup/TPickDateForm.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCalendarWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {
void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, k, m);
}

void click(QCalendarWidget* calendar, const char* part)
{
    auto* button = calendar->findChild<QToolButton*>(part);
    QVERIFY2(button && button->isVisible(), part);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Opens the year box in the calendar's title, as a click on the year does, and types a year.
void typeYear(QCalendarWidget* calendar, const QString& year)
{
    click(calendar, "qt_calendar_yearbutton");
    auto* edit = calendar->findChild<QSpinBox*>("qt_calendar_yearedit");
    QVERIFY(edit && edit->isVisible());
    QVERIFY(edit->hasFocus() || edit->isAncestorOf(QApplication::focusWidget()));
    key(Qt::Key_A, Qt::ControlModifier);
    for (QChar c : year)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}
} // namespace

// The date picker as the birthday button opens it: what the user does on the calendar, and the
// date that reaches the person.
class TestPickDate : public QObject {
    Q_OBJECT

    AppFixture* app = nullptr;
    TPickDateForm* picker = nullptr;
    bool leftOpen = false;

    // Opens the picker from the birthday button; `steps` runs while it is on the screen and
    // active. A picker the steps leave open is cancelled so the test can go on.
    void pickBirthday(const std::function<void(QCalendarWidget*)>& steps)
    {
        leftOpen = false;
        app->modal = [&](QDialog* d) {
            QTimer::singleShot(0, [&] {
                QCoreApplication::processEvents();
                QVERIFY(picker->isActiveWindow());
                steps(picker->MonthCalendar1);
                if (picker->isVisible()) {
                    leftOpen = true;
                    picker->done(QDialog::Rejected);
                }
            });
            return d->exec();
        };
        app->main()->Button2Click();
    }

    QDate birthday() const { return app->people()->value("Birthday").toDate(); }

private slots:
    void initTestCase() { Program::setUpApplication(); }

    void init()
    {
        app = new AppFixture;
        app->db.addPerson("Anna");
        QVERIFY(app->start());
        app->main()->activateWindow();
        picker = app->program->pickDateForm;
    }

    void cleanup()
    {
        delete app;
        app = nullptr;
    }

    void enterInTheYearBoxGivesTheTypedYear()
    {
        picker->MonthCalendar1->setSelectedDate(QDate(1990, 12, 12));
        pickBirthday([](QCalendarWidget* calendar) {
            typeYear(calendar, "1980");
            key(Qt::Key_Return);
        });
        QVERIFY(!leftOpen);
        QCOMPARE(birthday(), QDate(1980, 12, 12));
        QCOMPARE(picker->date(), QDate(1980, 12, 12));
    }

    void okWithTheYearBoxStillOpenGivesTheTypedYear()
    {
        picker->MonthCalendar1->setSelectedDate(QDate(1990, 12, 12));
        pickBirthday([&](QCalendarWidget* calendar) {
            typeYear(calendar, "1975");
            picker->Button1->click(); // OK, however it is given
        });
        QCOMPARE(birthday(), QDate(1975, 12, 12));
    }

    void escapeInTheYearBoxCancelsAndDropsTheTypedYear()
    {
        picker->MonthCalendar1->setSelectedDate(QDate(1990, 12, 12));
        pickBirthday([](QCalendarWidget* calendar) {
            typeYear(calendar, "1980");
            key(Qt::Key_Escape);
        });
        QVERIFY(!leftOpen);
        QCOMPARE(birthday(), QDate());
        QCOMPARE(app->people()->state(), DatasetState::Browse);
        QCOMPARE(picker->date(), QDate(1990, 12, 12));
        // The next use shows the year box closed and the date as it was.
        QVERIFY(!picker->MonthCalendar1->findChild<QSpinBox*>("qt_calendar_yearedit")->isVisible());
        QCOMPARE(picker->MonthCalendar1->yearShown(), 1990);
    }

    void theChosenDayMovesWithThePage_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QDate>("written");
        QTest::newRow("next month") << QDate(1980, 12, 12) << QStringList{"next"} << QDate(1981, 1, 12);
        QTest::newRow("back twice") << QDate(1980, 12, 12) << QStringList{"prior", "prior"} << QDate(1980, 10, 12);
        QTest::newRow("to a shorter month") << QDate(2001, 1, 31) << QStringList{"next"} << QDate(2001, 2, 28);
        QTest::newRow("leap day, next year") << QDate(2000, 2, 29) << QStringList{"year 2001"} << QDate(2001, 2, 28);
        QTest::newRow("year, then month") << QDate(1980, 12, 12) << QStringList{"year 1981", "prior"}
                                          << QDate(1981, 11, 12);
        QTest::newRow("page down key") << QDate(1980, 12, 31) << QStringList{"pagedown"} << QDate(1981, 1, 31);
    }
    void theChosenDayMovesWithThePage()
    {
        QFETCH(QDate, start);
        QFETCH(QStringList, moves);
        QFETCH(QDate, written);
        picker->MonthCalendar1->setSelectedDate(start);
        QDate framed;
        pickBirthday([&](QCalendarWidget* calendar) {
            for (const QString& move : moves) {
                if (move == "next")
                    click(calendar, "qt_calendar_nextmonth");
                else if (move == "prior")
                    click(calendar, "qt_calendar_prevmonth");
                else if (move == "pagedown")
                    key(Qt::Key_PageDown);
                else if (move.startsWith("year ")) {
                    typeYear(calendar, move.mid(5));
                    // Committed without leaving the picker: a click back on the days.
                    auto* days = calendar->findChild<QAbstractScrollArea*>("qt_calendar_calendarview");
                    QTest::mouseClick(days->viewport(), Qt::LeftButton, {}, QPoint(2, 2)); // the day names
                }
            }
            framed = calendar->selectedDate();
            QCOMPARE(calendar->yearShown(), framed.year());
            QCOMPARE(calendar->monthShown(), framed.month());
            key(Qt::Key_Return);
        });
        QVERIFY(!leftOpen);
        QCOMPARE(framed, written);
        QCOMPARE(birthday(), written);
    }
};

QTEST_MAIN(TestPickDate)
#include "tst_pickdate.moc"
