#include "support/AppFixture.h"
#include "support/FocusLook.h"

#include "contacts/PeoplePage.h"
#include "data/Dataset.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

using Button = MessageBox::Button;
using Icon = MessageBox::Icon;

namespace {
// What the user meets in the real box, read while it is on the screen.
struct Seen {
    bool shown = false;
    QString caption, text;
    QStringList buttons;      // object names, left to right as drawn
    QStringList captions;     // their texts, in the same order
    QString defaultButton;    // the one drawn as default, if any
    QString focus;            // the button that has the keyboard focus
    bool focusDrawn = false;  // that button looks focused before any key is pressed
    QImage icon;
    bool leftOpen = false;    // the keys did not close it
    int besideCaption = 0;    // the box's width less its caption's, for the title bar's icon and buttons
};

// Arranges for the next message box to be looked at and answered with keys sent to the widget
// that really has the focus; a box the keys leave open is closed so the test can go on.
void answerNextBoxWith(Seen& seen, const std::function<void()>& keys)
{
    QTimer::singleShot(0, [&seen, keys] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || box->objectName() != "MessageBox")
            return;
        // The window system activates the box as it appears; let its events arrive.
        QCoreApplication::processEvents();
        seen.shown = box->isActiveWindow();
        seen.caption = box->windowTitle();
        seen.besideCaption = box->width() - box->fontMetrics().horizontalAdvance(seen.caption);
        seen.text = box->findChild<QLabel*>("Text")->text();
        seen.icon = box->findChild<QLabel*>("Icon")->pixmap().toImage();
        QList<QPushButton*> buttons = box->findChildren<QPushButton*>();
        std::sort(buttons.begin(), buttons.end(), [box](QPushButton* a, QPushButton* b) {
            return a->mapTo(box, QPoint()).x() < b->mapTo(box, QPoint()).x();
        });
        for (QPushButton* b : buttons) {
            seen.buttons << b->objectName();
            seen.captions << b->text();
            if (b->isDefault())
                seen.defaultButton = b->objectName();
        }
        if (QWidget* f = QApplication::focusWidget())
            seen.focus = f->objectName();
        seen.focusDrawn = focusFrameDrawn(qobject_cast<QPushButton*>(QApplication::focusWidget()));
        keys();
        if (box->isVisible()) {
            seen.leftOpen = true;
            box->done(QDialog::Rejected);
        }
    });
}

void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, k, m);
}

MessageBox::Request request(Icon icon, QList<Button> buttons, Button def, Button escape)
{
    MessageBox::Request r;
    r.icon = icon;
    r.text = "Proceed?";
    r.buttons = buttons;
    r.defaultButton = def;
    r.escapeButton = escape;
    return r;
}

QImage standardIcon(QStyle::StandardPixmap p, const QImage& like)
{
    return QApplication::style()->standardIcon(p).pixmap(like.size() / like.devicePixelRatio()).toImage();
}
} // namespace

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBox::setHandler({}); }

    void buttonsDefaultFocusAndKeys_data()
    {
        QTest::addColumn<QList<Button>>("buttons");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<int>("escapeButton");
        QTest::addColumn<QStringList>("onScreen");
        QTest::addColumn<QString>("drawnDefault");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("answer");
        const QList<Button> noYesToAll{Button::No, Button::YesToAll};
        const QStringList all{"No", "YesToAll"};
        // The delete-all question: no default, so the focus rests on the harmless No.
        QTest::newRow("all, space") << noYesToAll << int(Button::None) << int(Button::No) << all << "" << "No"
                                    << "space" << int(Button::No);
        QTest::newRow("all, enter") << noYesToAll << int(Button::None) << int(Button::No) << all << "" << "No"
                                    << "enter" << int(Button::No);
        QTest::newRow("all, escape") << noYesToAll << int(Button::None) << int(Button::No) << all << "" << "No"
                                     << "escape" << int(Button::No);
        QTest::newRow("all, tab then enter") << noYesToAll << int(Button::None) << int(Button::No) << all << ""
                                             << "No" << "tab enter" << int(Button::YesToAll);
        QTest::newRow("all, close box") << noYesToAll << int(Button::None) << int(Button::No) << all << "" << "No"
                                        << "close" << int(Button::No);
        // The delete question: Yes is the default and has the focus, Escape says No.
        const QList<Button> yesNo{Button::Yes, Button::No};
        const QStringList yn{"Yes", "No"};
        QTest::newRow("one, enter") << yesNo << int(Button::Yes) << int(Button::No) << yn << "Yes" << "Yes"
                                    << "enter" << int(Button::Yes);
        QTest::newRow("one, space") << yesNo << int(Button::Yes) << int(Button::No) << yn << "Yes" << "Yes"
                                    << "space" << int(Button::Yes);
        QTest::newRow("one, escape") << yesNo << int(Button::Yes) << int(Button::No) << yn << "Yes" << "Yes"
                                     << "escape" << int(Button::No);
        QTest::newRow("one, tab then space") << yesNo << int(Button::Yes) << int(Button::No) << yn << "Yes" << "Yes"
                                             << "tab space" << int(Button::No);
        // A plain message: OK answers every key.
        QTest::newRow("ok, enter") << QList<Button>{Button::Ok} << int(Button::Ok) << int(Button::Ok)
                                   << QStringList{"OK"} << "OK" << "OK" << "enter" << int(Button::Ok);
        QTest::newRow("ok, escape") << QList<Button>{Button::Ok} << int(Button::Ok) << int(Button::Ok)
                                    << QStringList{"OK"} << "OK" << "OK" << "escape" << int(Button::Ok);
        // The question before an empty database is made: Cancel is the default, OK only by choice.
        const QList<Button> okCancel{Button::Ok, Button::Cancel};
        const QStringList oc{"OK", "Cancel"};
        for (const char* keys : {"enter", "space", "escape"})
            QTest::newRow(qPrintable(QString("cancel default, ") + keys))
                << okCancel << int(Button::Cancel) << int(Button::Cancel) << oc << "Cancel" << "Cancel" << keys
                << int(Button::Cancel);
        QTest::newRow("cancel default, tab then space") << okCancel << int(Button::Cancel) << int(Button::Cancel) << oc
                                                        << "Cancel" << "Cancel" << "tab space" << int(Button::Ok);
        // The closing message of an import: OK stays the answer of every key but a chosen undo.
        const QList<Button> okUndo{Button::Ok, Button::UndoImport};
        const QStringList ou{"OK", "UndoImport"};
        for (const char* keys : {"enter", "space", "escape", "close"})
            QTest::newRow(qPrintable(QString("import closed, ") + keys))
                << okUndo << int(Button::Ok) << int(Button::Ok) << ou << "OK" << "OK" << keys << int(Button::Ok);
        QTest::newRow("import closed, tab then enter") << okUndo << int(Button::Ok) << int(Button::Ok) << ou << "OK"
                                                       << "OK" << "tab enter" << int(Button::UndoImport);
        // Deleting for ever: No is the default, so no key deletes by chance.
        for (const char* keys : {"enter", "space", "escape"})
            QTest::newRow(qPrintable(QString("for ever, ") + keys))
                << yesNo << int(Button::No) << int(Button::No) << yn << "No" << "No" << keys << int(Button::No);
        // The underlined letter answers whatever the default.
        QTest::newRow("for ever, y") << yesNo << int(Button::No) << int(Button::No) << yn << "No" << "No" << "y"
                                     << int(Button::Yes);
        QTest::newRow("for ever, n") << yesNo << int(Button::No) << int(Button::No) << yn << "No" << "No" << "n"
                                     << int(Button::No);
        QTest::newRow("import closed, u") << okUndo << int(Button::Ok) << int(Button::Ok) << ou << "OK" << "OK" << "u"
                                          << int(Button::UndoImport);
        QTest::newRow("for ever, shift tab then space") << yesNo << int(Button::No) << int(Button::No) << yn << "No"
                                                        << "No" << "backtab space" << int(Button::Yes);
        // Without a default, the focus goes to Cancel wherever it stands.
        QTest::newRow("cancel last") << QList<Button>{Button::Yes, Button::No, Button::Cancel} << int(Button::None)
                                     << int(Button::Cancel) << QStringList{"Yes", "No", "Cancel"} << "" << "Cancel"
                                     << "space" << int(Button::Cancel);
    }
    void buttonsDefaultFocusAndKeys()
    {
        QFETCH(QList<Button>, buttons);
        QFETCH(int, defaultButton);
        QFETCH(int, escapeButton);
        QFETCH(QStringList, onScreen);
        QFETCH(QString, drawnDefault);
        QFETCH(QString, focus);
        QFETCH(QString, keys);
        QFETCH(int, answer);
        Seen seen;
        answerNextBoxWith(seen, [&] {
            for (const QString& k : keys.split(' ')) {
                if (k == "space") key(Qt::Key_Space);
                else if (k == "enter") key(Qt::Key_Return);
                else if (k == "escape") key(Qt::Key_Escape);
                else if (k == "tab") key(Qt::Key_Tab);
                else if (k == "backtab") key(Qt::Key_Backtab);
                else if (k == "close") QApplication::activeModalWidget()->close();
                else if (k.size() == 1) key(Qt::Key(Qt::Key_A + (k.at(0).toLatin1() - 'a')));
            }
        });
        const Button got = MessageBox::show(request(Icon::Warning, buttons, Button(defaultButton), Button(escapeButton)));
        QVERIFY(seen.shown);
        QVERIFY(!seen.leftOpen);
        QCOMPARE(seen.buttons, onScreen);
        QCOMPARE(seen.defaultButton, drawnDefault);
        QCOMPARE(seen.focus, focus);
        QVERIFY(seen.focusDrawn);
        QCOMPARE(int(got), answer);
    }

    void captionIconAndText_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("pixmap");
        QTest::newRow("information") << int(Icon::Information) << "Information" << int(QStyle::SP_MessageBoxInformation);
        QTest::newRow("warning") << int(Icon::Warning) << "Warning" << int(QStyle::SP_MessageBoxWarning);
        QTest::newRow("error") << int(Icon::Error) << "Error" << int(QStyle::SP_MessageBoxCritical);
        QTest::newRow("stop") << int(Icon::Stop) << "Vantrel (Belcarre)" << int(QStyle::SP_MessageBoxCritical);
    }
    void captionIconAndText()
    {
        QFETCH(int, icon);
        QFETCH(QString, caption);
        QFETCH(int, pixmap);
        // A text shorter than the caption leaves the title bar the room it needs all the same.
        for (const QString& text : {QString("Required field (Name) is empty. <b>not bold</b>"), QString("7 done.")}) {
            Seen seen;
            answerNextBoxWith(seen, [] { key(Qt::Key_Return); });
            QCOMPARE(MessageBox::show(Icon(icon), text), Button::Ok);
            QCOMPARE(seen.caption, caption);
            QCOMPARE(seen.text, text); // shown as written, never as markup
            QCOMPARE(seen.buttons, QStringList{"OK"});
            QVERIFY(!seen.icon.isNull());
            QCOMPARE(seen.icon, standardIcon(QStyle::StandardPixmap(pixmap), seen.icon));
            QVERIFY2(seen.besideCaption >= 140, qPrintable(QString::number(seen.besideCaption)));
        }
    }

    void aQuestionWithoutEscapeMustBeAnswered()
    {
        Seen seen;
        answerNextBoxWith(seen, [] {
            key(Qt::Key_Escape);
            QApplication::activeModalWidget()->close();
            QVERIFY(QApplication::activeModalWidget()); // still there
            key(Qt::Key_Space);
        });
        QCOMPARE(MessageBox::show(request(Icon::Warning, {Button::Yes, Button::No}, Button::None, Button::None)),
                 Button::Yes);
        QVERIFY(!seen.leftOpen);
        QCOMPARE(seen.focus, QString("Yes"));
    }

    // The questions as the record commands really ask them.
    void deleteAllQuestionOnTheScreen()
    {
        AppFixture app;
        for (int i = 0; i < 3; ++i)
            app.db.addPerson(QString("P%1").arg(i));
        QVERIFY(app.start());
        MessageBox::setHandler({});
        Seen seen;
        answerNextBoxWith(seen, [] { key(Qt::Key_Space); });
        app.main()->SpeedButton1Click();
        QCOMPARE(seen.text, QString("This will delete ALL records in your database. Proceed?"));
        QCOMPARE(seen.caption, QString("Warning"));
        QCOMPARE(seen.icon, standardIcon(QStyle::SP_MessageBoxWarning, seen.icon));
        QCOMPARE(seen.buttons, (QStringList{"No", "YesToAll"}));
        QCOMPARE(seen.captions, (QStringList{"&No", "Yes to &All"}));
        QCOMPARE(seen.defaultButton, QString());
        QCOMPARE(seen.focus, QString("No"));
        QVERIFY(seen.focusDrawn);
        QCOMPARE(app.db.count("People"), 3);

        answerNextBoxWith(seen, [] { key(Qt::Key_Return); });
        app.main()->SpeedButton1Click();
        QCOMPARE(app.db.count("People"), 3);

        answerNextBoxWith(seen, [] {
            key(Qt::Key_Tab);
            key(Qt::Key_Space);
        });
        app.main()->SpeedButton1Click();
        QCOMPARE(app.db.count("People"), 0);
    }

    void deleteQuestionOnTheScreen()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        app.db.addPerson("Bob");
        QVERIFY(app.start());
        MessageBox::setHandler({});
        Seen seen;
        answerNextBoxWith(seen, [] { key(Qt::Key_Escape); });
        app.main()->SpeedButton3Click();
        QCOMPARE(seen.text, QString("This will delete the current record. Proceed?"));
        QCOMPARE(seen.buttons, (QStringList{"Yes", "No"}));
        QCOMPARE(seen.defaultButton, QString("Yes"));
        QCOMPARE(seen.focus, QString("Yes"));
        QCOMPARE(app.db.count("People"), 2);
        answerNextBoxWith(seen, [] { key(Qt::Key_Return); });
        app.main()->SpeedButton3Click();
        QCOMPARE(app.db.count("People"), 1);
        QCOMPARE(app.people()->value("Name").toString(), QString("Bob"));
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
