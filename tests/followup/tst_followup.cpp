#include "support/AppFixture.h"

#include "app/Program.h"
#include "contacts/PeoplePage.h"
#include "data/MainDataModule.h"
#include "followup/TFollowUpForm.h"
#include "followup/TPickDateForm.h"
#include "storage/sqlite/SqliteStore.h"
#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"
#include "widgets/DateText.h"
#include "widgets/DatasetModel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QKeySequence>
#include <QSqlDriver>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>

#include <sqlite3.h>

using Button = MessageBox::Button;

namespace {
// Runs the step on the next modal window for which it returns true, once that window is the
// active one, as the user meets it; the real dialogs run their own event loops, so the step is
// driven from inside them.
void whenModal(const std::function<bool(QWidget*)>& step)
{
    auto* timer = new QTimer;
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, step] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !timer->isActive() || QApplication::activeWindow() != w)
            return;
        timer->stop();
        if (step(w))
            timer->deleteLater();
        else
            timer->start();
    });
    timer->start();
}

QString plain(QString text) { return text.remove('&'); }

// A dialog's push buttons as they stand on the screen, left to right.
QList<QAbstractButton*> buttonsOnScreen(QWidget* dialog)
{
    QList<QAbstractButton*> buttons;
    for (QAbstractButton* b : dialog->findChildren<QPushButton*>())
        if (b->isVisible())
            buttons << b;
    std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) {
        return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
    });
    return buttons;
}

QStringList captions(const QList<QAbstractButton*>& buttons)
{
    QStringList texts;
    for (QAbstractButton* b : buttons)
        texts << plain(b->text());
    return texts;
}

void sendKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

void type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }

// Counts the real message boxes as they come up, each with its caption and texts, and answers
// every one with Enter, sent to what has the keyboard focus in it. A box that another one's
// event loop brings up is counted and answered as well.
class BoxWatcher : public QObject {
public:
    explicit BoxWatcher(QWidget* window) : m_window(window)
    {
        qApp->installEventFilter(this);
        m_timer.setInterval(0);
        connect(&m_timer, &QTimer::timeout, this, &BoxWatcher::answer);
        m_timer.start();
    }
    ~BoxWatcher() override { qApp->removeEventFilter(this); }
    QStringList shown; // caption: texts, one entry per box shown

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* w = qobject_cast<QDialog*>(watched);
        if (event->type() == QEvent::Show && w && w->isWindow() && isBox(w)) {
            QStringList texts;
            for (QLabel* l : w->findChildren<QLabel*>())
                if (!l->text().isEmpty())
                    texts << l->text();
            shown << w->windowTitle() + ": " + texts.join(' ');
        }
        return false;
    }

private:
    bool isBox(QWidget* w) const { return w != m_window && !qobject_cast<TPickDateForm*>(w); }
    void answer()
    {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !isBox(box) || !box->isVisible())
            return;
        if (QApplication::activeWindow() != box) {
            // When a box closes, the window system hands the activation back to the one below
            // it; the offscreen platform leaves that to us.
            QApplication::setActiveWindow(box);
            return;
        }
        QWidget* focus = QApplication::focusWidget();
        if (focus && box->isAncestorOf(focus))
            QTest::keyClick(focus, Qt::Key_Return);
    }

    QWidget* m_window;
    QTimer m_timer;
};
} // namespace

class TestFollowUp : public QObject {
    Q_OBJECT

    // The picker's answer for the next uses, and how often it was asked.
    bool m_pickOk = false;
    QDate m_pick;
    int m_picks = 0;
    bool m_closed = false;

    static TFollowUpForm* form(AppFixture& app) { return app.program->followUpForm; }
    static int column(const QString& field)
    {
        static const QStringList fields{"FUDate", "ContactMethod", "ProductsInterestedIn", "ExpextedOrderValue",
                                        "ExpectedOrderDate", "FUDescription"};
        return int(fields.indexOf(field));
    }

    // Opens the window as the command does, with the test answering the date picker, and runs
    // the step while it is shown; then closes it as its close box does.
    void open(AppFixture& app, const std::function<void(TFollowUpForm*)>& step)
    {
        m_closed = false;
        app.modal = [&, step](QDialog* d) {
            if (auto* picker = qobject_cast<TPickDateForm*>(d)) {
                ++m_picks;
                if (m_pickOk)
                    picker->MonthCalendar1->setSelectedDate(m_pick);
                return int(m_pickOk ? QDialog::Accepted : QDialog::Rejected);
            }
            d->show();
            d->activateWindow();
            QCoreApplication::processEvents(); // the window system's activation comes in first
            QApplication::setActiveWindow(d);
            step(static_cast<TFollowUpForm*>(d));
            if (d->isVisible())
                d->close();
            m_closed = !d->isVisible();
            d->hide();
            return int(QDialog::Rejected);
        };
        app.main()->BitBtn7Click();
        app.modal = {};
    }

    // Puts the keyboard focus into a cell of the activities grid, as a click does.
    static QWidget* focusCell(TFollowUpForm* f, int row, const QString& field)
    {
        DBGrid* grid = f->DBGrid1;
        grid->setFocus(Qt::MouseFocusReason);
        grid->setCurrentIndex(grid->model()->index(row, column(field)));
        grid->showCellEditor();
        return grid->cellEditor();
    }

    static void clickPerson(TFollowUpForm* f, int row)
    {
        DBGrid* people = f->DBGridFollowUp;
        const QRect cell = people->visualRect(people->model()->index(row, 1));
        QTest::mouseClick(people->viewport(), Qt::LeftButton, {}, cell.center());
    }

    static QString cell(DBGrid* grid, int row, const QString& field)
    {
        return grid->model()->index(row, column(field)).data().toString();
    }

private slots:
    void cleanup()
    {
        m_pickOk = false;
        m_picks = 0;
    }

    void emptyDatabaseSaysSo()
    {
        AppFixture app;
        QVERIFY(app.start());
        bool shown = false;
        app.modal = [&](QDialog*) { shown = true; return 0; };
        app.main()->findChild<QAction*>("Followup1")->trigger();
        QCOMPARE(app.messageTexts(), QStringList{"The database is empty."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Information);
        QVERIFY(!shown);
    }

    void opensOnTheCurrentPersonAfterSavingIt()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        const int bob = app.db.addPerson("Bob", {{"Title", "Mr."}, {"Income", "30,000 - 39,999"}});
        app.db.addPerson("Carla");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod) VALUES (?, '2024-05-02', 'Visit'), "
                    "(?, '2024-01-15', 'Fax')",
                    {bob, bob});
        QVERIFY(app.start());
        app.main()->SpeedButton9Click();
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "555"); // pending, saved by the command
        open(app, [&](TFollowUpForm* f) {
            QCOMPARE(f->windowTitle(), QString("Follow-up Activities"));
            QCOMPARE(f->minimumSize(), f->maximumSize());
            QVERIFY(!(f->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            QCOMPARE(app.db.scalar("SELECT Mobile FROM People WHERE Name = 'Bob'").toString(), QString("555"));

            DBGrid* people = f->DBGridFollowUp;
            QCOMPARE(people->currentIndex().row(), 1);
            QCOMPARE(people->selectionModel()->selectedRows(), (QModelIndexList{people->model()->index(1, 0)}));
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(people));
            QStringList titles;
            QList<int> widths;
            for (int c = 0; c < people->model()->columnCount(); ++c) {
                titles << people->model()->headerData(c, Qt::Horizontal).toString();
                widths << people->columnWidth(c);
            }
            QCOMPARE(titles, (QStringList{"Title", "Name", "Gender", "Type", "Importance", "Language(s)", "Education",
                                          "Profession", "Company", "Job title", "Income"}));
            QCOMPARE(widths, (QList<int>{30, 100, 40, 55, 60, 65, 55, 55, 100, 55, 117}));
            QCOMPARE(people->model()->index(1, 0).data().toString(), QString("Mr."));
            QCOMPARE(people->model()->index(1, 10).data().toString(), QString("30,000 - 39,999"));
            QCOMPARE(people->editTriggers(), QAbstractItemView::NoEditTriggers);

            QCOMPARE(f->Label1->text(), QString("Follow-up activities, history, and milestones"));
            QVERIFY(f->Label1->font().bold());

            DBGrid* acts = f->DBGrid1;
            titles.clear();
            widths.clear();
            for (int c = 0; c < acts->model()->columnCount(); ++c) {
                titles << acts->model()->headerData(c, Qt::Horizontal).toString();
                widths << acts->columnWidth(c);
            }
            QCOMPARE(titles, (QStringList{"Follow-up date", "Contact method", "Offered solution",
                                          "Expected order value", "Expected order date", "Description"}));
            QCOMPARE(widths, (QList<int>{80, 80, 105, 110, 110, 252}));
            // Bob's activities, by date.
            QCOMPARE(acts->model()->rowCount(), 2);
            QCOMPARE(cell(acts, 0, "ContactMethod"), QString("Fax"));
            QCOMPARE(cell(acts, 0, "FUDate"), DateText::format(QDate(2024, 1, 15)));

            QStringList hints;
            QList<QToolButton*> buttons = f->DBNavigator1->findChildren<QToolButton*>();
            std::sort(buttons.begin(), buttons.end(), [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
            for (QToolButton* b : buttons) {
                hints << b->toolTip();
                QVERIFY2(!b->icon().pixmap(16, 16).isNull(), qPrintable(b->toolTip())); // its picture is built in
            }
            QCOMPARE(hints, (QStringList{"First record", "Prior record", "Next record", "Last record", "Insert record",
                                         "Delete record", "Post edit", "Cancel edit", "Refresh data"}));
            QVERIFY(buttons[0]->autoRaise());

            // The keyboard visits the two lists only, and in the lower one lands in a cell editor.
            sendKey(Qt::Key_Tab);
            QVERIFY(acts->isAncestorOf(QApplication::focusWidget()));
            QCOMPARE(QApplication::focusWidget(), acts->cellEditor());
            QCOMPARE(acts->currentIndex(), acts->model()->index(0, 0));
            // Tab goes from cell to cell, and past the last one on to the list: no trap, no wrapping.
            sendKey(Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(people));
            focusCell(f, 1, "FUDescription");
            sendKey(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(people));
            QCOMPARE(acts->currentIndex(), acts->model()->index(1, 5));
        });
        QVERIFY(m_closed);
    }

    void pickedDateStartsAnActivitySavedOnClose()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        QVERIFY(app.start());
        m_pickOk = true;
        open(app, [&](TFollowUpForm* f) {
            QCOMPARE(f->DBGrid1->model()->rowCount(), 1); // the blank row to start in
            QVERIFY(f->FollowUp->isEmpty());
            focusCell(f, 0, "FUDate");
            auto* dots = f->DBGrid1->cellEditor()->findChild<QToolButton*>("EditButton");
            QVERIFY(dots && dots->isVisible());
            m_pick = QDate(2024, 3, 5);
            QTest::mouseClick(dots, Qt::LeftButton);
            QCOMPARE(m_picks, 1);
            QCOMPARE(f->FollowUp->state(), DatasetState::Insert);
            QCOMPARE(f->FollowUp->value("FUDate").toDate(), m_pick);
            QCOMPARE(f->FollowUp->value("PersonID").toInt(), anna);
            QCOMPARE(static_cast<QLineEdit*>(f->DBGrid1->cellEditor())->text(), DateText::format(m_pick));
            QCOMPARE(app.db.count("PeopleFollowUp"), 0); // the button does not save

            focusCell(f, 0, "ExpectedOrderDate");
            m_pick = QDate(2024, 6, 30);
            f->DBGrid1->clickEditButton();
            QCOMPARE(f->FollowUp->value("ExpectedOrderDate").toDate(), m_pick);
            focusCell(f, 0, "FUDescription"); // not a date column: no picker
            f->DBGrid1EditButtonClick();
            QCOMPARE(m_picks, 2);
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.count("PeopleFollowUp"), 1);
        QCOMPARE(app.db.scalar("SELECT PersonID || ' ' || FUDate || ' ' || ExpectedOrderDate FROM PeopleFollowUp").toString(),
                 QString("%1 2024-03-05 2024-06-30").arg(anna));
    }

    void cancelledPickerChangesNothing()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate) VALUES (?, '2024-01-10')", {anna});
        QVERIFY(app.start());
        open(app, [&](TFollowUpForm* f) {
            focusCell(f, 0, "FUDate");
            type("half typed");
            f->DBGrid1->clickEditButton();
            QCOMPARE(m_picks, 1);
            QCOMPARE(f->FollowUp->value("FUDate").toDate(), QDate(2024, 1, 10));
            QCOMPARE(static_cast<QLineEdit*>(QApplication::focusWidget())->text(), QString("half typed"));
            // Escape takes back the typing, a second one the row's pending changes.
            sendKey(Qt::Key_Escape);
            sendKey(Qt::Key_Escape);
            QCOMPARE(f->FollowUp->state(), DatasetState::Browse);

            clickPerson(f, 1); // Bob has no activity: a cancelled pick starts none
            focusCell(f, 0, "FUDate");
            f->DBGrid1->clickEditButton();
            QVERIFY(f->FollowUp->isEmpty());
            QVERIFY(!f->FollowUp->isEditing());
            f->DBNavigator1->click(DBNavigator::Button::Insert); // left untouched: closing drops it
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.count("PeopleFollowUp"), 1);
        QCOMPARE(app.db.scalar("SELECT FUDate FROM PeopleFollowUp").toString(), QString("2024-01-10"));
    }

    void switchingPersonMidTypingSavesUnderTheRightPerson()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        const int bob = app.db.addPerson("Bob");
        app.db.addPerson("Carla");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, ProductsInterestedIn) VALUES (?, 'Old offer')", {bob});
        QVERIFY(app.start());
        app.main()->People->Memo2->setPlainText("description of the method");
        open(app, [&](TFollowUpForm* f) {
            focusCell(f, 0, "ProductsInterestedIn");
            type("Solar panels");
            clickPerson(f, 1);
            QCOMPARE(app.db.scalar("SELECT PersonID FROM PeopleFollowUp WHERE ProductsInterestedIn = 'Solar panels'").toInt(),
                     anna);
            QCOMPARE(f->DBGrid1->model()->rowCount(), 1);
            QCOMPARE(cell(f->DBGrid1, 0, "ProductsInterestedIn"), QString("Old offer"));
            // Current everywhere, but the method's description is refreshed only by its own commands.
            QCOMPARE(app.find<QLineEdit>("Name")->text(), QString("Bob"));
            QCOMPARE(app.main()->People->Memo2->toPlainText(), QString("description of the method"));

            // Down in the list moves to the next person; the activities follow.
            sendKey(Qt::Key_Down);
            QCOMPARE(app.people()->value("Name").toString(), QString("Carla"));
            QCOMPARE(f->DBGrid1->model()->rowCount(), 1);
            QVERIFY(f->FollowUp->isEmpty());
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.count("PeopleFollowUp"), 2);
        QCOMPARE(app.people()->value("Name").toString(), QString("Carla")); // stays current after closing
    }

    void contactMethodOffersSixAndKeepsTypedTextCutAtTen()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        open(app, [&](TFollowUpForm* f) {
            auto* combo = qobject_cast<QComboBox*>(focusCell(f, 0, "ContactMethod"));
            QVERIFY(combo);
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i);
            QCOMPARE(items, (QStringList{"Visit", "Telephone", "Fax", "Email", "SMS", "Other"}));
            QCOMPARE(combo->maxVisibleItems(), 6);
            type("Carrier pigeon");
            QCOMPARE(combo->currentText(), QString("Carrier pi"));
            sendKey(Qt::Key_Tab);
            QCOMPARE(f->FollowUp->value("ContactMethod").toString(), QString("Carrier pi"));
            QTest::mouseClick(f->DBNavigator1->button(DBNavigator::Button::Post), Qt::LeftButton);
            QCOMPARE(app.db.scalar("SELECT ContactMethod FROM PeopleFollowUp").toString(), QString("Carrier pi"));

            // Picking from the drop-down.
            combo = qobject_cast<QComboBox*>(focusCell(f, 0, "ContactMethod"));
            combo->showPopup();
            QAbstractItemView* list = combo->view();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(4, 0)).center());
            QCOMPARE(combo->currentText(), QString("SMS"));
            QCOMPARE(f->FollowUp->state(), DatasetState::Edit);
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.scalar("SELECT ContactMethod FROM PeopleFollowUp").toString(), QString("SMS"));
    }

    void deleteAsksThenDeletesAtOnce()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDescription) VALUES (?, 'one'), (?, 'two')", {anna, anna});
        QVERIFY(app.start());
        open(app, [&](TFollowUpForm* f) {
            app.answers = {Button::Cancel};
            QTest::mouseClick(f->DBNavigator1->button(DBNavigator::Button::Delete), Qt::LeftButton);
            QCOMPARE(app.messages.size(), 1);
            const MessageBox::Request& ask = app.messages[0];
            QCOMPARE(ask.text, QString("Delete record?"));
            QCOMPARE(ask.buttons, (QList<Button>{Button::Ok, Button::Cancel}));
            QCOMPARE(ask.defaultButton, Button::Ok);
            QCOMPARE(ask.escapeButton, Button::Cancel);
            QCOMPARE(app.db.count("PeopleFollowUp"), 2);

            app.answers = {Button::Ok};
            QTest::mouseClick(f->DBNavigator1->button(DBNavigator::Button::Delete), Qt::LeftButton);
            QCOMPARE(app.db.count("PeopleFollowUp"), 1);
            QCOMPARE(cell(f->DBGrid1, 0, "FUDescription"), QString("two"));

            // Ctrl+Delete from the cell being typed in asks the same.
            focusCell(f, 0, "FUDescription");
            sendKey(Qt::Key_End);
            type(" more");
            app.answers = {Button::Cancel};
            sendKey(Qt::Key_Delete, Qt::ControlModifier);
            QCOMPARE(app.messages.size(), 3);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("two more")); // kept
            app.answers = {Button::Ok};
            sendKey(Qt::Key_Delete, Qt::ControlModifier);
            QCOMPARE(app.db.count("PeopleFollowUp"), 0);
            sendKey(Qt::Key_Delete, Qt::ControlModifier); // nothing left: no question
            QCOMPARE(app.messages.size(), 4);
        });
        QVERIFY(m_closed);
    }

    void theRealDeleteQuestion()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDescription) VALUES (?, 'one'), (?, 'two')", {anna, anna});
        QVERIFY(app.start());
        MessageBox::setHandler({});
        open(app, [&](TFollowUpForm* f) {
            QStringList order;
            QString text, caption, defaultButton, focused;
            auto inspect = [&](QWidget* box) {
                if (box == f)
                    return false;
                caption = box->windowTitle();
                const QList<QAbstractButton*> buttons = buttonsOnScreen(box);
                order = captions(buttons);
                for (QAbstractButton* b : buttons)
                    if (auto* p = qobject_cast<QPushButton*>(b); p && p->isDefault())
                        defaultButton = plain(p->text());
                for (QLabel* l : box->findChildren<QLabel*>())
                    if (l->text() == "Delete record?")
                        text = l->text();
                if (auto* b = qobject_cast<QAbstractButton*>(QApplication::focusWidget()))
                    focused = plain(b->text());
                return true;
            };
            focusCell(f, 0, "FUDescription");
            // Escape answers Cancel.
            whenModal([&](QWidget* box) {
                if (!inspect(box))
                    return false;
                sendKey(Qt::Key_Escape);
                return true;
            });
            sendKey(Qt::Key_Delete, Qt::ControlModifier);
            QCOMPARE(text, QString("Delete record?"));
            QCOMPARE(caption, QString("Confirm"));
            QCOMPARE(order, (QStringList{"OK", "Cancel"}));
            QCOMPARE(defaultButton, QString("OK"));
            QCOMPARE(focused, QString("OK"));
            QCOMPARE(app.db.count("PeopleFollowUp"), 2);
            // Enter answers OK, and the row is gone from the file at once.
            whenModal([&](QWidget* box) {
                if (!inspect(box))
                    return false;
                sendKey(Qt::Key_Return);
                return true;
            });
            QTest::mouseClick(f->DBNavigator1->button(DBNavigator::Button::Delete), Qt::LeftButton);
            QCOMPARE(app.db.count("PeopleFollowUp"), 1);
            // Space presses the button that has the focus.
            whenModal([&](QWidget* box) {
                if (!inspect(box))
                    return false;
                sendKey(Qt::Key_Space);
                return true;
            });
            QTest::mouseClick(f->DBNavigator1->button(DBNavigator::Button::Delete), Qt::LeftButton);
            QCOMPARE(app.db.count("PeopleFollowUp"), 0);
        });
        QVERIFY(m_closed);
    }

    void unreadableDateIsRefusedWithoutLosingTheRow()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        const int bob = app.db.addPerson("Bob");
        QVERIFY(app.start());
        open(app, [&](TFollowUpForm* f) {
            focusCell(f, 0, "FUDescription");
            type("Call back");
            sendKey(Qt::Key_Tab);
            focusCell(f, 0, "FUDate");
            type("31/31/2024");
            sendKey(Qt::Key_Tab); // leaving the cell
            QCoreApplication::processEvents();
            QCOMPARE(app.messages.size(), 1);
            QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
            QVERIFY2(app.messages[0].text.startsWith("The cell \"Follow-up date\" holds \"31/31/2024\", which is not a date."),
                     qPrintable(app.messages[0].text));
            QCOMPARE(f->DBGrid1->selectedField(), QString("FUDate"));
            QCOMPARE(static_cast<QLineEdit*>(QApplication::focusWidget())->text(), QString("31/31/2024"));
            QCOMPARE(f->FollowUp->state(), DatasetState::Insert);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("Call back"));

            // Neither another person, nor another row, nor closing takes it away.
            clickPerson(f, 1);
            QCOMPARE(app.messages.size(), 2);
            QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
            QVERIFY(!f->close());
            QCOMPARE(app.messages.size(), 3);
            QVERIFY(f->isVisible());
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("Call back"));
            QCOMPARE(app.db.count("PeopleFollowUp"), 0);

            // Corrected, it is saved with the rest of the row.
            QApplication::focusWidget()->setProperty("text", QString());
            type(DateText::format(QDate(2024, 3, 5)));
            clickPerson(f, 1);
            QCOMPARE(app.people()->value("Name").toString(), QString("Bob"));
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.scalar("SELECT FUDate || ' ' || FUDescription FROM PeopleFollowUp").toString(),
                 QString("2024-03-05 Call back"));
        QVERIFY(app.db.scalar("SELECT PersonID FROM PeopleFollowUp").toInt() != bob);
    }

    // What is typed is stored as a whole number or refused with a word: nothing is dropped from
    // it on the way, and the editor stands where the cell shows its number.
    void wholeNumberCell_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QVariant>("stored"); // invalid: refused, nothing stored
        QTest::addColumn<QString>("said");    // the refusal's first sentence and its advice's ending
        const QString plain = "not a whole number|.";
        const QString marked = "not a whole number| in digits alone, without a decimal point or a thousands separator.";
        QTest::newRow("digits") << "1250" << QVariant(1250) << "";
        QTest::newRow("signs") << "+42" << QVariant(42) << "";
        QTest::newRow("blanks around") << " 7 " << QVariant(7) << "";
        QTest::newRow("lowest") << "-2147483648" << QVariant(-2147483647 - 1) << "";
        QTest::newRow("decimal point") << "1.5" << QVariant() << marked;
        QTest::newRow("two decimals") << "12.50" << QVariant() << marked;
        QTest::newRow("zero fraction") << "12.00" << QVariant() << marked;
        QTest::newRow("thousands separator") << "1,500" << QVariant() << marked;
        QTest::newRow("letters") << "12a50" << QVariant() << plain;
        QTest::newRow("sign alone") << "-" << QVariant() << plain;
        QTest::newRow("too big") << "2147483648" << QVariant() << "beyond the numbers it can hold|.";
        QTest::newRow("too small") << "-2147483649" << QVariant() << "beyond the numbers it can hold|.";
    }

    void wholeNumberCell()
    {
        QFETCH(QString, typed);
        QFETCH(QVariant, stored);
        QFETCH(QString, said);
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        open(app, [&](TFollowUpForm* f) {
            focusCell(f, 0, "ExpextedOrderValue");
            auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            QVERIFY(editor);
            QCOMPARE(editor->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
            type(typed);
            QCOMPARE(editor->text(), typed);
            sendKey(Qt::Key_Tab);
            QCoreApplication::processEvents();
            if (stored.isValid()) {
                QCOMPARE(app.messages.size(), 0);
                return;
            }
            QCOMPARE(app.messages.size(), 1);
            QCOMPARE(app.messages[0].text,
                     QString("The cell \"Expected order value\" holds \"%1\", which is %2.\n"
                             "Type a whole number from -2147483648 to 2147483647%3")
                         .arg(typed, said.section('|', 0, 0), said.section('|', 1)));
            QVERIFY(f->FollowUp->value("ExpextedOrderValue").isNull());
            sendKey(Qt::Key_Escape);
            sendKey(Qt::Key_Escape);
        });
        QVERIFY(m_closed);
        if (stored.isValid())
            QCOMPARE(app.db.scalar("SELECT ExpextedOrderValue FROM PeopleFollowUp").toLongLong(), stored.toLongLong());
        else
            QCOMPARE(app.db.count("PeopleFollowUp"), 0);
    }

    void failedSaveOnCloseIsShownAndNothingLost()
    {

        SKIP_ON_SERVER("errors, raised by a trigger of its own");
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        app.db.exec("CREATE TRIGGER refuse BEFORE INSERT ON PeopleFollowUp "
                    "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
        open(app, [&](TFollowUpForm* f) {
            focusCell(f, 0, "FUDescription");
            type("Quote sent");
            QVERIFY(!f->close());
            QVERIFY(f->isVisible());
            QCOMPARE(app.messages.size(), 1);
            QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
            QVERIFY(app.messages[0].text.contains("could not be saved"));
            QVERIFY(app.messages[0].text.contains("database or disk is full"));
            QCOMPARE(f->FollowUp->state(), DatasetState::Insert);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("Quote sent"));
            // Another person is refused the same way, and the activity stays with its own.
            clickPerson(f, 1);
            QCOMPARE(app.messages.size(), 2);
            QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
            QCOMPARE(f->DBGridFollowUp->currentIndex().row(), 0);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("Quote sent"));
            app.db.exec("DROP TRIGGER refuse");
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.scalar("SELECT PersonID || ' ' || FUDescription FROM PeopleFollowUp").toString(),
                 QString("%1 Quote sent").arg(anna));
    }

    // Over a new person whose name is missing the window opens (the name check has said why the
    // person is not saved), an activity is refused with that reason, and closing lets the user go.
    void anActivityOfAPersonNotSavedYetSaysWhyAndLetsTheUserLeave()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Language"), "French");
        const QString unsaved = "This person has not been saved yet because the name is missing, so no activity can "
                                "be saved for them.\nClose this window, type the name and save the person, then add "
                                "the activity.";
        open(app, [&](TFollowUpForm* f) {
            QCOMPARE(app.messageTexts(), QStringList{"Required field (Name) is empty."});
            focusCell(f, 0, "FUDescription");
            type("Call back");
            f->DBNavigator1->click(DBNavigator::Button::Post);
            QCOMPARE(app.messages.size(), 2);
            QCOMPARE(app.messages[1].text, unsaved);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("Call back"));
            clickPerson(f, f->DBGridFollowUp->currentIndex().row() == 0 ? 1 : 0);
            QCOMPARE(app.messages.size(), 3);
            QCOMPARE(app.messages[2].text, unsaved);
            QVERIFY(f->close());
            QCOMPARE(app.messages.size(), 4);
            QCOMPARE(app.messages[3].icon, MessageBox::Icon::Information);
            QCOMPARE(app.messages[3].text,
                     QString("This person has not been saved yet because the name is missing, so the activity you "
                             "typed cannot be saved and is dropped.\nType the name and save the person, then add the "
                             "activity again."));
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.count("PeopleFollowUp"), 0);
        QCOMPARE(app.people()->state(), DatasetState::Insert);
        QCOMPARE(app.people()->value("Language").toString(), QString("French"));
    }

    void navigatorAndRowKeys()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, FUDescription) VALUES "
                    "(?, '2024-03-01', 'b'), (?, '2024-01-01', 'a'), (?, '2024-05-01', 'c')",
                    {anna, anna, anna});
        QVERIFY(app.start());
        open(app, [&](TFollowUpForm* f) {
            DBNavigator* nav = f->DBNavigator1;
            auto enabled = [nav] {
                QString s;
                for (int i = 0; i < DBNavigator::kButtons; ++i)
                    s += nav->button(DBNavigator::Button(i))->isEnabled() ? '1' : '0';
                return s;
            };
            QCOMPARE(enabled(), QString("001111001"));
            nav->click(DBNavigator::Button::Last);
            QCOMPARE(f->DBGrid1->currentIndex().row(), 2);
            QCOMPARE(enabled(), QString("110011001"));
            nav->click(DBNavigator::Button::Prior);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("b"));

            // Down past the last row starts a new one; Up leaves it, untouched, and it is gone.
            focusCell(f, 2, "FUDescription");
            sendKey(Qt::Key_Down);
            QCOMPARE(f->FollowUp->state(), DatasetState::Insert);
            QCOMPARE(f->DBGrid1->model()->rowCount(), 4);
            QCOMPARE(f->DBGrid1->currentIndex().row(), 3);
            QCOMPARE(enabled().mid(6, 2), QString("11"));
            sendKey(Qt::Key_Up);
            QCOMPARE(f->FollowUp->state(), DatasetState::Browse);
            QCOMPARE(f->DBGrid1->model()->rowCount(), 3);
            QCOMPARE(f->DBGrid1->currentIndex().row(), 2);

            // Insert, typed into, and the new row is saved for the person by Post.
            sendKey(Qt::Key_Insert);
            QCOMPARE(f->DBGrid1->currentIndex().row(), 2);
            type("d");
            nav->click(DBNavigator::Button::Post);
            QCOMPARE(app.db.scalar("SELECT PersonID FROM PeopleFollowUp WHERE FUDescription = 'd'").toInt(), anna);

            // A new row left for the other list is dropped without a trace.
            nav->click(DBNavigator::Button::Insert);
            QCOMPARE(f->DBGrid1->model()->rowCount(), 5);
            f->DBGridFollowUp->setFocus(Qt::TabFocusReason);
            QCOMPARE(f->DBGrid1->model()->rowCount(), 4);
            QVERIFY(!f->FollowUp->isEditing());
            // Insert clicked while the other list has the focus: typing starts in the new row's first cell.
            QTest::mouseClick(nav->button(DBNavigator::Button::Insert), Qt::LeftButton);
            QVERIFY(f->DBGrid1->focusInside());
            QCOMPARE(f->DBGrid1->currentIndex().column(), 0);
            QVERIFY(f->DBGrid1->cellEditor());
            nav->click(DBNavigator::Button::Cancel);
            QCOMPARE(f->DBGrid1->model()->rowCount(), 4);

            // Cancel drops typing; Refresh shows what another program wrote, in date order.
            focusCell(f, 0, "FUDescription");
            type("zzz");
            nav->click(DBNavigator::Button::Cancel);
            QCOMPARE(cell(f->DBGrid1, 0, "FUDescription"), QString("a"));
            QCOMPARE(f->FollowUp->state(), DatasetState::Browse);
            app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, FUDescription) VALUES (?, '2023-12-24', 'first')",
                        {anna});
            nav->click(DBNavigator::Button::Refresh);
            QCOMPARE(f->DBGrid1->model()->rowCount(), 5);
            QCOMPARE(cell(f->DBGrid1, 0, "FUDescription"), QString("d")); // no date comes first
            QCOMPARE(cell(f->DBGrid1, 1, "FUDescription"), QString("first"));
            QCOMPARE(f->DBGrid1->currentIndex().column(), column("FUDescription")); // the cell's column stays
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.count("PeopleFollowUp", "FUDescription IS NULL"), 0);
    }

    void anUnreadableCellIsSaidOnceInTheRealBox()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, FUDescription) VALUES (?, '2024-03-02', 'March'), "
                    "(?, '2024-05-10', 'May')",
                    {anna, anna});
        QVERIFY(app.start());
        MessageBox::setHandler({});
        BoxWatcher boxes(form(app)); // also answers what closing the window may bring up
        open(app, [&](TFollowUpForm* f) {
            // Each way of leaving the cell brings up one box, and the text waits in its cell.
            auto leave = [&](const std::function<void()>& how) {
                boxes.shown.clear();
                how();
                QCoreApplication::processEvents(); // a report left queued would come up now
                QApplication::setActiveWindow(f); // the window system's part once a box closes
                return boxes.shown;
            };
            auto typedText = [] {
                auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
                return line ? line->text() : QString("(focus not in a cell)");
            };
            const QString notADate =
                "Error: The cell \"Expected order date\" holds \"13/13/2024\", which is not a date.";
            focusCell(f, 0, "ExpectedOrderDate");
            type("13/13/2024");
            QStringList seen = leave([&] { clickPerson(f, 1); });
            QCOMPARE(seen.size(), 1);
            QVERIFY2(seen[0].startsWith(notADate), qPrintable(seen[0]));
            QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
            QCOMPARE(typedText(), QString("13/13/2024"));

            seen = leave([&] { QTest::mouseClick(f->DBNavigator1->button(DBNavigator::Button::Post), Qt::LeftButton); });
            QCOMPARE(seen.size(), 1);
            QVERIFY(seen[0].startsWith(notADate));
            QCOMPARE(typedText(), QString("13/13/2024"));

            seen = leave([&] { sendKey(Qt::Key_Down); });
            QCOMPARE(seen.size(), 1);
            QCOMPARE(f->DBGrid1->currentIndex(), f->DBGrid1->model()->index(0, column("ExpectedOrderDate")));

            seen = leave([&] { QVERIFY(!f->close()); });
            QCOMPARE(seen.size(), 1);
            QVERIFY(seen[0].startsWith(notADate));
            QVERIFY(f->isVisible());
            QCOMPARE(typedText(), QString("13/13/2024"));
            QCOMPARE(f->FollowUp->state(), DatasetState::Edit);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("March"));

            // Escape takes back the typing, a second one the row; then a number too big for its cell.
            sendKey(Qt::Key_Escape);
            sendKey(Qt::Key_Escape);
            QCOMPARE(f->FollowUp->state(), DatasetState::Browse);
            focusCell(f, 0, "ExpextedOrderValue");
            type("99999999999");
            seen = leave([&] { sendKey(Qt::Key_Down); });
            QCOMPARE(seen.size(), 1);
            QVERIFY2(seen[0].startsWith("Error: The cell \"Expected order value\" holds \"99999999999\", which is "
                                        "beyond the numbers it can hold."),
                     qPrintable(seen[0]));
            QCOMPARE(typedText(), QString("99999999999"));
            sendKey(Qt::Key_Escape);
            sendKey(Qt::Key_Escape);
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.scalar("SELECT count(*) FROM PeopleFollowUp WHERE ExpectedOrderDate IS NULL AND "
                               "ExpextedOrderValue IS NULL").toInt(), 2);
    }

    void aChangedDateTakesItsPlaceInTheList()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, FUDescription) VALUES (?, '2024-03-02', 'March'), "
                    "(?, '2024-05-10', 'May')",
                    {anna, anna});
        QVERIFY(app.start());
        open(app, [&](TFollowUpForm* f) {
            focusCell(f, 0, "FUDate");
            type(DateText::format(QDate(2025, 1, 1)));
            QTest::mouseClick(f->DBNavigator1->button(DBNavigator::Button::Post), Qt::LeftButton);
            QCOMPARE(app.db.scalar("SELECT FUDate FROM PeopleFollowUp WHERE FUDescription = 'March'").toString(),
                     QString("2025-01-01"));
            QCOMPARE(cell(f->DBGrid1, 0, "FUDescription"), QString("May"));
            QCOMPARE(cell(f->DBGrid1, 1, "FUDescription"), QString("March"));
            QCOMPARE(cell(f->DBGrid1, 1, "FUDate"), DateText::format(QDate(2025, 1, 1)));
            // The changed activity stays the current one, in its new place.
            QCOMPARE(f->DBGrid1->currentIndex().row(), 1);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("March"));

            // Leaving the row by a click saves it into its place and lands on the row clicked.
            focusCell(f, 1, "FUDate");
            type(DateText::format(QDate(2023, 6, 1)));
            const QModelIndex may = f->DBGrid1->model()->index(0, column("FUDescription"));
            QTest::mouseClick(f->DBGrid1->viewport(), Qt::LeftButton, {}, f->DBGrid1->visualRect(may).center());
            QCOMPARE(cell(f->DBGrid1, 0, "FUDescription"), QString("March"));
            QCOMPARE(cell(f->DBGrid1, 1, "FUDescription"), QString("May"));
            QCOMPARE(f->DBGrid1->currentIndex().row(), 1);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("May"));
        });
        QVERIFY(m_closed);
    }

    void keysOpenTheCellsButton()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, FUDescription) VALUES "
                    "(?, '2024-03-02', 'Fax', 'March')",
                    {anna});
        QVERIFY(app.start());
        m_pickOk = true;
        open(app, [&](TFollowUpForm* f) {
            DBGrid* grid = f->DBGrid1;
            const QList<QPair<Qt::Key, Qt::KeyboardModifiers>> keys{{Qt::Key_Return, Qt::ControlModifier},
                                                                    {Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier},
                                                                    {Qt::Key_Down, Qt::AltModifier},
                                                                    {Qt::Key_F4, Qt::NoModifier}};
            // In the contact method cell they drop its list down, which by itself changes nothing.
            for (const auto& [key, modifiers] : keys) {
                auto* combo = qobject_cast<QComboBox*>(focusCell(f, 0, "ContactMethod"));
                QVERIFY(combo);
                sendKey(key, modifiers);
                QVERIFY2(combo->view()->isVisible(), qPrintable(QKeySequence(key | modifiers).toString()));
                combo->hidePopup();
                QCOMPARE(combo->currentText(), QString("Fax"));
                QCOMPARE(f->FollowUp->state(), DatasetState::Browse);
            }

            // In either date cell they open the picker, whose date goes into the cell.
            int day = 1;
            for (const QString field : {"FUDate", "ExpectedOrderDate"}) {
                for (const auto& [key, modifiers] : keys) {
                    focusCell(f, 0, field);
                    m_pick = QDate(2024, 7, day++);
                    const int asked = m_picks;
                    sendKey(key, modifiers);
                    QVERIFY2(m_picks == asked + 1, qPrintable(field + " " + QKeySequence(key | modifiers).toString()));
                    QCOMPARE(f->FollowUp->value(field).toDate(), m_pick);
                    // Back in the cell, which shows the date.
                    QCOMPARE(QApplication::focusWidget(), grid->cellEditor());
                    QCOMPARE(static_cast<QLineEdit*>(grid->cellEditor())->text(), DateText::format(m_pick));
                }
            }
            QVERIFY(grid->cellEditor()->findChild<QToolButton*>("EditButton")->toolTip().contains("Ctrl+Enter"));

            // The grid itself, its cell editor closed by Escape, does the same.
            focusCell(f, 0, "FUDate");
            sendKey(Qt::Key_Escape);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(grid));
            m_pick = QDate(2024, 8, 1);
            sendKey(Qt::Key_Return, Qt::ControlModifier);
            QCOMPARE(m_picks, 9);
            QCOMPARE(f->FollowUp->value("FUDate").toDate(), m_pick);

            // Other cells have no button: no picker, and Ctrl+Enter writes the cell as Enter does.
            focusCell(f, 0, "FUDescription");
            type("Call");
            sendKey(Qt::Key_F4);
            sendKey(Qt::Key_Return, Qt::ControlModifier);
            QCoreApplication::processEvents(); // the cell is written once the key is over
            QCOMPARE(m_picks, 9);
            QCOMPARE(f->FollowUp->value("FUDescription").toString(), QString("Call"));
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.scalar("SELECT FUDate || ' ' || ExpectedOrderDate || ' ' || FUDescription FROM PeopleFollowUp")
                     .toString(),
                 QString("2024-08-01 2024-07-08 Call"));
    }

    void visitingCellsStartsNoEdit()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ProductsInterestedIn, ExpextedOrderValue, "
                    "ExpectedOrderDate, FUDescription) VALUES "
                    "(?, '2024-03-02', 'Telephone', 'Solar', 1200, '2024-06-30', 'Call back'), "
                    "(?, '2024-05-10', 'sms', NULL, -5, NULL, 'Email')",
                    {anna, anna});
        const QString everything = "SELECT group_concat(quote(FUDate) || quote(ContactMethod) || quote(ProductsInterestedIn) "
                                   "|| quote(ExpextedOrderValue) || quote(ExpectedOrderDate) || quote(FUDescription), '|') "
                                   "FROM PeopleFollowUp";
        const QString stored = app.db.scalar(everything).toString();
        QVERIFY(app.start());
        open(app, [&](TFollowUpForm* f) {
            DBGrid* grid = f->DBGrid1;
            DBNavigator* nav = f->DBNavigator1;
            auto untouched = [&] {
                const QVariant indicator =
                    grid->model()->headerData(grid->currentIndex().row(), Qt::Vertical, DatasetModel::IndicatorRole);
                return f->FollowUp->state() == DatasetState::Browse
                       && indicator.toInt() == int(DatasetModel::Indicator::Current) && !nav->button(DBNavigator::Button::Post)->isEnabled()
                       && !nav->button(DBNavigator::Button::Cancel)->isEnabled();
            };
            auto where = [&] {
                return QString("after %1,%2").arg(grid->currentIndex().row()).arg(grid->currentIndex().column()).toUtf8();
            };
            // Clicked, cell after cell.
            for (int row = 0; row < 2; ++row) {
                for (int c = 0; c < 6; ++c) {
                    const QModelIndex at = grid->model()->index(row, c);
                    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(at).center());
                    QCOMPARE(grid->currentIndex(), at);
                    QVERIFY(grid->cellEditor());
                    QVERIFY2(untouched(), where().constData());
                }
            }
            // Tabbed through, on out of the grid, and back.
            focusCell(f, 0, "FUDate");
            for (int i = 0; i < 11; ++i) {
                sendKey(Qt::Key_Tab);
                QVERIFY2(untouched(), where().constData());
            }
            QCOMPARE(grid->currentIndex(), grid->model()->index(1, 5));
            sendKey(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f->DBGridFollowUp));
            QVERIFY(untouched());
            sendKey(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), grid->cellEditor());
            for (int i = 0; i < 11; ++i) {
                sendKey(Qt::Key_Backtab);
                QVERIFY2(untouched(), where().constData());
            }
            // Up and down through the contact methods.
            focusCell(f, 0, "ContactMethod");
            sendKey(Qt::Key_Down);
            QVERIFY2(untouched(), where().constData());
            sendKey(Qt::Key_Up);
            QVERIFY2(untouched(), where().constData());
            auto* combo = qobject_cast<QComboBox*>(grid->cellEditor());
            QCOMPARE(combo->currentText(), QString("Telephone"));
            // The wheel over the drop-down cell scrolls the rows and leaves its item alone. (Sent to
            // the drop-down, where it comes after its text box has passed it on.)
            const QPointF middle = QRectF(combo->rect()).center();
            QWheelEvent wheel(middle, combo->mapToGlobal(middle), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(combo, &wheel);
            QCOMPARE(combo->currentText(), QString("Telephone"));
            QVERIFY(untouched());
        });
        QVERIFY(m_closed);
        QCOMPARE(app.db.scalar(everything).toString(), stored);
    }

    void aSaveWaitingOnALockedDatabaseShowsTheWaitCursor()
    {
        SKIP_ON_SERVER("busy handler, through which the test sees the pointer while the save waits");
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        // The program's connection waits on a lock through its busy handler. Here the handler
        // notes the pointer the user sees while waiting, and gives up at once to keep the test short.
        sqlite3* db = app.data()->MainADOConnection.file()->handle();
        QVERIFY(db);
        auto pointer = [] {
            return QGuiApplication::overrideCursor() ? int(QGuiApplication::overrideCursor()->shape()) : -1;
        };
        QList<int> whileWaiting;
        sqlite3_busy_handler(
            db,
            [](void* shapes, int) {
                const QCursor* shown = QGuiApplication::overrideCursor();
                static_cast<QList<int>*>(shapes)->append(shown ? int(shown->shape()) : -1);
                return 0;
            },
            &whileWaiting);
        QList<int> withMessage;
        MessageBox::setHandler([&](const MessageBox::Request& r) {
            app.messages << r;
            withMessage << pointer();
            return r.escapeButton;
        });
        app.db.exec("BEGIN IMMEDIATE"); // another program holds the write lock
        open(app, [&](TFollowUpForm* f) {
            focusCell(f, 0, "FUDescription");
            type("Quote sent");
            auto tried = [&](int times) {
                return whileWaiting == QList<int>(times, int(Qt::WaitCursor)) && withMessage == QList<int>(times, -1)
                       && app.messages.size() == times && app.messages.last().icon == MessageBox::Icon::Error
                       && f->FollowUp->state() == DatasetState::Insert
                       && f->FollowUp->value("FUDescription").toString() == "Quote sent";
            };
            QTest::mouseClick(f->DBNavigator1->button(DBNavigator::Button::Post), Qt::LeftButton);
            QVERIFY(tried(1));
            sendKey(Qt::Key_Down);
            QVERIFY(tried(2));
            clickPerson(f, 1);
            QVERIFY(tried(3));
            QCOMPARE(app.people()->value("Name").toString(), QString("Anna"));
            QVERIFY(!f->close());
            QVERIFY(tried(4));
            app.db.exec("ROLLBACK");
        });
        sqlite3_busy_timeout(db, 5000);
        QVERIFY(m_closed);
        QCOMPARE(pointer(), -1);
        QCOMPARE(app.db.scalar("SELECT PersonID || ' ' || FUDescription FROM PeopleFollowUp").toString(),
                 QString("%1 Quote sent").arg(anna));
    }

    void theRealWindowAndPicker()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        Modal::setRunner({});
        TFollowUpForm* f = form(app);
        QWidget* startFocus = nullptr;
        QWidget* afterTab = nullptr;
        QDate picked;
        bool pickerSeen = false;
        bool emptyAfterEscape = false;
        whenModal([&](QWidget* w) {
            if (w != f)
                return false;
            startFocus = QApplication::focusWidget();
            sendKey(Qt::Key_Tab);
            afterTab = QApplication::focusWidget();
            // The real picker: Escape changes nothing, then a click on OK takes its date.
            whenModal([&](QWidget* picker) {
                if (!qobject_cast<TPickDateForm*>(picker))
                    return false;
                pickerSeen = true;
                sendKey(Qt::Key_Escape);
                return true;
            });
            sendKey(Qt::Key_Return, Qt::ControlModifier); // the keyboard's way to the cell's button
            emptyAfterEscape = f->FollowUp->isEmpty();
            whenModal([&](QWidget* picker) {
                auto* p = qobject_cast<TPickDateForm*>(picker);
                if (!p)
                    return false;
                picked = p->date();
                QTest::mouseClick(p->Button1, Qt::LeftButton);
                return true;
            });
            QTest::mouseClick(f->DBGrid1->cellEditor()->findChild<QToolButton*>("EditButton"), Qt::LeftButton);
            f->close(); // the close box saves the new activity
            if (f->isVisible())
                f->done(QDialog::Rejected);
            return true;
        });
        app.main()->BitBtn7Click();
        QVERIFY(pickerSeen);
        QVERIFY(emptyAfterEscape);
        QCOMPARE(startFocus, static_cast<QWidget*>(f->DBGridFollowUp));
        QCOMPARE(afterTab, f->DBGrid1->findChild<QLineEdit*>("FUDate"));
        QVERIFY(!f->isVisible());
        QCOMPARE(app.db.count("PeopleFollowUp"), 1);
        QCOMPARE(app.db.scalar("SELECT FUDate FROM PeopleFollowUp").toString(), picked.toString(Qt::ISODate));

        // With nothing pending, Escape closes the window.
        bool escaped = false;
        whenModal([&](QWidget* w) {
            if (w != f)
                return false;
            sendKey(Qt::Key_Escape);
            escaped = !f->isVisible();
            if (f->isVisible())
                f->done(QDialog::Rejected);
            return true;
        });
        app.main()->BitBtn7Click();
        QVERIFY(escaped);
        Modal::setRunner([&](QDialog* d) { return app.modal ? app.modal(d) : int(QDialog::Rejected); });
    }
};

QTEST_MAIN(TestFollowUp)
#include "tst_followup.moc"
