#include "support/AppFixture.h"

#include "app/Program.h"
#include "contacts/PeoplePage.h"
#include "data/MainDataModule.h"
#include "followup/TFollowUpForm.h"
#include "followup/TPipelineForm.h"
#include "widgets/DateText.h"
#include "widgets/ResultGrid.h"

#include <QAction>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include <map>

namespace {
// An activity as the test seeds it: the order's date as stored (null: none), its value (null:
// no order), and the follow-up date.
struct Seed {
    QVariant orderDate;
    QVariant value;
    QVariant followUp;
};

struct PipelineApp : AppFixture {
    QDate today;
    QStringList asked; // file dialogs' names
    QString answer;
    explicit PipelineApp(const QDate& day) : today(day)
    {
        Clock::setOverride([day] { return day; });
        FileDialog::setHandler([this](const FileDialog::Request& r) {
            asked << r.objectName;
            return answer;
        });
    }
    ~PipelineApp()
    {
        FileDialog::setHandler({});
        Clock::setOverride({});
    }
    TPipelineForm* form() const { return program->pipelineForm; }
    std::function<int(QDialog*)> other; // the windows opened from the pipeline window
    int addActivity(int person, const Seed& s, const QString& method = {}, const QString& solution = {})
    {
        db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn, "
                "ExpextedOrderValue, ExpectedOrderDate) VALUES (?, ?, ?, ?, ?, ?)",
                {person, s.followUp, method, solution, s.value, s.orderDate});
        return db.scalar("SELECT MAX(ID) FROM PeopleFollowUp").toInt();
    }
    // Opens the window by its command and runs the step while it is on the screen.
    bool open(const std::function<void(TPipelineForm*)>& step)
    {
        bool shown = false;
        modal = [&](QDialog* d) {
            auto* f = qobject_cast<TPipelineForm*>(d);
            if (!f)
                return other ? other(d) : int(QDialog::Rejected);
            shown = true;
            f->show();
            QApplication::setActiveWindow(f);
            step(f);
            f->hide();
            return int(QDialog::Rejected);
        };
        main()->PipelineClick();
        modal = {};
        return shown;
    }
};

QString month(const QDate& d) { return QLocale().toString(QDate(d.year(), d.month(), 1), "MMM yyyy"); }
QString n(qint64 v) { return QLocale().toString(v); }

QStringList tableRows(QTableWidget* t)
{
    QStringList rows;
    for (int r = 0; r < t->rowCount(); ++r)
        rows << t->item(r, 0)->text() + " | " + t->item(r, 1)->text() + " | " + t->item(r, 2)->text();
    return rows;
}

// How many times each text is drawn on the chart's scene, of those that can be seen.
std::map<QString, int> drawnTexts(QChartView* view)
{
    std::map<QString, int> texts;
    for (QGraphicsItem* item : view->scene()->items()) {
        if (!item->isVisible())
            continue;
        if (auto* t = dynamic_cast<QGraphicsTextItem*>(item))
            ++texts[t->toPlainText()];
        else if (auto* t = dynamic_cast<QGraphicsSimpleTextItem*>(item))
            ++texts[t->text()];
    }
    return texts;
}

QStringList dueRows(ResultGrid* g)
{
    QStringList rows;
    for (int r = 0; r < g->model()->rowCount(); ++r) {
        QStringList cells;
        for (int c = 1; c < g->model()->columnCount(); ++c)
            cells << g->cellText(r, c);
        rows << cells.join(" | ");
    }
    return rows;
}
} // namespace

class TestPipeline : public QObject {
    Q_OBJECT
private slots:
    void menuAndToolbar()
    {
        PipelineApp app(QDate(2026, 12, 10));
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QStringList tools, exports;
        for (QAction* a : app.main()->findChild<QMenu*>("Tools1")->actions())
            tools << a->objectName() + " " + a->text();
        for (QAction* a : app.main()->findChild<QMenu*>("Export1")->actions())
            exports << a->objectName() + " " + a->text();
        QCOMPARE(tools, (QStringList{"Filters1 &Filters...", "Followup1 F&ollow-up...", "Pipeline1 &Pipeline...",
                                  "Findduplicates1 Find &duplicates...", "TeamDatabase1 &Team database..."}));
        QCOMPARE(exports, (QStringList{"CSVfile2 &CSV file...", "VCardfile2 &vCard file...",
                                       "Calendarfile2 C&alendar file..."}));
        QToolButton* side = app.main()->People->sideToolbar.value("Image11");
        QVERIFY(side);
        QCOMPARE(side->toolTip(), QString("Sales pipeline"));
        // Below the follow-up button, above the import.
        QVERIFY(side->y() > app.main()->People->sideToolbar.value("Image5")->y());
        QVERIFY(side->y() < app.main()->People->sideToolbar.value("Image9")->y());

        // People without any expected order: said, and the window stays shut; so does the
        // menu item and the button, alike.
        bool opened = app.open([](TPipelineForm*) {});
        side->click();
        app.main()->findChild<QAction*>("Pipeline1")->trigger();
        QVERIFY(!opened);
        QCOMPARE(app.messageTexts(), QStringList(3, "No expected orders have been logged yet."));

        PipelineApp empty(QDate(2026, 12, 10));
        QVERIFY(empty.start());
        QVERIFY(!empty.open([](TPipelineForm*) {}));
        QCOMPARE(empty.messageTexts(), QStringList{"The database is empty."});
    }

    // Each case: today, the orders as logged, and what the table must show, worked out here
    // from the dates alone.
    void sumsPerMonth_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QList<Seed>>("seeds");
        using V = QVariant;
        const V none;
        // Over the turn of the year, with an overdue order nine months back, one too old for the
        // chart, one too far ahead, one without a date and one whose date cannot be read.
        QTest::newRow("year boundary") << QDate(2026, 12, 10)
                                       << QList<Seed>{{"2026-12-31", 500, none},  {"2027-01-01", 700, none},
                                                      {"2027-01-15T10:30:00", 300, none},
                                                      {"2026-03-05", 1000, none}, {"2024-01-01", 50, none},
                                                      {"2028-06-01", 80, none},   {none, 900, none},
                                                      {"soon", 40, none},         {"2027-01-01", none, none},
                                                      {"2026-12-10", 0, none}};
        // Today a leap day: orders on it, on the day before a year ago and just after.
        QTest::newRow("29 February") << QDate(2028, 2, 29)
                                     << QList<Seed>{{"2028-02-29", 250, none}, {"2027-02-28", 125, none},
                                                    {"2029-03-01", 75, none},  {"2029-02-28", 10, none},
                                                    {"2028-02-28", -20, none}};
        // Nothing overdue: the chart starts with this month.
        QTest::newRow("all ahead") << QDate(2026, 6, 15)
                                   << QList<Seed>{{"2026-06-15", 10, none}, {"2026-09-30", 20, none},
                                                  {"2027-06-30", 30, none}};
    }
    void sumsPerMonth()
    {
        QFETCH(QDate, today);
        QFETCH(QList<Seed>, seeds);
        PipelineApp app(today);
        const int anna = app.db.addPerson("Anna");
        const int gone = app.db.addPerson("Gone");
        for (const Seed& s : seeds)
            app.addActivity(anna, s);
        // An activity of a person deleted later belongs to nobody and counts nowhere.
        app.addActivity(gone, {QString("2027-01-01"), 99999, {}});
        app.db.exec("DELETE FROM People WHERE PersonID = ?", {gone});

        // The expected table, from the seeds.
        const QDate thisMonth(today.year(), today.month(), 1);
        QDate first = thisMonth;
        for (const Seed& s : seeds) {
            const QDate d = QDate::fromString(s.orderDate.toString().left(10), Qt::ISODate);
            if (!s.value.isNull() && d.isValid() && d < today && QDate(d.year(), d.month(), 1) < first)
                first = QDate(d.year(), d.month(), 1);
        }
        first = std::max(first, thisMonth.addMonths(-12));
        const QDate last = thisMonth.addMonths(12);
        std::map<QDate, std::pair<qint64, qint64>> byMonth;
        for (QDate m = first; m <= last; m = m.addMonths(1))
            byMonth[m] = {0, 0};
        std::pair<qint64, qint64> before{0, 0}, after{0, 0}, undated{0, 0}, total{0, 0};
        for (const Seed& s : seeds) {
            if (s.value.isNull())
                continue;
            const qint64 v = s.value.toLongLong();
            const QDate d = QDate::fromString(s.orderDate.toString().left(10), Qt::ISODate);
            auto& slot = !d.isValid() ? undated
                         : d < first  ? before
                         : d >= last.addMonths(1) ? after
                                                  : byMonth[QDate(d.year(), d.month(), 1)];
            slot.first += 1;
            slot.second += v;
            total.first += 1;
            total.second += v;
        }
        QStringList expected;
        if (before.first)
            expected << "Before " + month(first) + " | " + n(before.first) + " | " + n(before.second);
        for (const auto& [m, sum] : byMonth)
            expected << month(m) + " | " + n(sum.first) + " | " + n(sum.second);
        if (after.first)
            expected << "After " + month(last) + " | " + n(after.first) + " | " + n(after.second);
        expected << "No date | " + n(undated.first) + " | " + n(undated.second);
        expected << "Total | " + n(total.first) + " | " + n(total.second);

        QVERIFY(app.start());
        const bool shown = app.open([&](TPipelineForm* f) {
            QCOMPARE(tableRows(f->PipelineGrid), expected);
            QStringList titles;
            for (int c = 0; c < 3; ++c)
                titles << f->PipelineGrid->horizontalHeaderItem(c)->text();
            QCOMPARE(titles, (QStringList{"Month", "Orders", "Expected value"}));
            // The chart: the charted months alone, this month marked, each bar's figures on hover.
            QChart* chart = f->PipelineChart->chart();
            auto* series = qobject_cast<QBarSeries*>(chart->series().value(0));
            QVERIFY(series);
            QBarSet* set = series->barSets().value(0);
            QCOMPARE(set->count(), int(byMonth.size()));
            auto* axis = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Horizontal).value(0));
            QVERIFY(axis);
            QCOMPARE(axis->categories().first(), month(first));
            QCOMPARE(axis->categories().last(), month(last));
            int i = 0;
            for (const auto& [m, sum] : byMonth) {
                QCOMPARE(qint64(set->at(i)), sum.second);
                QCOMPARE(set->isBarSelected(i), m == thisMonth);
                ++i;
            }
            const int now = int(std::distance(byMonth.begin(), byMonth.find(thisMonth)));
            QCOMPARE(f->barToolTip(now), QString("%1 (this month): %2 from %3 order(s)")
                                             .arg(QLocale().toString(thisMonth, "MMMM yyyy"),
                                                  n(byMonth[thisMonth].second), n(byMonth[thisMonth].first)));
            QVERIFY(f->CountingNote->text().contains("counts once, as logged"));
        });
        QVERIFY(shown);
    }

    // Each opening reads the file again; the chart then shows that reading alone, on the screen
    // as in its picture, whatever the window's size.
    void chartOfEachOpening()
    {
        const QDate today(2026, 12, 10);
        PipelineApp app(today);
        const int anna = app.db.addPerson("Anna");
        app.addActivity(anna, {QString("2027-01-05"), 1500, {}});
        QVERIFY(app.start());
        const QStringList sizes{"800x600", "1300x900", "900x700"};
        QStringList seen;
        for (const QString& size : sizes) {
            app.addActivity(anna, {QString("2027-02-05"), 700, {}});
            const bool shown = app.open([&](TPipelineForm* f) {
                const QStringList wh = size.split('x');
                f->resize(wh[0].toInt(), wh[1].toInt());
                QChart* chart = f->PipelineChart->chart();
                QStringList axes;
                for (QAbstractAxis* a : chart->axes())
                    axes << QString("%1 %2").arg(a->orientation() == Qt::Horizontal ? "across" : "up").arg(a->type());
                const std::map<QString, int> texts = drawnTexts(f->PipelineChart);
                auto times = [&](const QString& t) { return texts.count(t) ? texts.at(t) : 0; };
                seen << QString("%1: %2 axes (%3), %4 series, title %5, value axis title %6, first month %7, "
                                "February's sum %8")
                            .arg(size)
                            .arg(axes.size())
                            .arg(axes.join(", "))
                            .arg(chart->series().size())
                            .arg(times("Expected order value by month of the expected order date"))
                            .arg(times("Expected order value"))
                            .arg(times(month(today)))
                            .arg(qobject_cast<QBarSeries*>(chart->series().value(0))->barSets().value(0)->at(2));
            });
            QVERIFY(shown);
        }
        QStringList expected;
        const QString axes =
            QString("across %1, up %2").arg(QAbstractAxis::AxisTypeBarCategory).arg(QAbstractAxis::AxisTypeCategory);
        for (int i = 0; i < sizes.size(); ++i)
            expected << QString("%1: 2 axes (%2), 1 series, title 1, value axis title 1, first month 1, "
                                "February's sum %3")
                            .arg(sizes[i], axes)
                            .arg(700 * (i + 1));
        QCOMPARE(seen, expected);
    }

    // The pointer on a bar, moved there and left to rest: its month, value and order count;
    // off the bars, nothing.
    void barFiguresOnHover()
    {
        const QDate today(2026, 12, 10);
        PipelineApp app(today);
        const int anna = app.db.addPerson("Anna");
        app.addActivity(anna, {QString("2026-12-20"), 12345, {}});
        app.addActivity(anna, {QString("2027-02-05"), 6000, {}});
        app.addActivity(anna, {QString("2027-02-25"), 4000, {}});
        QVERIFY(app.start());
        QStringList seen;
        const bool shown = app.open([&](TPipelineForm* f) {
            f->resize(1000, 700);
            QChart* chart = f->PipelineChart->chart();
            auto* series = qobject_cast<QBarSeries*>(chart->series().value(0));
            QWidget* viewport = f->PipelineChart->viewport();
            // Each place: the month's bar (-1: above the bars, in the plot) and how high on it.
            const std::vector<std::pair<int, double>> places{{0, 0.5}, {2, 0.9}, {-1, 0}, {2, 0.1}};
            for (const auto& [bar, share] : places) {
                const double height = bar < 0 ? 0 : series->barSets()[0]->at(bar) * share;
                const QPointF inChart = bar < 0 ? chart->plotArea().topLeft() + QPointF(5, 5)
                                                : chart->mapToPosition(QPointF(bar, height), series);
                const QPoint at = f->PipelineChart->mapFromScene(chart->mapToScene(inChart));
                QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(viewport, &move);
                // The rest is answered by the scene, which says whether it found a tooltip to show.
                QHelpEvent rest(QEvent::ToolTip, at, viewport->mapToGlobal(at));
                QApplication::sendEvent(viewport, &rest);
                seen << (rest.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString("none"));
            }
        });
        QVERIFY(shown);
        const QString feb =
            QString("%1: %2 from %3 order(s)").arg(QLocale().toString(QDate(2027, 2, 1), "MMMM yyyy"), n(10000), n(2));
        QCOMPARE(seen, (QStringList{QString("%1 (this month): %2 from %3 order(s)")
                                        .arg(QLocale().toString(today, "MMMM yyyy"), n(12345), n(1)),
                                    feb, "none", feb}));
    }

    void dueListSelectionAndFollowUp()
    {
        const QDate today(2027, 1, 3);
        PipelineApp app(today);
        const int anna = app.db.addPerson("Anna");
        const int bert = app.db.addPerson("Bert");
        const int cleo = app.db.addPerson("Cleo");
        auto iso = [&](int days) { return QVariant(today.addDays(days).toString(Qt::ISODate)); };
        const QVariant none;
        app.addActivity(anna, {none, none, iso(-8)});                      // too long ago
        app.addActivity(bert, {none, none, iso(-7)}, "Visit", "Plan A");   // in
        app.addActivity(cleo, {iso(20), 400, iso(14)}, "Email", "Plan B"); // in, by its follow-up
        app.addActivity(anna, {none, none, iso(15)});                      // too far ahead
        app.addActivity(anna, {iso(-1), 1200, none}, "Fax", "Plan C");     // order passed yesterday
        app.addActivity(cleo, {iso(-90), 300, none});                      // passed 90 days ago
        app.addActivity(bert, {iso(-91), 50, none});                       // longer ago
        app.addActivity(bert, {iso(0), 60, none});                         // due today: not passed
        app.addActivity(anna, {iso(-5), none, none});                      // a date without an order
        QVERIFY(app.start());
        auto date = [&](int days) { return DateText::format(today.addDays(days)); };
        QStringList expected{
            date(-90) + " | Cleo |  |  | " + n(300) + " | " + date(-90),
            date(-7) + " | Bert | Visit | Plan A |  | ",
            date(-1) + " | Anna | Fax | Plan C | " + n(1200) + " | " + date(-1),
            date(14) + " | Cleo | Email | Plan B | " + n(400) + " | " + date(20),
        };
        QString openedFor;
        const bool shown = app.open([&](TPipelineForm* f) {
            ResultGrid* due = f->DueGrid;
            QCOMPARE(dueRows(due), expected);
            QCOMPARE(f->DueLabel->text(), QString("Follow-ups due"));
            QStringList titles;
            for (int c = 0; c < due->model()->columnCount(); ++c)
                titles << due->model()->headerData(c, Qt::Horizontal).toString();
            QCOMPARE(titles, (QStringList{"No.", "Date", "Name", "Contact method", "Offered solution",
                                          "Expected order value", "Expected order date"}));
            // Selecting a row makes that person current everywhere.
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(due));
            QTest::keyClick(due, Qt::Key_Down);
            QCOMPARE(app.people()->value("Name").toString(), QString("Bert"));
            QCOMPARE(app.main()->People->NameEdit->text(), QString("Bert"));
            const QRect cell = due->visualRect(due->model()->index(2, 2));
            QTest::mouseClick(due->viewport(), Qt::LeftButton, {}, cell.center());
            QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
            // Enter, then a double click, open the follow-up window on the row's person; an
            // activity logged there shows here at once.
            app.other = [&](QDialog* d) {
                if (qobject_cast<TFollowUpForm*>(d)) {
                    openedFor += app.people()->value("Name").toString() + " ";
                    app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate) VALUES (?, ?)",
                                {app.people()->value("PersonID"), today.toString(Qt::ISODate)});
                }
                return int(QDialog::Rejected);
            };
            QTest::keyClick(due, Qt::Key_Return);
            QVERIFY(f->isVisible()); // Enter is the list's, not a button's
            QCOMPARE(due->model()->rowCount(), 5);
            const QRect last = due->visualRect(due->model()->index(4, 2));
            QTest::mouseDClick(due->viewport(), Qt::LeftButton, {}, last.center());
            QCOMPARE(due->model()->rowCount(), 6);
        });
        QVERIFY(shown);
        QCOMPARE(openedFor, QString("Anna Cleo "));
    }

    // The window's buttons as the user meets them, and the keys.
    void buttonsFocusAndKeys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("closes");
        QTest::newRow("escape") << "escape" << true;
        QTest::newRow("enter in the list") << "enter" << false;
        QTest::newRow("space in the list") << "space" << false;
        QTest::newRow("tab to the buttons, space") << "tab tab tab space" << true;
        QTest::newRow("tab to the buttons, enter") << "tab tab tab enter" << true;
    }
    void buttonsFocusAndKeys()
    {
        QFETCH(QString, keys);
        QFETCH(bool, closes);
        PipelineApp app(QDate(2026, 12, 10));
        const int anna = app.db.addPerson("Anna");
        app.addActivity(anna, {QString("2026-12-09"), 10, QString("2026-12-12")});
        QVERIFY(app.start());
        QString checks;
        bool closed = false;
        int followUps = 0;
        app.modal = [&](QDialog* d) {
            if (qobject_cast<TFollowUpForm*>(d)) {
                ++followUps;
                return int(QDialog::Rejected);
            }
            auto* f = qobject_cast<TPipelineForm*>(d);
            if (!f)
                return int(QDialog::Rejected);
            f->show();
            QApplication::setActiveWindow(f);
            QList<QPushButton*> buttons = f->findChildren<QPushButton*>();
            std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) {
                return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
            });
            QStringList order;
            for (QPushButton* b : buttons) {
                order << b->text();
                if (b->isDefault())
                    checks += "a default button; ";
            }
            if (order != QStringList{"Save picture...", "Save as CSV...", "Close"})
                checks += "order " + order.join(',') + "; ";
            if (QApplication::focusWidget() != f->DueGrid)
                checks += "focus; ";
            for (const QString& k : keys.split(' ')) {
                QWidget* w = QApplication::focusWidget();
                if (k == "escape") QTest::keyClick(w, Qt::Key_Escape);
                else if (k == "enter") QTest::keyClick(w, Qt::Key_Return);
                else if (k == "space") QTest::keyClick(w, Qt::Key_Space);
                else if (k == "tab") QTest::keyClick(w, Qt::Key_Tab);
                if (!f->isVisible())
                    break;
            }
            if (keys.startsWith("tab") && QApplication::focusWidget() != f->CloseButton && f->isVisible())
                checks += "tab order; ";
            closed = !f->isVisible();
            f->hide();
            return int(QDialog::Rejected);
        };
        app.main()->PipelineClick();
        QCOMPARE(checks, QString());
        QCOMPARE(closed, closes);
        QCOMPARE(followUps, keys == "enter" ? 1 : 0);
    }

    void savePictureAndTable()
    {

        SKIP_ON_SERVER("path, which a saved table must not write over");
        PipelineApp app(QDate(2026, 12, 10));
        const int anna = app.db.addPerson("Anna");
        app.addActivity(anna, {QString("2027-01-05"), 1234567, {}});
        app.addActivity(anna, {QVariant(), 5, {}});
        QVERIFY(app.start());
        QFile old(app.db.dir() + "/pipeline.csv");
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        const bool shown = app.open([&](TPipelineForm* f) {
            app.answer = app.db.dir() + "/chart.png";
            f->SavePictureButton->click();
            QImage picture(app.answer);
            QVERIFY(!picture.isNull());
            const QSize expected = f->PipelineChart->size() * f->PipelineChart->devicePixelRatio();
            QCOMPARE(picture.size(), expected);

            app.answer = app.db.dir() + "/pipeline.csv";
            f->SaveCsvButton->click();
            // The program's own database is never written over.
            app.answer = app.db.path();
            f->SaveCsvButton->click();
        });
        QVERIFY(shown);
        QCOMPARE(app.asked, (QStringList{"SaveDialogPicture", "SaveDialogPipelineCSV", "SaveDialogPipelineCSV"}));
        QCOMPARE(app.messages.size(), 1);
        QVERIFY(app.messages[0].text.endsWith("is the program's own database. Nothing was saved."));
        QFile csv(app.db.dir() + "/pipeline.csv");
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray bytes = csv.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF" "Month,Orders,Expected value\r\n"));
        const QList<QByteArray> lines = bytes.mid(3).split('\n');
        QCOMPARE(lines.size(), 1 + 13 + 2 + 1); // header, months, No date, Total, and after the last break
        QCOMPARE(lines[1], (month(QDate(2026, 12, 1)) + ",0,0\r").toUtf8());
        QCOMPARE(lines[2], (month(QDate(2027, 1, 1)) + ",1,1234567\r").toUtf8());
        QCOMPARE(lines[14], QByteArray("No date,1,5\r"));
        QCOMPARE(lines[15], QByteArray("Total,2,1234572\r"));
        QCOMPARE(QDir(app.db.dir()).entryList({"pipeline.csv*"}, QDir::Files | QDir::Hidden),
                 QStringList{"pipeline.csv"});
    }
};

QTEST_MAIN(TestPipeline)
#include "tst_pipeline.moc"
