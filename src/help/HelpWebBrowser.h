#pragma once
#include <QTextBrowser>

// Where the help pages live and the one address that belongs to the desktop's browser.
namespace HelpPages {
QString siteAddress();  // the maker's web site, with its trailing slash
QString folder();       // the help folder (AppPaths::helpDir), with a trailing separator
QUrl startPage();       // help/Help.htm in that folder
}

// The browser of the help pages. Every navigation, the first one included, passes one rule:
// the site address and other web pages go to the desktop's browser while the view stays on its
// page; files of the help folder open here; nothing else opens at all.
class HelpWebBrowser : public QTextBrowser {
    Q_OBJECT
public:
    enum class Target { SiteAddress, HelpFile, WebPage, Refused };

    explicit HelpWebBrowser(QWidget* parent = nullptr);

    static Target classify(const QUrl& url);
    void showStartPage(); // the start page from its top, with no way back to earlier pages
    QVariant loadResource(int type, const QUrl& name) override;

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

private:
    QUrl resolved(const QUrl& url) const;
    QUrl m_back; // the page that led to a file shown as text
    QString m_backTitle;
};
