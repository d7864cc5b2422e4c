#include "Platform.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QMimeDatabase>
#include <QScreen>
#include <QUrl>
#include <QWidget>

namespace {
std::function<bool(const QString&)>& desktopHandler()
{
    static std::function<bool(const QString&)> h;
    return h;
}
std::function<ScreenMetrics()>& screenProvider()
{
    static std::function<ScreenMetrics()> p;
    return p;
}
std::function<int(QDialog*)>& modalRunner()
{
    static std::function<int(QDialog*)> r;
    return r;
}
std::function<QDate()>& clockProvider()
{
    static std::function<QDate()> p;
    return p;
}
std::function<QString(const FileDialog::Request&)>& fileDialogHandler()
{
    static std::function<QString(const FileDialog::Request&)> h;
    return h;
}

// The file dialogs tell a file's type and icon by its name alone. Left to itself the dialog reads
// the first bytes of every file it lists, and on POSIX systems closing any handle to a file drops
// every lock that the process holds on it: listing the folder of the open database would leave
// its write-ahead log unguarded, and another program opening the file would delete it under us.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;

    QIcon icon(const QFileInfo& info) const override
    {
        if (info.isRoot())
            return icon(Drive);
        if (info.isDir())
            return icon(Folder);
        const QMimeType mime = typeOf(info);
        QIcon i = QIcon::fromTheme(mime.iconName());
        if (i.isNull())
            i = QIcon::fromTheme(mime.genericIconName());
        return i.isNull() ? icon(File) : i;
    }

    QString type(const QFileInfo& info) const override
    {
        if (info.isRoot())
            return QStringLiteral("Drive");
        if (info.isDir())
            return QStringLiteral("Folder");
        const QMimeType mime = typeOf(info);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeType typeOf(const QFileInfo& info) const
    {
        const QList<QMimeType> types = m_types.mimeTypesForFileName(info.fileName()); // never opens the file
        return types.isEmpty() ? m_types.mimeTypeForName(QStringLiteral("application/octet-stream")) : types.first();
    }

    QMimeDatabase m_types;
};
} // namespace

bool Desktop::open(const QString& target)
{
    if (desktopHandler())
        return desktopHandler()(target);
    return !target.isEmpty() && QDesktopServices::openUrl(QUrl(target));
}

void Desktop::setHandler(std::function<bool(const QString&)> handler) { desktopHandler() = std::move(handler); }

ScreenMetrics Screen::metrics()
{
    if (screenProvider())
        return screenProvider()();
    ScreenMetrics m;
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        // Logical dots per inch after high-DPI scaling: a scaled modern display answers 96.
        m.logicalDpi = s->logicalDotsPerInch();
        m.width = s->geometry().width();
        m.height = s->geometry().height();
        m.available = s->availableGeometry();
    }
    return m;
}

QRect Screen::available(const QPoint& near)
{
    if (!screenProvider()) {
        if (QScreen* s = QGuiApplication::screenAt(near))
            return s->availableGeometry();
    }
    const ScreenMetrics m = metrics();
    return m.available.isEmpty() ? QRect(0, 0, m.width, m.height) : m.available;
}

void Screen::centre(QWidget* window)
{
    const ScreenMetrics m = metrics();
    const QRect frame = window->frameGeometry();
    window->move((m.width - frame.width()) / 2, (m.height - frame.height()) / 2);
}

QSize Screen::framedSize(const QWidget* window, const QWidget* like)
{
    const QSize own = window->frameGeometry().size();
    if (own != window->size() || !like)
        return own;
    return own + (like->frameGeometry().size() - like->size());
}

void Screen::setOverride(std::function<ScreenMetrics()> provider) { screenProvider() = std::move(provider); }

int Modal::exec(QDialog* dialog)
{
    if (modalRunner())
        return modalRunner()(dialog);
    return dialog->exec();
}

void Modal::setRunner(std::function<int(QDialog*)> runner) { modalRunner() = std::move(runner); }

QDate Clock::today() { return clockProvider() ? clockProvider()() : QDate::currentDate(); }

void Clock::setOverride(std::function<QDate()> provider) { clockProvider() = std::move(provider); }

namespace {
// Where the next file dialog opens: the folder of the file last chosen, at first the user's
// documents (never the program's own folder, where the database lives).
QString& lastFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString FileDialog::ask(QWidget* parent, const Request& request)
{
    if (fileDialogHandler())
        return fileDialogHandler()(request);
    NameOnlyIconProvider icons; // outlives the dialog
    QFileDialog dialog(parent);
    // Our own dialog on every desktop: a native one would look into the files it lists.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setWindowTitle(request.caption);
    dialog.setNameFilter(request.filter);
    dialog.setObjectName(request.objectName);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    QString start = lastFolder();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(start).isDir())
        start = QDir::homePath();
    dialog.setDirectory(start);
    if (Modal::exec(&dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    lastFolder() = QFileInfo(chosen).absolutePath();
    return chosen;
}

void FileDialog::setHandler(std::function<QString(const Request&)> handler)
{
    fileDialogHandler() = std::move(handler);
}
