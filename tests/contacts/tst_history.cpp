#include "support/AppFixture.h"
#include "support/FocusLook.h"

#include "app/AppWindows.h"
#include "app/Program.h"
#include "contacts/THistoryForm.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "data/Trash.h"
#include "widgets/FieldBinding.h"
#include "widgets/ResultGrid.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

using Button = MessageBox::Button;

namespace {
enum GridColumn { Number, Changed, By, Field, Old, New };

struct HistoryApp : AppFixture {
    int ann = 0;
    QDateTime clock = QDateTime(QDate(2026, 3, 4), QTime(10, 0), QTimeZone::utc());
    HistoryApp()
    {
        ann = db.addPerson("Ann", {{"Company", "Acme"}, {"Mobile", "0612"}, {"Birthday", "1980-02-03"},
                                   {"Breminder", 0}, {"Gender", "Female"}, {"HACity", "Lyon"}});
        db.addPerson("Bob");
        Trash::setClock([this] { return clock; });
    }
    ~HistoryApp() { Trash::setClock({}); }
    THistoryForm* openHistory()
    {
        modal = [](QDialog* d) {
            d->show();
            return int(QDialog::Accepted);
        };
        main()->findChild<QAction*>("History1")->trigger();
        return appWindows().HistoryForm;
    }
    // Changes the current person as the page would, and saves her with the Save command.
    void save(const QVariantMap& values)
    {
        if (!people()->isEditing())
            people()->edit();
        for (auto it = values.begin(); it != values.end(); ++it)
            people()->setValue(it.key(), it.value());
        main()->SpeedButton2Click();
    }
    QStringList rows()
    {
        return db.rows("SELECT PersonID, Field, quote(OldValue), quote(NewValue), ChangedBy, ChangedAt, OverOthers "
                       "FROM PeopleHistory ORDER BY HistoryID");
    }
};
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Trash::setClock({}); }

    // Each saved change leaves a row per changed column, with the values as stored, and the
    // window shows it under the page's caption, with the value as the page shows it.
    void aSaveRecordsWhatChanged_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("stored");  // old and new, quoted as SQLite quotes them
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shownOld");
        QTest::addColumn<QString>("shownNew");
        QTest::newRow("text") << "Mobile" << QVariant("0613") << "'0612'|'0613'" << "Mobile" << "0612" << "0613";
        QTest::newRow("text emptied") << "Mobile" << QVariant() << "'0612'|NULL" << "Mobile" << "0612" << "";
        QTest::newRow("date") << "Birthday" << QVariant(QDate(1981, 5, 6)) << "'1980-02-03'|'1981-05-06'"
                              << "Birthday" << DateFieldBinding::format(QDate(1980, 2, 3))
                              << DateFieldBinding::format(QDate(1981, 5, 6));
        QTest::newRow("reminder") << "Breminder" << QVariant(true) << "0|1" << "Birthday reminder" << "No" << "Yes";
        QTest::newRow("reminder never set") << "Areminder" << QVariant(true) << "NULL|1" << "Anniversary reminder"
                                             << "No" << "Yes";
        QTest::newRow("option") << "Gender" << QVariant("Male") << "'Female'|'Male'" << "Gender" << "Female"
                                << "Male";
        QTest::newRow("a caption of two groups") << "HACity" << QVariant("Nice") << "'Lyon'|'Nice'"
                                                 << "Home address: City" << "Lyon" << "Nice";
        QTest::newRow("set from nothing") << "Spouse" << QVariant("Max") << "NULL|'Max'" << "Spouse/Partner" << ""
                                          << "Max";
    }
    void aSaveRecordsWhatChanged()
    {
        QFETCH(QString, column);
        QFETCH(QVariant, value);
        QFETCH(QString, stored);
        QFETCH(QString, caption);
        QFETCH(QString, shownOld);
        QFETCH(QString, shownNew);
        // The server's history keeps each value as text, a number as its digits.
        if (TestDatabase::onServer())
            stored.replace(QRegularExpression("(^|\\|)(\\d+)(?=\\||$)"), "\\1'\\2'");
        HistoryApp app;
        QVERIFY(app.start());
        QVERIFY(app.people()->locate({"Name"}, {"Ann"}));
        const QVariant before = app.people()->value(column);
        app.save({{column, value}});
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        const QString stamp = "2026-03-04T10:00:00.000Z";
        QCOMPARE(app.rows(), QStringList{QString("%1|%2|%3|%4|%5|0").arg(app.ann).arg(column, stored, app.data()->MainADOConnection.userName(),
                                                                                       stamp)});
        // Changing it back is a change too; a column typed back to what it held is none.
        app.clock = app.clock.addSecs(60);
        app.save({{column, before}, {"Info", "x"}});
        app.save({{"Info", "y"}});
        app.people()->edit();
        app.people()->setValue("Info", "z");
        app.people()->setValue("Info", "y");
        app.main()->SpeedButton2Click();
        QVERIFY2(app.rows().size() == 4, qPrintable(app.rows().join("\n")));

        THistoryForm* form = app.openHistory();
        QVERIFY(form->isVisible());
        QCOMPARE(form->entries().size(), 4);
        ResultGrid* grid = form->HistoryGrid;
        const QStringList titles{"No.", "Changed", "By", "Field", "Old value", "New value"};
        for (int c = 0; c < titles.size(); ++c)
            QCOMPARE(grid->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
        // Newest first: the last save, then the two columns of the one before, then the first.
        QCOMPARE(grid->cellText(0, Field), QString("Comments"));
        QCOMPARE(grid->cellText(0, Old), QString("x"));
        QCOMPARE(grid->cellText(0, New), QString("y"));
        QCOMPARE(grid->cellText(3, Field), caption);
        QCOMPARE(grid->cellText(3, Old), shownOld);
        QCOMPARE(grid->cellText(3, New), shownNew);
        QCOMPARE(grid->cellText(3, By), app.data()->MainADOConnection.userName());
        QCOMPARE(grid->cellText(3, Changed),
                 QLocale().toString(QDateTime(QDate(2026, 3, 4), QTime(10, 0), QTimeZone::utc()).toLocalTime(),
                                    QLocale::ShortFormat));
        form->hide();
        // Bob has a history of his own: none.
        QVERIFY(app.people()->locate({"Name"}, {"Bob"}));
        form = app.openHistory();
        QVERIFY(form->entries().isEmpty());
        QVERIFY(!form->PutBackButton->isEnabled());
        form->hide();
    }

    // Saved over another user's change: the history holds what that user had saved as the old
    // value, and says whose change was saved over. Going on editing instead records nothing.
    void aSaveOverAnotherUsersChange_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("saves");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("saved over theirs") << int(Button::Yes) << 1 << QStringList{"'0699'|'0613'|1"};
        QTest::newRow("went on editing") << int(Button::No) << 1 << QStringList{};
        // Told once, the user's next save writes over theirs knowingly; the history says so.
        QTest::newRow("went on editing, saved again") << int(Button::No) << 2 << QStringList{"'0699'|'0613'|1"};
    }
    void aSaveOverAnotherUsersChange()
    {
        QFETCH(int, answer);
        QFETCH(int, saves);
        QFETCH(QStringList, expected);
        HistoryApp app;
        QVERIFY(app.start());
        QVERIFY(app.people()->locate({"Name"}, {"Ann"}));
        app.people()->edit();
        app.people()->setValue("Mobile", "0613");
        app.db.exec("UPDATE People SET Mobile = '0699' WHERE PersonID = ?", {app.ann});
        app.answers = {Button(answer)};
        for (int i = 0; i < saves; ++i)
            app.main()->SpeedButton2Click();
        QCOMPARE(app.messages.size(), 1);
        QVERIFY(app.messages[0].text.startsWith("This person was changed by another user"));
        QStringList got;
        for (const QString& row : app.rows()) {
            const QStringList f = row.split('|');
            got << QStringList{f[2], f[3], f[6]}.join('|');
        }
        QCOMPARE(got, expected);
        if (!expected.isEmpty()) {
            THistoryForm* form = app.openHistory();
            QCOMPARE(form->HistoryGrid->cellText(0, By), app.data()->MainADOConnection.userName() + " (over another user's change)");
            form->hide();
        }
    }

    // Put back: the person goes into edit with the old value, which Save writes with the usual
    // check and records in its turn; Discard leaves everything as it was.
    void putBackAnOldValue_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("stored");
        QTest::newRow("saved") << "save" << "0612";
        QTest::newRow("discarded") << "discard" << "0613";
        QTest::newRow("another user changed it meanwhile, saved over") << "conflict" << "0612";
    }
    void putBackAnOldValue()
    {
        QFETCH(QString, then);
        QFETCH(QString, stored);
        HistoryApp app;
        QVERIFY(app.start());
        QVERIFY(app.people()->locate({"Name"}, {"Ann"}));
        app.save({{"Mobile", "0613"}, {"Gender", "Male"}});
        THistoryForm* form = app.openHistory();
        int mobile = -1;
        for (int i = 0; i < form->entries().size(); ++i)
            if (form->entries()[i].column == "Mobile")
                mobile = i;
        form->selectEntry(mobile);
        QVERIFY(form->PutBackButton->isEnabled());
        form->PutBackButton->click();
        QVERIFY(!form->isVisible());
        QCOMPARE(app.people()->state(), DatasetState::Edit);
        QCOMPARE(app.find<QLineEdit>("Mobile")->text(), QString("0612"));
        QCOMPARE(app.people()->value("Gender").toString(), QString("Male"));
        if (then == "conflict") {
            app.db.exec("UPDATE People SET Mobile = '0777' WHERE PersonID = ?", {app.ann});
            app.answers = {Button::Yes};
        }
        if (then == "discard")
            app.main()->SpeedButton5Click();
        else
            app.main()->SpeedButton2Click();
        QCOMPARE(app.people()->state(), DatasetState::Browse);
        QCOMPARE(app.db.scalar("SELECT Mobile FROM People WHERE PersonID = ?", {app.ann}).toString(), stored);
        QCOMPARE(app.rows().size(), then == "discard" ? 2 : 3);
        QCOMPARE(app.messages.size(), then == "conflict" ? 1 : 0);
        if (then == "conflict")
            QVERIFY(app.rows().last().contains("|'0777'|'0612'|"));
        if (then == "save") {
            // The oldest Mobile line went from 0612, which the person holds again: nothing to do.
            form = app.openHistory();
            int oldest = -1;
            for (int i = 0; i < form->entries().size(); ++i)
                if (form->entries()[i].column == "Mobile")
                    oldest = i;
            form->selectEntry(oldest);
            form->PutBackButton->click();
            QVERIFY(form->isVisible());
            QCOMPARE(app.people()->state(), DatasetState::Browse);
            QCOMPARE(form->StatusLabel->text(), QString("Mobile holds this value already."));
            form->hide();
        }
    }

    // The window as it stands on the screen: Put back, then Close, Close the default, the focus in
    // the list, and what the keys do.
    void historyWindowOnTheScreen_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("editing"); // a value was put back
        QTest::addColumn<QStringList>("focusWalk");
        QTest::newRow("enter") << "enter" << false << false << QStringList{};
        QTest::newRow("escape") << "escape" << false << false << QStringList{};
        QTest::newRow("tab without a line chosen") << "tab" << true << false << QStringList{"CloseButton"};
        QTest::newRow("space chooses, tab, space puts back") << "space tab space" << false << true
                                                             << QStringList{"PutBackButton"};
        QTest::newRow("space chooses, enter closes") << "space enter" << false << false << QStringList{};
        QTest::newRow("tab round to the list") << "space tab tab tab" << true << false
                                               << QStringList{"PutBackButton", "CloseButton", "HistoryGrid"};
    }
    void historyWindowOnTheScreen()
    {
        QFETCH(QString, keys);
        QFETCH(bool, open);
        QFETCH(bool, editing);
        QFETCH(QStringList, focusWalk);
        HistoryApp app;
        QVERIFY(app.start());
        QVERIFY(app.people()->locate({"Name"}, {"Ann"}));
        app.save({{"Mobile", "0613"}});
        THistoryForm* form = app.openHistory();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QList<QPushButton*> buttons = form->findChildren<QPushButton*>();
        std::sort(buttons.begin(), buttons.end(), [form](QPushButton* a, QPushButton* b) {
            return a->mapTo(form, QPoint()).x() < b->mapTo(form, QPoint()).x();
        });
        QStringList order, defaults;
        for (QPushButton* b : buttons) {
            order << b->objectName();
            if (b->isDefault())
                defaults << b->objectName();
            QVERIFY(form->rect().contains(QRect(b->mapTo(form, QPoint()), b->size())));
        }
        QCOMPARE(order, (QStringList{"PutBackButton", "CloseButton"}));
        QCOMPARE(defaults, QStringList{"CloseButton"});
        QCOMPARE(QApplication::focusWidget(), form->HistoryGrid);
        QStringList walked;
        for (const QString& k : keys.split(' ')) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus);
            QTest::keyClick(focus, k == "enter" ? Qt::Key_Return : k == "escape" ? Qt::Key_Escape
                                   : k == "tab"  ? Qt::Key_Tab
                                                 : Qt::Key_Space);
            if (k == "tab") {
                walked << QApplication::focusWidget()->objectName();
                if (auto* b = qobject_cast<QPushButton*>(QApplication::focusWidget()))
                    QVERIFY(focusFrameDrawn(b));
            }
        }
        QCOMPARE(form->isVisible(), open);
        QCOMPARE(app.people()->state() == DatasetState::Edit, editing);
        if (editing)
            QCOMPARE(app.people()->value("Mobile").toString(), QString("0612"));
        QCOMPARE(walked, focusWalk);
        form->hide();
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestHistory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history.moc"
