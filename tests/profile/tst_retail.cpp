#include "support/AppFixture.h"

#include "app/Program.h"
#include "data/MainDataModule.h"
#include "profile/TRetail.h"

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

class TestRetail : public QObject {
    Q_OBJECT

    static QString answersOf(AppFixture& app, int person)
    {
        return app.db.scalar("SELECT group_concat(Answer, ',') FROM (SELECT Answer FROM QuestionsMain WHERE PersonID = ? "
                             "ORDER BY QuestionID)", {person}).toString();
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

    void anUnsavedPersonGetsNoRows()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Mobile"), "1");
        bool shown = false;
        open(app, [&](TRetail*) { shown = true; });
        QVERIFY(shown); // the refused save is ignored and the window opens all the same
        QCOMPARE(app.messageTexts(), QStringList{"Required field (Name) is empty."});
        QCOMPARE(app.db.count("QuestionsMain"), 0);
    }
};

QTEST_MAIN(TestRetail)
#include "tst_retail.moc"
