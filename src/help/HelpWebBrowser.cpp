#include "HelpWebBrowser.h"

#include "platform/MessageBox.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {
// A path as the file system resolves it, so that ".." or a link cannot lead out of the folder.
QString realPath(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

bool insideHelpFolder(const QUrl& url)
{
    return url.isLocalFile() && realPath(url.toLocalFile()).startsWith(realPath(HelpPages::folder()) + '/');
}

bool isPage(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == "htm" || suffix == "html";
}

// What the view shows in place of a page of the help folder that is not there.
QString missingPage(const QString& path)
{
    const bool installed = HelpPages::folder() != AppPaths::executableDir() + "help/";
    return QString("<html><body><h2>This help page is missing</h2>"
                   "<p>The file <b>%1</b> cannot be found.</p>"
                   "<p>The help pages belong in the folder <b>%2</b>. %3</p></body></html>")
        .arg(QDir::toNativeSeparators(path).toHtmlEscaped(),
             QDir::toNativeSeparators(HelpPages::folder()).toHtmlEscaped(),
             installed ? QString("Install Vantrel again to have them back.")
                       : QString("Copy the folder <b>help</b> from a fresh copy of Vantrel to that place to have "
                                 "them back."));
}

// Another file of the folder, such as the example CSV file: its text, and where to find it.
QString fileView(const QString& path, const QUrl& back, const QString& backTitle)
{
    constexpr qint64 kShown = 64 * 1024;
    QString html = "<html><head><title>" + QFileInfo(path).fileName().toHtmlEscaped() + "</title></head><body>";
    if (back.isValid())
        html += "<p><a href=\"" + back.toString(QUrl::FullyEncoded).toHtmlEscaped() + "\">Back to "
                + (backTitle.isEmpty() ? QString("the help") : backTitle).toHtmlEscaped() + "</a></p>";
    html += "<h2>" + QFileInfo(path).fileName().toHtmlEscaped() + "</h2><p>This file lies in the folder <b>"
            + QDir::toNativeSeparators(HelpPages::folder()).toHtmlEscaped() + "</b>.</p>";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return html + "<p>It cannot be found or read.</p></body></html>";
    const QByteArray data = file.read(kShown);
    if (data.contains('\0'))
        return html + "<p>It holds no text to show here.</p></body></html>";
    QString text = QString::fromUtf8(data);
    text.replace("\r\n", "\n").replace('\r', '\n');
    // As the file has it, empty lines included; a long line wraps and still reads as one.
    html += "<pre style=\"white-space: pre-wrap; font-family: monospace;\">" + text.toHtmlEscaped() + "</pre>";
    if (file.size() > kShown)
        html += "<p>(The rest of the file is not shown.)</p>";
    return html + "</body></html>";
}
} // namespace

namespace HelpPages {
QString siteAddress() { return QStringLiteral("https://www.vantrel.example/"); }
QString folder() { return AppPaths::helpDir(); }
QUrl startPage() { return QUrl::fromLocalFile(folder() + "Help.htm"); }
} // namespace HelpPages

HelpWebBrowser::HelpWebBrowser(QWidget* parent) : QTextBrowser(parent)
{
    // Links come back through setSource, so that they meet the same rule as every other navigation.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { setSource(url); });
}

HelpWebBrowser::Target HelpWebBrowser::classify(const QUrl& url)
{
    if (url.toString() == HelpPages::siteAddress())
        return Target::SiteAddress;
    if (url.isLocalFile())
        return insideHelpFolder(url) ? Target::HelpFile : Target::Refused;
    if ((url.scheme() == "http" || url.scheme() == "https") && !url.host().isEmpty())
        return Target::WebPage;
    return Target::Refused;
}

QUrl HelpWebBrowser::resolved(const QUrl& url) const
{
    if (!url.isRelative())
        return url;
    const QUrl base = source().isValid() ? source() : QUrl::fromLocalFile(HelpPages::folder());
    return base.resolved(url);
}

void HelpWebBrowser::showStartPage()
{
    setSource(HelpPages::startPage());
    clearHistory(); // keeps the page shown, drops the ones before it
}

void HelpWebBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type)
{
    const QUrl url = resolved(name);
    switch (classify(url)) {
    case Target::SiteAddress:
    case Target::WebPage:
        // Pages this view cannot show go to the desktop's browser; the view keeps its page.
        if (!Desktop::open(url.toString()))
            MessageBox::show(MessageBox::Icon::Warning,
                             QString("No web browser could be started to show %1. Open that address in "
                                     "a web browser yourself.")
                                 .arg(url.toString()));
        return;
    case Target::Refused:
        return;
    case Target::HelpFile:
        break;
    }
    if (!isPage(url.toLocalFile())) {
        // Shown with a way back to the page that led here.
        m_back = source();
        m_backTitle = documentTitle();
    }
    QTextBrowser::doSetSource(url, type);
}

QVariant HelpWebBrowser::loadResource(int type, const QUrl& name)
{
    const QUrl url = resolved(name);
    if (!insideHelpFolder(url))
        return {};
    const QString path = url.toLocalFile();
    if (type == QTextDocument::ImageResource || type == QTextDocument::StyleSheetResource)
        return QTextBrowser::loadResource(type, url);
    if (!isPage(path))
        return fileView(path, m_back, m_backTitle);
    if (!QFileInfo(path).isFile())
        return missingPage(path);
    return QTextBrowser::loadResource(type, url);
}
