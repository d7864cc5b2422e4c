#include "support/AppFixture.h"

#include "app/Program.h"
#include "profile/Questions.h"
#include "profile/TRetail.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace {
int focusedQuestion()
{
    QWidget* w = QApplication::focusWidget();
    if (!w || !w->parentWidget())
        return 0;
    return w->parentWidget()->property("tag").toInt();
}

void press(Qt::Key key)
{
    QWidget* w = QApplication::focusWidget();
    QVERIFY(w);
    QTest::keyClick(w, key);
}

// Opens the window as the command does and runs the step while it is on the screen and active.
void withWindow(AppFixture& app, const std::function<void(TRetail*)>& step)
{
    app.modal = [&](QDialog* d) {
        d->show();
        d->activateWindow();
        QCoreApplication::processEvents();
        step(static_cast<TRetail*>(d));
        d->hide();
        return int(QDialog::Rejected);
    };
    app.main()->RetailButtonClick();
    app.modal = {};
}

void clickTab(TRetail* r, int index)
{
    QTabBar* bar = r->PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}
} // namespace

class TestRetailKeys : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Program::setUpApplication(); }

    void tabFollowsTheQuestionsWhateverWasClicked()
    {
        AppFixture app;
        const int anna = app.db.addPerson("Anna");
        QVERIFY(app.start());
        withWindow(app, [&](TRetail* r) {
            QVERIFY(r->isActiveWindow());
            clickTab(r, 0);
            QCOMPARE(r->PageControl1->currentIndex(), 0);
            QCOMPARE(focusedQuestion(), 1); // the focus goes with the tab
            QRadioButton* riskTaker = r->findChild<QRadioButton*>("RadioGroup5Item1");
            QTest::mouseClick(riskTaker, Qt::LeftButton, {}, QPoint(6, riskTaker->height() / 2));
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(riskTaker));
            QList<int> visited;
            for (int i = 0; i < 8; ++i) {
                press(Qt::Key_Tab);
                visited << focusedQuestion();
            }
            QCOMPARE(visited, (QList<int>{6, 7, 8, 9, 10, 11, 12, 1}));
            // Back again: question 5 is entered on its chosen answer.
            for (int i = 0; i < 8; ++i)
                press(Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(riskTaker));

            clickTab(r, 1);
            QCOMPARE(focusedQuestion(), 13);
            QRadioButton* q20 = r->findChild<QRadioButton*>("RadioGroup20Item1");
            QTest::mouseClick(q20, Qt::LeftButton, {}, QPoint(6, q20->height() / 2));
            visited.clear();
            for (int i = 0; i < 5; ++i) {
                press(Qt::Key_Tab);
                visited << focusedQuestion();
            }
            QCOMPARE(visited, (QList<int>{21, 22, 23, 24, 13}));
            // The arrow keys choose within a question, and the choice is stored.
            for (int i = 0; i < 5; ++i)
                press(Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(q20));
            press(Qt::Key_Left);
            QVERIFY(r->findChild<QRadioButton*>("RadioGroup20Item0")->isChecked());
        });
        QCOMPARE(app.db.scalar("SELECT Answer FROM QuestionsMain WHERE PersonID = ? AND QuestionID = 5", {anna}).toInt(), 1);
        QCOMPARE(app.db.scalar("SELECT Answer FROM QuestionsMain WHERE PersonID = ? AND QuestionID = 20", {anna}).toInt(), 0);
    }

    void theHintBoxShowsEveryHintWhole()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        withWindow(app, [&](TRetail* r) {
            for (int n = 1; n <= 24; ++n) {
                r->PageControl1->setCurrentIndex(n <= 12 ? 0 : 1);
                QGroupBox* group = r->RadioGroups[n - 1];
                QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), group->mapToGlobal(QPoint(5, 5)));
                QApplication::sendEvent(group, &help);
                QLabel* tip = n <= 12 ? r->AssertTip : r->ResponTip;
                const QString hint = QString::fromUtf8(Questions::at(n).hint);
                QCOMPARE(tip->text(), hint);
                QVERIFY2(tip->heightForWidth(tip->width()) <= tip->height(), qPrintable(QString::number(n)));
                const QRect inside = tip->contentsRect().adjusted(tip->margin(), tip->margin(), -tip->margin(),
                                                                  -tip->margin());
                const QRect need = tip->fontMetrics().boundingRect(inside, Qt::TextWordWrap, hint);
                QVERIFY2(inside.contains(need), qPrintable(QString("hint %1 needs %2 lines' room").arg(n)));
                // The box lies inside its tab, below the last question.
                QVERIFY(tip->parentWidget()->rect().contains(tip->geometry()));
            }
            QCOMPARE(r->AssertTip->focusPolicy(), Qt::NoFocus);
        });
    }
};

QTEST_MAIN(TestRetailKeys)
#include "tst_retailkeys.moc"
