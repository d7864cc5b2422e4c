#include "support/AppFixture.h"

#include "app/Program.h"
#include "data/MainDataModule.h"
#include "profile/TRetail.h"
#include "profile/Tactics.h"
#include "storage/sqlite/SqliteStore.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <sqlite3.h>

class TestRetail : public QObject {
    Q_OBJECT

    static QString answersOf(AppFixture& app, int person)
    {
        return app.db.scalar("SELECT group_concat(Answer, ',') FROM (SELECT Answer FROM QuestionsMain WHERE PersonID = ? "
                             "ORDER BY QuestionID) AS q", {person}).toString();
    }

    // Opens the window as the command does, runs the step while it is shown, then closes it.
    static void open(AppFixture& app, const std::function<void(TRetail*)>& step = {})
    {
        app.modal = [&](QDialog* d) {
            d->show();
            if (step)
                step(static_cast<TRetail*>(d));
            d->hide();
            return int(QDialog::Rejected);
        };
        app.main()->RetailButtonClick();
        app.modal = {};
    }

private slots:
    void init() { Connection::setDefaultBusyTimeout(100); }

    void emptyListSaysNoRecordSelected()
    {
        AppFixture app;
        QVERIFY(app.start());
        bool shown = false;
        app.modal = [&](QDialog*) { shown = true; return 0; };
        app.main()->Image4Click();
        QCOMPARE(app.messageTexts(), QStringList{"No record selected."});
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QVERIFY(!shown);
    }

    void firstOpeningCreatesTheRowsAndLaterOnesOnlyLoad()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        const int bob = app.db.addPerson("Bob");
        QVERIFY(app.start());
        QString firstText;
        int firstTab = -1;
        int checked = -1;
        open(app, [&](TRetail* r) {
            firstText = r->Memo1->toPlainText();
            firstTab = r->PageControl1->currentIndex();
            checked = 0;
            for (QRadioButton* b : r->findChildren<QRadioButton*>())
                checked += b->isChecked() ? 1 : 0;
            QCOMPARE(r->RadioGroups.size(), 24);
        });
        QCOMPARE(app.db.count("QuestionsMain", QString("PersonID = %1").arg(anna)), 24);
        QCOMPARE(app.db.count("QuestionsMain"), 24);
        QCOMPARE(app.db.scalar("SELECT group_concat(QuestionID, ',') FROM QuestionsMain").toString(),
                 QString("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24"));
        QCOMPARE(answersOf(app, anna), QString("-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1"));
        QCOMPARE(checked, 0);
        QCOMPARE(firstTab, 2);
        QCOMPARE(firstText,
                 QString("No suggested tactics. Please answer all questions in Assertiveness and Responsiveness tabs."));

        // "Risk taker" is stored the moment it is clicked.
        open(app, [&](TRetail* r) {
            r->PageControl1->setCurrentIndex(0);
            QRadioButton* riskTaker = r->findChild<QRadioButton*>("RadioGroup5Item1");
            QTest::mouseClick(riskTaker, Qt::LeftButton, {}, QPoint(6, riskTaker->height() / 2));
            QCOMPARE(app.db.scalar("SELECT Answer FROM QuestionsMain WHERE PersonID = ? AND QuestionID = 5", {anna})
                         .toInt(),
                     1);
        });
        const QString stored = answersOf(app, anna);
        bool riskTaker = false;
        open(app, [&](TRetail* r) { riskTaker = r->findChild<QRadioButton*>("RadioGroup5Item1")->isChecked(); });
        QVERIFY(riskTaker);
        QCOMPARE(answersOf(app, anna), stored); // opening writes nothing back
        QCOMPARE(app.db.count("QuestionsMain"), 24);

        // Another person gets rows of their own; the first keeps theirs.
        app.main()->SpeedButton9Click();
        open(app, [&](TRetail* r) {
            QVERIFY(!r->findChild<QRadioButton*>("RadioGroup5Item1")->isChecked());
        });
        QCOMPARE(app.db.count("QuestionsMain", QString("PersonID = %1").arg(bob)), 24);
        QCOMPARE(answersOf(app, anna), stored);
    }

    void answeringEverythingGivesTactics()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        for (int q = 1; q <= 24; ++q)
            app.db.exec("INSERT INTO QuestionsMain VALUES (?, ?, 1)", {anna, q});
        QVERIFY(app.start());
        QStringList lines;
        open(app, [&](TRetail* r) { lines = r->Memo1->toPlainText().split('\n'); });
        QCOMPARE(lines.size(), 16);
        QCOMPARE(lines.first(), QString("- Demonstrate how the product/solution helps achieve personal recognition."));
        QCOMPARE(lines.last(), QString("- Speak and move fast."));
    }

    void tabsAndHints()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        open(app, [&](TRetail* r) {
            r->PageControl1->setCurrentIndex(1);
            QGroupBox* q14 = r->findChild<QGroupBox*>("RadioGroup14");
            QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), q14->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(q14, &help);
            const QString hint = "Cool and aloof: Unfriendly, distant, and unsympathetic * Warm and approachable: "
                                 "Friendly and easy to talk to";
            QCOMPARE(r->ResponTip->text(), hint);
            QCOMPARE(r->AssertTip->text(), hint);

            r->Memo1->setPlainText("stale");
            r->PageControl1->setCurrentIndex(0); // between question tabs: no calculation
            QCOMPARE(r->ResponTip->text(), QString(" "));
            QCOMPARE(r->Memo1->toPlainText(), QString("stale"));
            r->PageControl1->setCurrentIndex(2);
            QVERIFY(r->Memo1->toPlainText().startsWith("No suggested tactics."));
        });
    }

    void brokenAnswerSetsAreMendedOnOpeningAndNeverShownWrong_data()
    {
        QTest::addColumn<QString>("rows"); // question:answer, in the order they were written
        QTest::addColumn<QString>("mended"); // answers of questions 1 to 24 afterwards
        QTest::newRow("partial: a kill after 5 rows") << "1:1,2:0,3:-1,4:1,5:0"
                                                      << "1,0,-1,1,0" + QString(",-1").repeated(19);
        QString doubled;
        for (int q = 1; q <= 24; ++q)
            doubled += QString("%1:%2,").arg(q).arg(q % 2);
        for (int q = 1; q <= 24; ++q)
            doubled += QString("%1:-1,").arg(q);
        doubled.chop(1);
        QString alternating;
        for (int q = 1; q <= 24; ++q)
            alternating += QString(q == 1 ? "%1" : ",%1").arg(q % 2);
        QTest::newRow("doubled by two copies, answered in the first set") << doubled << alternating;
        QTest::newRow("answered twice: the later answer counts") << "7:0,7:1" << "-1,-1,-1,-1,-1,-1,1" + QString(",-1").repeated(17);
        QString backwards;
        for (int q = 24; q >= 1; --q)
            backwards += QString(q == 24 ? "%1:%2" : ",%1:%2").arg(q).arg(q <= 12 ? 1 : 0);
        QTest::newRow("written backwards") << backwards
                                           << QString("1,").repeated(12) + QString("0,").repeated(11) + "0";
    }
    void brokenAnswerSetsAreMendedOnOpeningAndNeverShownWrong()
    {
        QFETCH(QString, rows);
        QFETCH(QString, mended);
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        for (const QString& row : rows.split(',')) {
            const QStringList qa = row.split(':');
            app.db.exec("INSERT INTO QuestionsMain VALUES (?, ?, ?)", {anna, qa[0].toInt(), qa[1].toInt()});
        }
        QVERIFY(app.start());
        QStringList shown;
        QString tactics;
        open(app, [&](TRetail* r) {
            for (int n = 1; n <= 24; ++n)
                shown << QString::number(r->selectedAnswer(n));
            tactics = r->Memo1->toPlainText();
        });
        QCOMPARE(answersOf(app, anna), mended);
        QCOMPARE(app.db.count("QuestionsMain"), 24);
        QCOMPARE(app.db.scalar("SELECT COUNT(DISTINCT QuestionID) FROM QuestionsMain").toInt(), 24);
        QCOMPARE(shown.join(','), mended);
        // Scored from the same answers as shown.
        QVector<int> answers;
        for (const QString& a : mended.split(','))
            answers << a.toInt();
        QCOMPARE(tactics, Tactics::calculate(answers).lines.join('\n'));
    }

    void theRowsAreMadeWhollyOrNotAtAll()
    {

        SKIP_ON_SERVER("errors, raised by a trigger of its own");
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        const int bob = app.db.addPerson("Bob");
        for (int q = 1; q <= 24; ++q)
            app.db.exec("INSERT INTO QuestionsMain VALUES (?, ?, 1)", {anna, q});
        // A failure in the middle of making the rows, as a kill or a full disk would cause.
        app.db.exec("CREATE TRIGGER Fail AFTER INSERT ON QuestionsMain WHEN NEW.QuestionID = 13 "
                    "BEGIN SELECT RAISE(ABORT, 'the disk failed'); END");
        QVERIFY(app.start());
        open(app); // Anna's answers and tactics are on the window now
        app.main()->SpeedButton9Click();
        QStringList shown;
        QString tactics;
        open(app, [&](TRetail* r) {
            for (int n = 1; n <= 24; ++n)
                shown << QString::number(r->selectedAnswer(n));
            tactics = r->Memo1->toPlainText();
        });
        QCOMPARE(app.db.count("QuestionsMain", QString("PersonID = %1").arg(bob)), 0);
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Error);
        QVERIFY2(app.messages[0].text.startsWith("The questionnaire of this person could not be prepared. "),
                 qPrintable(app.messages[0].text));
        QVERIFY2(app.messages[0].text.contains("the disk failed"), qPrintable(app.messages[0].text));
        QCOMPARE(app.program->retail->QMainTable->recordCount(), 0);
        // Bob is shown unanswered, never with Anna's answers or tactics.
        QCOMPARE(shown.join(','), QStringList(24, "-1").join(','));
        QVERIFY(tactics.startsWith("No suggested tactics."));

        app.db.exec("DROP TRIGGER Fail");
        open(app);
        QCOMPARE(app.db.count("QuestionsMain", QString("PersonID = %1").arg(bob)), 24);
        QCOMPARE(app.messages.size(), 1);
    }

    void aSecondCopyOpeningTheSamePersonFindsTheRows()
    {
        SKIP_ON_SERVER("busy handler, in which the other copy finishes while this one waits");
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        QVERIFY(app.start());
        // Another copy is making the rows and holds the write lock; it finishes while this copy
        // waits for the lock. This copy must then find them instead of making 24 more.
        app.db.exec("BEGIN IMMEDIATE");
        for (int q = 1; q <= 24; ++q)
            app.db.exec("INSERT INTO QuestionsMain VALUES (?, ?, ?)", {anna, q, q == 3 ? 1 : -1});
        struct Waiting {
            TestDatabase* other;
            int calls = 0;
        } waiting{&app.db};
        sqlite3_busy_handler(
            app.data()->MainADOConnection.file()->handle(),
            [](void* context, int) -> int {
                auto* w = static_cast<Waiting*>(context);
                if (w->calls++ == 0)
                    w->other->exec("COMMIT");
                return 1; // try again
            },
            &waiting);
        bool third = false;
        open(app, [&](TRetail* r) { third = r->selectedAnswer(3) == 1; });
        sqlite3_busy_timeout(app.data()->MainADOConnection.file()->handle(), 100);
        // At least the one wait for the other copy; the program's own whole-file check, reading
        // beside the window, can make the lock wait a little longer on a loaded machine.
        QVERIFY(waiting.calls >= 1);
        QCOMPARE(app.db.count("QuestionsMain"), 24);
        QVERIFY(third);
        QVERIFY(app.messages.isEmpty());
    }

    void aRefusedAnswerIsSaidAndNotShownAsStored()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        for (int q = 1; q <= 24; ++q)
            app.db.exec("INSERT INTO QuestionsMain VALUES (?, ?, -1)", {anna, q});
        QVERIFY(app.start());
        open(app, [&](TRetail* r) {
            r->PageControl1->setCurrentIndex(0);
            app.db.exec("BEGIN IMMEDIATE");
            QRadioButton* riskTaker = r->findChild<QRadioButton*>("RadioGroup5Item1");
            QTest::mouseClick(riskTaker, Qt::LeftButton, {}, QPoint(6, riskTaker->height() / 2));
            app.db.exec("ROLLBACK");
            QCOMPARE(r->selectedAnswer(5), -1);
            QCOMPARE(r->QMainTable->state(), DatasetState::Browse);
        });
        QCOMPARE(app.messages.size(), 1);
        QVERIFY2(app.messages[0].text.contains(app.db.locked()), qPrintable(app.messages[0].text));
        QCOMPARE(answersOf(app, anna), QStringList(24, "-1").join(','));
    }

    void anAnswerWithoutItsRowIsStoredOnceTheRowsCanBeMadeOrSaidWhyNot()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        QVERIFY(app.start());
        auto click = [](TRetail* r, const char* name) {
            QRadioButton* b = r->findChild<QRadioButton*>(name);
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
        };
        // Another program holds the write lock while the window opens: no rows can be made.
        app.db.exec("BEGIN IMMEDIATE");
        open(app, [&](TRetail* r) {
            QCOMPARE(app.messages.size(), 1);
            QVERIFY2(app.messages[0].text.startsWith("The questionnaire of this person could not be prepared. "
                                                     + app.db.locked()),
                     qPrintable(app.messages[0].text));
            r->PageControl1->setCurrentIndex(0);

            // Still locked: the click says why and the choice goes back.
            click(r, "RadioGroup5Item1");
            QCOMPARE(app.messages.size(), 2);
            QCOMPARE(app.messages[1].icon, MessageBox::Icon::Error);
            QVERIFY2(app.messages[1].text.startsWith("Your answer could not be stored. " + app.db.locked()),
                     qPrintable(app.messages[1].text));
            QCOMPARE(r->selectedAnswer(5), -1);

            // The lock is gone: the rows are made at the click, and the answer is stored.
            app.db.exec("ROLLBACK");
            click(r, "RadioGroup5Item1");
            QCOMPARE(app.messages.size(), 2);
            QCOMPARE(r->selectedAnswer(5), 1);
            QCOMPARE(app.db.count("QuestionsMain"), 24);
            QCOMPARE(answersOf(app, anna), QString("-1,-1,-1,-1,1") + QString(",-1").repeated(19));

            // Another program deletes her and her answers while the window is open: nothing is
            // made for a person who is gone, and the window shows what is stored.
            app.db.exec("DELETE FROM QuestionsMain WHERE PersonID = ?", {anna});
            app.db.exec("DELETE FROM People WHERE PersonID = ?", {anna});
            click(r, "RadioGroup3Item0");
            QCOMPARE(app.messages.size(), 3);
            QCOMPARE(app.messages[2].text,
                     QString("Your answer could not be stored. This person was deleted by another user."));
            QCOMPARE(r->selectedAnswer(3), -1);
            QCOMPARE(r->selectedAnswer(5), -1);
            QCOMPARE(app.db.count("QuestionsMain"), 0);
        });
    }

    void anUnsavedPersonGetsNoRows()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "1");
        bool shown = false;
        open(app, [&](TRetail* r) {
            shown = true;
            // An answer needs a saved person; the click says so and stores nothing.
            r->PageControl1->setCurrentIndex(0);
            QRadioButton* b = r->findChild<QRadioButton*>("RadioGroup1Item0");
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
            QCOMPARE(r->selectedAnswer(1), -1);
        });
        QVERIFY(shown); // the refused save is ignored and the window opens all the same
        QCOMPARE(app.messageTexts(),
                 (QStringList{"Required field (Name) is empty.",
                              "Your answer could not be stored. This person has not been saved yet. Save the "
                              "person first, then answer the questions."}));
        QCOMPARE(app.db.count("QuestionsMain"), 0);
    }
};

QTEST_MAIN(TestRetail)
#include "tst_retail.moc"
