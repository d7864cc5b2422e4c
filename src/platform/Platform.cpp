#include "Platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>
#include <QWidget>

namespace {
std::function<void(const QString&)>& desktopHandler()
{
    static std::function<void(const QString&)> h;
    return h;
}
std::function<ScreenMetrics()>& screenProvider()
{
    static std::function<ScreenMetrics()> p;
    return p;
}
QString& exeDir()
{
    static QString d;
    return d;
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
} // namespace

void Desktop::open(const QString& target)
{
    if (desktopHandler()) {
        desktopHandler()(target);
        return;
    }
    if (!target.isEmpty())
        QDesktopServices::openUrl(QUrl(target));
}

void Desktop::setHandler(std::function<void(const QString&)> handler) { desktopHandler() = std::move(handler); }

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
    }
    return m;
}

void Screen::centre(QWidget* window)
{
    const ScreenMetrics m = metrics();
    const QRect frame = window->frameGeometry();
    window->move((m.width - frame.width()) / 2, (m.height - frame.height()) / 2);
}

void Screen::setOverride(std::function<ScreenMetrics()> provider) { screenProvider() = std::move(provider); }

QString AppPaths::executableDir()
{
    QString d = exeDir().isEmpty() ? QCoreApplication::applicationDirPath() : exeDir();
    d = QDir::cleanPath(d);
    return d.endsWith('/') ? d : d + '/';
}

void AppPaths::setExecutableDir(const QString& dir) { exeDir() = dir; }

int Modal::exec(QDialog* dialog)
{
    if (modalRunner())
        return modalRunner()(dialog);
    return dialog->exec();
}

void Modal::setRunner(std::function<int(QDialog*)> runner) { modalRunner() = std::move(runner); }

QDate Clock::today() { return clockProvider() ? clockProvider()() : QDate::currentDate(); }

void Clock::setOverride(std::function<QDate()> provider) { clockProvider() = std::move(provider); }

QString FileDialog::ask(QWidget* parent, const Request& request)
{
    if (fileDialogHandler())
        return fileDialogHandler()(request);
    QFileDialog dialog(parent, request.caption, QString(), request.filter);
    dialog.setObjectName(request.objectName);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (Modal::exec(&dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void FileDialog::setHandler(std::function<QString(const Request&)> handler)
{
    fileDialogHandler() = std::move(handler);
}
