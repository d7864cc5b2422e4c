#include "support/AppFixture.h"
#include "support/FocusLook.h"

#include "app/Program.h"
#include "contacts/CsvImport.h"
#include "contacts/PeoplePage.h"
#include "platform/AppPaths.h"
#include "help/HelpWebBrowser.h"
#include "help/TAboutForm.h"
#include "help/THelpForm.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

namespace {
const QString kSourceHelp = QStringLiteral(VANTREL_HELP_DIR);
const QString kSite = QStringLiteral("https://www.vantrel.example/");

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo& entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (entry.isDir())
            copyFolder(entry.filePath(), to + "/" + entry.fileName());
        else if (!QFile::copy(entry.filePath(), to + "/" + entry.fileName()))
            qFatal("cannot copy %s", qPrintable(entry.filePath()));
    }
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Scrolls the link to href into view and tells where it stands on the screen.
QPoint revealLink(QTextBrowser* browser, const QString& href)
{
    QTextDocument* doc = browser->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.charFormat().isAnchor() || f.charFormat().anchorHref() != href)
                continue;
            QTextCursor cursor(doc);
            cursor.setPosition(f.position() + f.length() / 2);
            browser->setTextCursor(cursor);
            browser->ensureCursorVisible();
            return browser->cursorRect(cursor).center();
        }
    }
    return {-1, -1};
}

// Clicks the link to href where it stands on the screen.
bool clickLink(QTextBrowser* browser, const QString& href)
{
    const QPoint at = revealLink(browser, href);
    if (at.x() < 0)
        return false;
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
    return true;
}

// Every href and src of a page, in page order.
QStringList targets(const QString& page)
{
    QFile f(page);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(page));
    static const QRegularExpression attribute("(?:href|src)\\s*=\\s*\"([^\"]*)\"",
                                              QRegularExpression::CaseInsensitiveOption);
    QStringList found;
    for (auto m = attribute.globalMatch(QString::fromUtf8(f.readAll())); m.hasNext();)
        found << m.next().captured(1);
    return found;
}

// The program on a fresh database, with the delivered help pages beside it.
struct HelpApp : AppFixture {
    explicit HelpApp(bool withPages = true, ScreenMetrics screen = ScreenMetrics{}) : AppFixture(screen)
    {
        if (withPages)
            copyFolder(kSourceHelp, db.dir() + "/help");
        db.addPerson("Anna Berg");
        if (!start())
            qFatal("the program did not start");
    }
    THelpForm* help() const { return program->helpForm; }
    HelpWebBrowser* browser() const { return help()->WebBrowser1; }
    QUrl page(const QString& name) const { return QUrl::fromLocalFile(db.dir() + "/help/" + name); }
};
} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void placedBesideTheMainWindowOnEveryShowing()
    {
        HelpApp app;
        TDataEntryForm* main = app.main();
        main->move(100, 50);
        QCOMPARE(main->frameGeometry().width(), 430);
        QCOMPARE(app.help()->frameGeometry().width(), 456);
        main->BitBtn5Click();
        QVERIFY(app.help()->isVisible());
        QCOMPARE(app.help()->size(), QSize(456, 94 + 427));
        QCOMPARE(app.browser()->geometry(), QRect(0, 94, 455, 427));
        // The window's frame counts: the right edges of the two frames are in line.
        const int outer = app.help()->frameGeometry().width();
        QCOMPARE(app.help()->frameGeometry().topLeft(), QPoint(100 + 430 - outer, 70));
        // A help window 456 pixels wide over all stands at 74, 70.
        app.help()->hide();
        app.help()->setFixedWidth(456 - (outer - 456));
        main->BitBtn5Click();
        QCOMPARE(app.help()->frameGeometry().width(), 456);
        QCOMPARE(app.help()->frameGeometry().topLeft(), QPoint(74, 70));

        // After OK the next showing follows the main window wherever it went.
        app.help()->SpeedButton2->click();
        QVERIFY(!app.help()->isVisible());
        main->move(300, 200);
        main->BitBtn5Click();
        QCOMPARE(app.help()->frameGeometry().topLeft(), QPoint(300 + 430 - 456, 220));
        QCOMPARE(main->frameGeometry().topLeft(), QPoint(300, 200));
    }

    void keptWhollyOnTheScreen()
    {
        ScreenMetrics screen;
        screen.width = 1280;
        screen.height = 1024;
        HelpApp app(true, screen);
        TDataEntryForm* main = app.main();
        THelpForm* help = app.help();
        // At the screen's left edge the rule would put it 26 pixels off: it moves just onto it.
        main->move(0, 100);
        main->BitBtn5Click();
        const QSize size = help->frameGeometry().size(); // with its frame, now that it is shown
        QCOMPARE(help->frameGeometry().topLeft(), QPoint(0, 120));
        help->SpeedButton2Click();
        // A wide main window low on the right: the help comes left and up just enough.
        main->Button7Click();
        QCOMPARE(main->frameGeometry().width(), 799);
        main->move(900, 700);
        main->BitBtn5Click();
        QCOMPARE(help->frameGeometry().topLeft(), QPoint(1280 - size.width(), 1024 - size.height()));
        help->SpeedButton2Click();
        // Only the free part of the screen counts: a panel along the top and one along the right.
        screen.available = QRect(0, 30, 1240, 994);
        Screen::setOverride([screen] { return screen; });
        main->move(500, 0);
        main->BitBtn5Click();
        QCOMPARE(help->frameGeometry().topLeft(), QPoint(1240 - size.width(), 30));
        help->SpeedButton2Click();
        // Where the rule keeps it on the screen, the rule alone places it.
        main->move(100, 50);
        main->BitBtn5Click();
        QCOMPARE(help->frameGeometry().topLeft(), QPoint(100 + 799 - size.width(), 70));
    }

    void everyCommandShowsTheOneWindowAndOkBringsBackTheStartPage()
    {
        HelpApp app;
        TDataEntryForm* main = app.main();
        main->move(100, 50);
        main->findChild<QAction*>("Content1")->trigger(); // Help, Vantrel BC Help...
        QVERIFY(app.help()->isVisible());
        QCOMPARE(app.browser()->source(), HelpPages::startPage());

        // The user reads on, scrolls and puts the window elsewhere; the command only raises it.
        QVERIFY(clickLink(app.browser(), "people.htm"));
        QCOMPARE(app.browser()->source(), app.page("people.htm"));
        QScrollBar* bar = app.browser()->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        const int scrolled = bar->value();
        QVERIFY(scrolled > 0);
        app.help()->move(500, 300);
        main->People->toolbar.value("SpeedButton13")->click();
        main->People->sideToolbar.value("Image10")->click();
        QCOMPARE(app.help()->frameGeometry().topLeft(), QPoint(500, 300));
        QCOMPARE(app.browser()->source(), app.page("people.htm"));
        QCOMPARE(bar->value(), scrolled);
        int windows = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            windows += qobject_cast<THelpForm*>(w) ? 1 : 0;
        QCOMPARE(windows, 1);
        QVERIFY(!app.help()->isModal() && app.help()->windowModality() == Qt::NonModal);

        // OK hides it; the next command starts again on the start page, from its top, beside the
        // main window, with no way back to the page read before.
        QTest::mouseClick(app.help()->SpeedButton2, Qt::LeftButton);
        QVERIFY(!app.help()->isVisible());
        main->BitBtn5Click();
        QCOMPARE(app.browser()->source(), HelpPages::startPage());
        QCOMPARE(bar->value(), 0);
        QVERIFY(!app.browser()->isBackwardAvailable());
        QCOMPARE(app.help()->frameGeometry().topLeft(),
                 QPoint(100 + 430 - app.help()->frameGeometry().width(), 70));
    }

    void navigationRule_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<QString>("handedToDesktop");
        QTest::addColumn<QString>("pageAfter"); // empty: stays on the page, where it was
        QTest::newRow("site address") << kSite << kSite << "";
        QTest::newRow("without the slash") << "https://www.vantrel.example"
                                           << "https://www.vantrel.example" << "";
        QTest::newRow("other case") << "HTTPS://WWW.VANTREL.EXAMPLE/" << kSite << "";
        QTest::newRow("deeper page of the site") << "https://www.vantrel.example/news/"
                                                 << "https://www.vantrel.example/news/" << "";
        QTest::newRow("other web page") << "http://example.com/a?b=c" << "http://example.com/a?b=c" << "";
        QTest::newRow("help page") << "other.htm" << "" << "other.htm";
        QTest::newRow("missing help page") << "gone.htm" << "" << "gone.htm";
        QTest::newRow("file beside the help") << "../Vantrel.vt" << "" << "";
        QTest::newRow("way out and back in") << "../help/../../x.htm" << "" << "";
        QTest::newRow("absolute file") << "file:///etc/hostname" << "" << "";
        QTest::newRow("mail") << "mailto:someone@example.com" << "" << "";
        QTest::newRow("other scheme") << "ftp://example.com/" << "" << "";
        QTest::newRow("script") << "javascript:alert(1)" << "" << "";
        // Only the help folder and the folders inside it count, as the file system resolves them.
        QTest::newRow("a page in a folder of the help") << "sub/page.htm" << "" << "sub/page.htm";
        QTest::newRow("a folder beside, named alike") << "../helpers/page.htm" << "" << "";
        QTest::newRow("a folder beside, one letter more") << "../help2/page.htm" << "" << "";
        QTest::newRow("a folder beside, in capitals") << "../HELP/page.htm" << "" << "";
        QTest::newRow("the help folder itself") << "./" << "" << "";
        QTest::newRow("a link that leads out") << "outside.htm" << "" << "";
        QTest::newRow("a link that stays inside") << "inner.htm" << "" << "inner.htm";
        QTest::newRow("out and into a folder named alike") << "../help/../helpers/page.htm" << "" << "";
    }
    void navigationRule()
    {
        QFETCH(QString, href);
        QFETCH(QString, handedToDesktop);
        QFETCH(QString, pageAfter);
        HelpApp app;
        QByteArray page = "<html><head><title>Links</title></head><body>";
        for (int i = 0; i < 60; ++i)
            page += "<p>Line " + QByteArray::number(i) + "</p>";
        page += "<p><a href=\"" + href.toHtmlEscaped().toUtf8() + "\">the link</a></p>";
        for (int i = 0; i < 60; ++i)
            page += "<p>More " + QByteArray::number(i) + "</p>";
        writeFile(app.db.dir() + "/help/links.htm", page + "</body></html>");
        writeFile(app.db.dir() + "/help/other.htm", "<html><body><p>The other page</p></body></html>");
        const QByteArray elsewhere = "<html><body><p>Not a help page</p></body></html>";
        for (const QString folder : {"helpers", "help2", "HELP"}) {
            QDir().mkpath(app.db.dir() + "/" + folder);
            writeFile(app.db.dir() + "/" + folder + "/page.htm", elsewhere);
        }
        QDir().mkpath(app.db.dir() + "/help/sub");
        writeFile(app.db.dir() + "/help/sub/page.htm", "<html><body><p>A page further in</p></body></html>");
        QVERIFY(QFile::link(app.db.dir() + "/helpers/page.htm", app.db.dir() + "/help/outside.htm"));
        QVERIFY(QFile::link(app.db.dir() + "/help/other.htm", app.db.dir() + "/help/inner.htm"));
        app.main()->BitBtn5Click();
        app.browser()->setSource(app.page("links.htm"));
        QCOMPARE(app.browser()->source(), app.page("links.htm"));
        app.opened.clear();

        const QPoint at = revealLink(app.browser(), href);
        QVERIFY(at.x() >= 0);
        const int scrolled = app.browser()->verticalScrollBar()->value();
        QVERIFY(scrolled > 0);
        QTest::mouseClick(app.browser()->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(app.opened, handedToDesktop.isEmpty() ? QStringList() : QStringList{handedToDesktop});
        QVERIFY(app.messages.isEmpty()); // the desktop took it: nothing to say
        if (pageAfter.isEmpty()) {
            QCOMPARE(app.browser()->source(), app.page("links.htm"));
            QVERIFY(app.browser()->toPlainText().contains("the link"));
            QCOMPARE(app.browser()->verticalScrollBar()->value(), scrolled);
        } else {
            QCOMPARE(app.browser()->source(), app.page(pageAfter));
            QVERIFY(!app.browser()->toPlainText().contains("the link"));
        }
        QVERIFY(!app.browser()->toPlainText().contains("Not a help page"));
        if (pageAfter == "gone.htm") {
            const QString text = app.browser()->toPlainText();
            QVERIFY(text.contains("This help page is missing"));
            QVERIFY(text.contains(QDir::toNativeSeparators(app.db.dir() + "/help/")));
        }
    }

    void withoutAWebBrowserTheUserIsToldAndThePageStays()
    {
        HelpApp app;
        app.desktopOpens = false;
        writeFile(app.db.dir() + "/help/links.htm",
                  "<html><head><title>Links</title></head><body><p><a href=\"" + kSite.toUtf8()
                      + "\">the site</a></p><p><a href=\"http://example.com/a\">another page</a></p>"
                        "<p><a href=\"Help.htm\">contents</a></p></body></html>");
        app.main()->BitBtn5Click();
        app.browser()->setSource(app.page("links.htm"));
        for (const QString& address : {kSite, QString("http://example.com/a")}) {
            app.messages.clear();
            QVERIFY(clickLink(app.browser(), address));
            QCOMPARE(app.opened.last(), address);
            QCOMPARE(app.messages.size(), 1);
            QCOMPARE(int(app.messages.first().icon), int(MessageBox::Icon::Warning));
            QCOMPARE(app.messages.first().buttons, QList<MessageBox::Button>{MessageBox::Button::Ok});
            QCOMPARE(app.messages.first().text,
                     "No web browser could be started to show " + address
                         + ". Open that address in a web browser yourself.");
            QCOMPARE(app.browser()->source(), app.page("links.htm"));
            QVERIFY(app.help()->isVisible());
        }
        // Help pages need no web browser.
        app.messages.clear();
        QVERIFY(clickLink(app.browser(), "Help.htm"));
        QCOMPARE(app.browser()->source(), app.page("Help.htm"));
        QVERIFY(app.messages.isEmpty());
    }

    void theFirstNavigationAndTheKeyboardMeetTheRule()
    {
        HelpApp app;
        // A browser that has shown nothing yet.
        HelpWebBrowser fresh;
        fresh.setSource(QUrl(kSite));
        QCOMPARE(app.opened, QStringList{kSite});
        QVERIFY(fresh.source().isEmpty());
        fresh.setSource(QUrl::fromLocalFile(app.db.dir() + "/Vantrel.vt"));
        QVERIFY(fresh.source().isEmpty());
        QVERIFY(fresh.toPlainText().isEmpty());
        fresh.setSource(QUrl("Help.htm")); // a bare name is a page of the help folder
        QCOMPARE(fresh.source(), app.page("Help.htm"));

        // A link followed from the keyboard: Tab to it, then Enter.
        app.opened.clear();
        writeFile(app.db.dir() + "/help/links.htm",
                  "<html><body><p>Read on <a href=\"" + kSite.toUtf8() + "\">the site</a>.</p></body></html>");
        app.main()->BitBtn5Click();
        HelpWebBrowser* b = app.browser();
        b->setSource(app.page("links.htm"));
        QVERIFY(QTest::qWaitForWindowActive(app.help()));
        b->setFocus();
        QTest::keyClick(b, Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(app.opened, QStringList{kSite});
        QCOMPARE(b->source(), app.page("links.htm"));
    }

    void theMainWindowsHiddenPageLoadsTheStartPage()
    {
        HelpApp app;
        TDataEntryForm* main = app.main();
        QCOMPARE(main->HelpBrowser->source(), HelpPages::startPage());
        QVERIFY(main->HelpBrowser->toPlainText().contains("Vantrel Help"));
        QVERIFY(!main->HelpBrowser->isVisible());
        QVERIFY(!main->HelpSheet->isVisible());
        // Same rule: nothing but a help page ever opens in it.
        main->HelpBrowser->setSource(QUrl("mailto:someone@example.com"));
        main->HelpBrowser->setSource(QUrl::fromLocalFile(app.db.dir() + "/Vantrel.vt"));
        QCOMPARE(main->HelpBrowser->source(), HelpPages::startPage());
        QVERIFY(app.opened.isEmpty());
    }

    void theRealHelpWindowAnswersTheKeys()
    {
        HelpApp app;
        THelpForm* help = app.help();
        // The title bar carries no buttons: OK and Escape close the window.
        QVERIFY(help->windowFlags() & Qt::CustomizeWindowHint);
        QVERIFY(!(help->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
        QCOMPARE(help->windowTitle(), QString("Vantrel Help"));
        const QList<QPushButton*> buttons = help->findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 1);
        QPushButton* ok = buttons.first();
        QCOMPARE(ok->text(), QString("OK"));
        QVERIFY(ok->isFlat() && ok->font().bold() && !ok->icon().isNull());
        QCOMPARE(ok->palette().color(QPalette::ButtonText), QColor(0, 128, 0));
        QCOMPARE(help->Image1->pixmap().size(), QSize(385, 94));
        // Top right, beside the banner.
        QVERIFY(ok->geometry().left() >= help->Image1->geometry().right());
        QVERIFY(ok->geometry().bottom() < help->Image1->geometry().bottom());
        QVERIFY(ok->geometry().right() < help->width());

        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Escape}) {
            app.main()->BitBtn5Click();
            QVERIFY(QTest::qWaitForWindowActive(help));
            QTRY_VERIFY2(QApplication::focusWidget() == ok, qPrintable(QString("key %1").arg(key)));
            // OK shows its focus frame before any key is pressed, on every showing.
            QVERIFY(focusFrameDrawn(ok));
            // Tab finds nothing else to visit: the page is no tab stop.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(ok));
            // The page scrolls from the keyboard while the focus stays on OK.
            QScrollBar* bar = app.browser()->verticalScrollBar();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
            QVERIFY(bar->value() > 0);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
            QCOMPARE(bar->value(), 0);
            // So do the arrow keys, which OK would otherwise take to move the focus.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QVERIFY(bar->value() > 0);
            const int down = bar->value();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
            QVERIFY(bar->value() < down);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(ok));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
            QVERIFY(help->isVisible());
            QTest::keyClick(QApplication::focusWidget(), key);
            QVERIFY2(!help->isVisible(), qPrintable(QString("key %1").arg(key)));
            // The window system hands the keyboard back to the main window, as a desktop does.
            app.main()->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(app.main()));
        }
    }

    void aboutWindowIsModalCentredAndClosedByOk()
    {
        HelpApp app;
        TAboutForm* about = app.program->aboutForm;
        QCOMPARE(about->windowTitle(), QString("About Vantrel (Belcarre)"));
        QVERIFY(!(about->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint)));
        QCOMPARE(about->Image1->pixmap().size(), QSize(385, 94));
        // Besides the banner, the one text is where the data and the help pages are.
        QCOMPARE(about->findChildren<QLabel*>().size(), 1);
        // On a team database no file holds the data: the connection file names where it is.
        const QString data = TestDatabase::onServer()
                                 ? "the team database named in " + QDir::toNativeSeparators(app.db.dir() + "/Vantrel.connection")
                                 : QDir::toNativeSeparators(app.db.path());
        QCOMPARE(about->DataFolder->toPlainText(), "Your data: " + data + "\nHelp pages: "
                                                       + QDir::toNativeSeparators(AppPaths::helpDir()));
        const QList<QPushButton*> buttons = about->findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 1);
        QPushButton* ok = buttons.first();
        QCOMPARE(ok->text(), QString("OK"));
        QVERIFY(ok->isFlat() && ok->font().bold() && !ok->icon().isNull());
        // Lower right, beside the banner.
        QVERIFY(ok->geometry().left() > about->Image1->geometry().right());
        QVERIFY(ok->geometry().bottom() >= about->Image1->geometry().bottom() - 2);

        // The click used below, while nothing blocks the main window, opens the help.
        QToolButton* helpButton = app.main()->People->toolbar.value("SpeedButton13");
        const QPoint onHelpButton = helpButton->mapTo(app.main(), helpButton->rect().center());
        QVERIFY(QTest::qWaitForWindowActive(app.main()));
        QTest::mouseClick(app.main()->windowHandle(), Qt::LeftButton, {}, onHelpButton);
        QVERIFY(app.help()->isVisible());
        app.help()->hide();

        app.modal = [](QDialog* d) { return d->exec(); };
        struct Seen {
            bool modal = false, mainBlocked = false, centred = false, focusDrawn = false;
            QString focus, defaultButton;
        };
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Escape, Qt::Key_unknown}) {
            Seen seen;
            bool open = false;
            QTimer::singleShot(0, [&] {
                QWidget* w = QApplication::activeModalWidget();
                open = w == about;
                if (!open)
                    return;
                QVERIFY(QTest::qWaitForWindowActive(about));
                seen.modal = about->windowModality() == Qt::ApplicationModal;
                // A click on the main window's Help button reaches nothing while the window is open.
                QTest::mouseClick(app.main()->windowHandle(), Qt::LeftButton, {}, onHelpButton);
                seen.mainBlocked = !app.help()->isVisible();
                const QPoint middle = about->frameGeometry().center();
                seen.centred = qAbs(middle.x() - 1024 / 2) <= 1 && qAbs(middle.y() - 768 / 2) <= 1;
                if (QWidget* f = QApplication::focusWidget())
                    seen.focus = f->objectName();
                if (ok->isDefault())
                    seen.defaultButton = ok->objectName();
                seen.focusDrawn = focusFrameDrawn(ok);
                if (key == Qt::Key_unknown)
                    QTest::mouseClick(ok, Qt::LeftButton);
                else
                    QTest::keyClick(QApplication::focusWidget(), key);
                if (about->isVisible())
                    about->done(QDialog::Rejected + 7);
            });
            app.main()->About1Click();
            QVERIFY(open);
            QVERIFY(!about->isVisible());
            QVERIFY(seen.modal);
            QVERIFY(seen.mainBlocked);
            QVERIFY(seen.centred);
            QCOMPARE(seen.focus, QString("SpeedButton2"));
            QCOMPARE(seen.defaultButton, QString("SpeedButton2"));
            QVERIFY(seen.focusDrawn);
            QVERIFY2(about->result() != QDialog::Rejected + 7, "the key left the window open");
        }
    }

    void everyLinkAndPictureOfTheHelpPagesResolves()
    {
        const QDir dir(kSourceHelp);
        QVERIFY(dir.exists("Help.htm"));
        AppPaths::setExecutableDir(QFileInfo(kSourceHelp).absolutePath());
        QSet<QString> used{"Help.htm"}, pages;
        QStringList queue{"Help.htm"};
        bool startLinksToSite = false;
        while (!queue.isEmpty()) {
            const QString name = queue.takeFirst();
            pages << name;
            for (const QString& target : targets(dir.filePath(name))) {
                const QUrl url = QUrl::fromLocalFile(dir.filePath(name)).resolved(QUrl(target));
                const auto kind = HelpWebBrowser::classify(url);
                if (target.startsWith("http", Qt::CaseInsensitive)) {
                    // The only web address of the pages is the site, written as the rule knows it.
                    QCOMPARE(target, kSite);
                    QCOMPARE(kind, HelpWebBrowser::Target::SiteAddress);
                    startLinksToSite = startLinksToSite || name == "Help.htm";
                    continue;
                }
                QVERIFY2(!target.contains('#'), qPrintable(name + ": " + target));
                QCOMPARE(kind, HelpWebBrowser::Target::HelpFile);
                const QString path = url.toLocalFile();
                QVERIFY2(QFileInfo(path).isFile(), qPrintable(name + " links to a missing " + target));
                const QString relative = dir.relativeFilePath(path);
                if (relative.endsWith(".png"))
                    QVERIFY2(!QImage(path).isNull(), qPrintable(relative));
                if (relative.endsWith(".htm") && !used.contains(relative))
                    queue << relative;
                used << relative;
            }
        }
        QVERIFY(startLinksToSite);
        AppPaths::setExecutableDir({});
        // Every file of the folder is reached from the start page: no page or picture is left over.
        for (QDirIterator it(kSourceHelp, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString relative = dir.relativeFilePath(it.next());
            QVERIFY2(used.contains(relative), qPrintable(relative + " is reached from no page"));
        }
        QVERIFY(pages.size() >= 12);
    }

    void everyPageRendersWithItsTitleAndPictures()
    {
        HelpApp app;
        HelpWebBrowser* b = app.browser();
        for (const QString& name : QDir(kSourceHelp).entryList({"*.htm"})) {
            b->setSource(app.page(name));
            QCOMPARE(b->source(), app.page(name));
            QVERIFY2(!b->documentTitle().isEmpty(), qPrintable(name));
            QVERIFY2(!b->toPlainText().contains("This help page is missing"), qPrintable(name));
            for (const QString& target : targets(kSourceHelp + "/" + name)) {
                if (!target.endsWith(".png"))
                    continue;
                const QVariant image = b->loadResource(QTextDocument::ImageResource, QUrl(target));
                QVERIFY2(!image.isNull(), qPrintable(name + ": " + target));
            }
        }
        // A picture is no more than the page is wide, so that no page scrolls sideways.
        for (QDirIterator it(kSourceHelp + "/pictures", {"*.png"}); it.hasNext();) {
            const QImage picture(it.next());
            QVERIFY2(picture.width() <= 430, qPrintable(it.fileName()));
        }
    }

    void theExampleFileImportsAsTheHelpSays()
    {
        // The header line that the import page shows, on several lines, is the one the import wants.
        QFile page(kSourceHelp + "/import.htm");
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        const int pre = html.indexOf("<pre>"), end = html.indexOf("</pre>");
        QVERIFY(pre > 0 && end > pre);
        QCOMPARE(html.mid(pre + 5, end - pre - 5).remove('\n'), CsvImport::headerLine());

        HelpApp app;
        const QString example = app.db.dir() + "/help/people-example.csv";
        QFile file(example);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readLine()).trimmed(), CsvImport::headerLine());
        file.close();
        FileDialog::setHandler([&](const FileDialog::Request&) { return example; });
        app.messages.clear();
        app.main()->SpeedButton14Click();
        FileDialog::setHandler({});
        QCOMPARE(app.messageTexts(), QStringList{"3 record(s) added."});
        QCOMPARE(app.db.count("People"), 4);
        QCOMPARE(app.db.scalar("SELECT Company FROM People WHERE Name = ?", {"Julia Stone"}).toString(),
                 QString("Stone, Webb and Partners"));
        QCOMPARE(app.db.scalar("SELECT HACity FROM People WHERE Email1 = ?", {"zoe@example.net"}).toString(),
                 QString("Montréal"));

        // Shown in the help window as text, with the way back to the page that led there.
        app.main()->BitBtn5Click();
        app.browser()->setSource(app.page("import.htm"));
        QVERIFY(clickLink(app.browser(), "people-example.csv"));
        const QString text = app.browser()->toPlainText();
        QVERIFY(text.contains(CsvImport::headerLine()));
        QVERIFY(text.contains("Mrs.,Zoë Lefèvre,Café Lumière"));
        QVERIFY(text.contains("Back to Importing and exporting people"));
        QVERIFY(app.opened.isEmpty());
        QVERIFY(clickLink(app.browser(), app.page("import.htm").toString(QUrl::FullyEncoded)));
        QCOMPARE(app.browser()->source(), app.page("import.htm"));
    }

    // A file of the help folder that is no page is shown as the text it holds, line by line and
    // character for character, under its name and folder and a way back to the page that led
    // there; a file that holds no text, or is not there, is said so.
    void aLinkedFileIsShownAsItsText_data()
    {
        QTest::addColumn<bool>("folderIsALink"); // the help folder beside the program is a link
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");  // shown as whole lines, in this order
        QTest::addColumn<QString>("absent");     // shown nowhere
        QTest::newRow("lines of a CSV file") << false << "people.csv" << QByteArray("Title,Name\r\nMr.,Bob\r\nMrs.,Ann\r\n")
                                             << QStringList{"Title,Name", "Mr.,Bob", "Mrs.,Ann"} << "";
        QTest::newRow("markup stays as written") << false << "notes.txt" << QByteArray("<b>bold</b> & <i>so</i> &amp;\n")
                                                 << QStringList{"<b>bold</b> & <i>so</i> &amp;"} << "";
        QTest::newRow("every kind of line end") << false << "ends.txt" << QByteArray("one\rtwo\nthree\r\nfour")
                                                << QStringList{"one", "two", "three", "four"} << "";
        QTest::newRow("blanks kept") << false << "blank.txt" << QByteArray("  two in\n\tafter  x")
                                     << QStringList{"  two in", "\tafter  x"} << "";
        QTest::newRow("an empty line kept") << false << "empty.txt" << QByteArray("before\n\nafter")
                                            << QStringList{"before", "", "after"} << "";
        QTest::newRow("accented letters") << false << "utf8.csv" << QByteArray("Zo\xC3\xAB,Caf\xC3\xA9")
                                          << QStringList{QString::fromUtf8("Zoë,Café")} << "";
        QTest::newRow("no text in it") << false << "picture.bin" << QByteArray("PK\x03\x04\0\0data", 10)
                                       << QStringList{"It holds no text to show here."} << "data";
        QTest::newRow("not there") << false << "gone.csv" << QByteArray()
                                   << QStringList{"It cannot be found or read."} << "";
        const QByteArray line(63, 'x');
        QTest::newRow("exactly as much as is shown") << false << "full.txt" << (line + '\n').repeated(1024)
                                                     << QStringList{QString(line), QString(line)}
                                                     << "(The rest of the file is not shown.)";
        QTest::newRow("longer than is shown") << false << "long.txt" << (line + '\n').repeated(1024) + "the end\n"
                                              << QStringList{QString(line), "(The rest of the file is not shown.)"}
                                              << "the end";
        QTest::newRow("through a linked help folder") << true << "people.csv" << QByteArray("Title,Name\nMr.,Bob\n")
                                                      << QStringList{"Title,Name", "Mr.,Bob"} << "";
    }
    void aLinkedFileIsShownAsItsText()
    {
        QFETCH(bool, folderIsALink);
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(QString, absent);
        HelpApp app;
        const QString help = app.db.dir() + "/help";
        if (folderIsALink) {
            QVERIFY(QDir().rename(help, app.db.dir() + "/pages"));
            QVERIFY(QFile::link(app.db.dir() + "/pages", help));
        }
        writeFile(help + "/files.htm", "<html><head><title>Files</title></head><body><p><a href=\"" + name.toUtf8()
                                           + "\">the file</a></p></body></html>");
        if (!bytes.isNull())
            writeFile(help + "/" + name, bytes);
        app.main()->BitBtn5Click();
        app.browser()->setSource(app.page("files.htm"));
        QCOMPARE(app.browser()->documentTitle(), QString("Files"));
        QVERIFY(clickLink(app.browser(), name));
        QCOMPARE(app.browser()->source(), app.page(name));
        QCOMPARE(app.browser()->documentTitle(), name);
        const QStringList shown = app.browser()->toPlainText().split('\n');
        const QStringList heading{"Back to Files", name,
                                  "This file lies in the folder " + QDir::toNativeSeparators(help + "/") + "."};
        QCOMPARE(shown.mid(0, 3), heading);
        qsizetype at = 3;
        for (const QString& line : lines) {
            at = shown.indexOf(line, at);
            QVERIFY2(at >= 0, qPrintable("not shown as a line: " + line));
            ++at;
        }
        if (!absent.isEmpty())
            QVERIFY(!app.browser()->toPlainText().contains(absent));
        QVERIFY(app.opened.isEmpty());
        QVERIFY(clickLink(app.browser(), app.page("files.htm").toString(QUrl::FullyEncoded)));
        QCOMPARE(app.browser()->source(), app.page("files.htm"));
    }

    void withoutTheHelpFolderTheWindowSaysWhereThePagesBelong()
    {
        HelpApp app(false);
        app.main()->BitBtn5Click();
        QVERIFY(app.help()->isVisible());
        const QString text = app.browser()->toPlainText();
        QVERIFY(text.contains("This help page is missing"));
        QVERIFY(text.contains(QDir::toNativeSeparators(app.db.dir() + "/help/")));
        QVERIFY(app.opened.isEmpty());
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
