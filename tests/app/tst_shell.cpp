#include "support/AppFixture.h"

#include "app/Program.h"
#include "contacts/PeoplePage.h"
#include "data/MainDataModule.h"
#include "filters/TFilters.h"
#include "followup/TFollowUpForm.h"
#include "followup/TPickDateForm.h"
#include "followup/TRemindersForm.h"
#include "help/TAboutForm.h"
#include "help/THelpForm.h"
#include "profile/TRetail.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {
const QString kFontMessage = "Display font size is NOT set to small fonts (96 dpi). To run correctly, display font size "
                             "must be set to small fonts (96 dpi). Vantrel BC will close now.";
const QString kScreenMessage = "Screen area is less than 800*600. To run correctly, screen area must be set to "
                               "800*600 or higher. Vantrel BC will close now.";

template <class T> int instances()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<T*>(w) ? 1 : 0;
    return n;
}
} // namespace

// Start-up through the real screen: ctest runs this program on several simulated screens and
// names the one in VANTREL_TEST_SCREEN.
class TestShell : public QObject {
    Q_OBJECT
private slots:
    void displayChecksReadTheRealScreen()
    {
        const QByteArray screen = qgetenv("VANTREL_TEST_SCREEN");
        AppFixture app;
        Screen::setOverride({}); // the primary screen itself
        QStringList expected;
        if (screen == "120dpi-low")
            expected = {kFontMessage, kScreenMessage};
        else if (screen == "96dpi-589")
            expected = {kScreenMessage};
        const ScreenMetrics m = Screen::metrics();
        QCOMPARE(m.height, QGuiApplication::primaryScreen()->geometry().height());
        const bool started = app.start();
        QCOMPARE(app.messageTexts(), expected);
        QCOMPARE(started, expected.isEmpty());
        QCOMPARE(app.program->quitRequested(), !expected.isEmpty());
        QCOMPARE(app.program->exitCode(), 0);
        if (screen == "120dpi-low") {
            QCOMPARE(qRound(m.logicalDpi), 120);
            QCOMPARE(m.height, 560);
            QVERIFY(!app.main()->isVisible());
        } else if (screen == "120dpi-tall") {
            // Scaled by 1.25: it answers 96 and its size in scaled pixels, and passes the check.
            QCOMPARE(qRound(m.logicalDpi), 96);
            QCOMPARE(m.width, 1024);
            QCOMPARE(m.height, 819);
        } else if (screen.startsWith("96dpi-")) {
            QCOMPARE(qRound(m.logicalDpi), 96);
            QCOMPARE(m.height, screen.mid(6).toInt());
            QCOMPARE(app.main()->isVisible(), expected.isEmpty());
        }
    }

    void everyWindowIsMadeOnceAndOnlyShownAfterwards()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        auto counts = [] {
            return QList<int>{instances<TDataEntryForm>(), instances<THelpForm>(), instances<TFollowUpForm>(),
                              instances<TRemindersForm>(), instances<TFilters>(), instances<TAboutForm>(),
                              instances<TRetail>(), instances<TPickDateForm>()};
        };
        QCOMPARE(counts(), QList<int>(8, 1));
        QWidget* splash = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "SplashForm")
                splash = w;
        QVERIFY(!splash); // destroyed at the end of start-up

        int opened = 0;
        app.modal = [&](QDialog* d) {
            ++opened;
            d->show();
            d->hide();
            return int(QDialog::Rejected);
        };
        TDataEntryForm* w = app.main();
        w->RetailButtonClick();
        w->BitBtn8Click();
        w->BitBtn7Click();
        w->About1Click();
        w->Button2Click();
        w->BitBtn5Click();
        w->BitBtn5Click();
        QCOMPARE(opened, 5);
        QCOMPARE(counts(), QList<int>(8, 1));
        QVERIFY(app.program->helpForm->isVisible());
        QCOMPARE(app.program->retail->parentWidget(), static_cast<QWidget*>(w));
    }

    void aboutAndHelpOkAnswersTheKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("enter") << "enter";
        QTest::newRow("space") << "space";
        QTest::newRow("escape") << "escape";
    }
    void aboutAndHelpOkAnswersTheKeys()
    {
        QFETCH(QString, key);
        AppFixture app;
        QVERIFY(app.start());
        app.main()->activateWindow();
        // The OK of the two windows that show the banner: flat, a bold green caption and its
        // picture, drawn without a style sheet so that the style's focus frame stays.
        auto look = [](QPushButton* ok) {
            return ok && ok->text() == "OK" && ok->isFlat() && !ok->icon().isNull() && ok->styleSheet().isEmpty()
                   && ok->font().bold() && ok->palette().color(QPalette::ButtonText) == QColor(0, 128, 0);
        };
        QString seen;
        app.modal = [&](QDialog* d) {
            QTimer::singleShot(0, [&, d] {
                QCoreApplication::processEvents();
                auto* ok = d->findChild<QPushButton*>("SpeedButton2");
                const QList<QPushButton*> buttons = d->findChildren<QPushButton*>();
                seen = QString("look %1, only %2, default %3, focus %4")
                           .arg(look(ok))
                           .arg(buttons.size() == 1)
                           .arg(ok && ok->isDefault())
                           .arg(ok && QApplication::focusWidget() == ok);
                QWidget* focus = QApplication::focusWidget();
                if (focus)
                    QTest::keyClick(focus, key == "enter" ? Qt::Key_Return : key == "space" ? Qt::Key_Space : Qt::Key_Escape);
                if (d->isVisible()) {
                    seen += ", left open";
                    d->reject();
                }
            });
            return d->exec();
        };
        app.main()->About1Click();
        QCOMPARE(seen, QString("look 1, only 1, default 1, focus 1"));

        app.main()->BitBtn5Click();
        THelpForm* help = app.program->helpForm;
        QVERIFY(help->isVisible());
        auto* ok = help->findChild<QPushButton*>("SpeedButton2");
        QVERIFY(look(ok));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!help->isVisible());
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
