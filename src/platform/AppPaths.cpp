#include "AppPaths.h"

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

#include <unistd.h>

namespace {
QString& exeDir()
{
    static QString d;
    return d;
}

std::function<bool(const QString&)>& writableCheck()
{
    static std::function<bool(const QString&)> c;
    return c;
}

QString withSeparator(const QString& dir)
{
    const QString d = QDir::cleanPath(dir);
    return d.endsWith('/') ? d : d + '/';
}

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

bool writable(const QString& dir)
{
    if (writableCheck())
        return writableCheck()(dir);
    // The system's answer for this user: mode bits, access lists and read-only mounts alike.
    return ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

// The user's data folder with the rights that data folders have: the user's alone.
bool makeFolder(const QString& dir)
{
    if (QFileInfo(dir).isDir())
        return true;
    const QFileInfo folder(QDir::cleanPath(dir));
    QDir parent(folder.absolutePath());
    if (!QDir().mkpath(parent.path()))
        return false;
    return parent.mkdir(folder.fileName(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
           || QFileInfo(dir).isDir();
}
} // namespace

namespace AppPaths {

QString executableDir()
{
    return withSeparator(exeDir().isEmpty() ? QCoreApplication::applicationDirPath() : exeDir());
}

void setExecutableDir(const QString& dir) { exeDir() = dir; }

void setWritableCheck(std::function<bool(const QString&)> check) { writableCheck() = std::move(check); }

QString installedDir() { return withSeparator(executableDir() + VANTREL_SHARE_FROM_BIN); }

QString templatePath() { return installedDir() + "Vantrel.vt"; }

QString userDataDir()
{
    // $XDG_DATA_HOME, or ~/.local/share where it is unset or not an absolute path.
    return withSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Vantrel");
}

bool dataBesideProgram()
{
    const QString dir = executableDir();
    if (!writable(dir))
        return false;
    // An installed program's folder holds no data even where this user may write it (/usr/bin for
    // the administrator, a prefix in the home folder), unless a database was put there on purpose.
    return QFileInfo::exists(dir + "Vantrel.vt") || !QFileInfo::exists(templatePath());
}

QString dataDir() { return dataBesideProgram() ? executableDir() : userDataDir(); }

QString databasePath() { return dataDir() + "Vantrel.vt"; }

QString connectionPath() { return dataDir() + "Vantrel.connection"; }

QString dataDescription()
{
    if (QFileInfo::exists(connectionPath()))
        return "the team database named in " + QDir::toNativeSeparators(connectionPath());
    return QDir::toNativeSeparators(databasePath());
}

Target target()
{
    const ConnectionString::File file = ConnectionString::read(connectionPath());
    if (!file.exists)
        return {};
    Target t;
    t.kind = Target::Kind::Server;
    t.connectionString = file.text;
    t.error = file.parsed.error;
    return t;
}

QString helpDir()
{
    // Pages beside the program are its own, also on a write-protected stick; where neither is
    // there, the missing pages are looked for where the program's kind keeps them.
    const QString beside = executableDir() + "help/";
    if (QFileInfo(beside).isDir())
        return beside;
    const QString installed = installedDir() + "help/";
    return QFileInfo(installed).isDir() || !dataBesideProgram() ? installed : beside;
}

Preparation prepareDatabase()
{
    const QString path = databasePath();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return {}; // opening it tells what is wrong with it, if anything
    if (dataBesideProgram() || QFileInfo(dataDir()).isDir())
        return {false, true, {}};
    return makeDatabase();
}

Preparation makeDatabase()
{
    const QString dir = dataDir();
    const QString path = dir + "Vantrel.vt";
    if (QFile::encodeName(path).size() > Connection::kLongestPath)
        return {false, false, Connection::tooLong(path)};
    if (!makeFolder(dir))
        return {false, false,
                QString("Your data folder %1 cannot be made. Check that you may write to %2.")
                    .arg(native(dir), native(QFileInfo(QDir::cleanPath(dir)).absolutePath()))};
    // Made under another name and put in place whole, never over a file that another start
    // made meanwhile: a half-made file is never taken for the database.
    const QString made = dir + "Vantrel.vt.new-" + QUuid::createUuid().toString(QUuid::Id128);
    QString why;
    QFile source(templatePath());
    if (source.open(QIODevice::ReadOnly)) {
        QFile copy(made);
        const QByteArray bytes = source.readAll();
        if (!copy.open(QIODevice::NewOnly) || copy.write(bytes) != bytes.size() || !copy.flush())
            why = copy.errorString();
    } else if (!Schema::createDatabase(made, &why) && why.isEmpty()) {
        // An executable without its installed tree still carries the schema.
        why = "the empty database cannot be written";
    }
    if (why.isEmpty() && !QFile::setPermissions(made, QFile::ReadOwner | QFile::WriteOwner))
        why = "its rights cannot be set";
    if (why.isEmpty() && !QFile::rename(made, path)) {
        QFile::remove(made);
        if (QFileInfo::exists(path))
            return {}; // another start was quicker
        why = "it cannot be put in place";
    }
    if (!why.isEmpty()) {
        QFile::remove(made);
        return {false, false, QString("Vantrel.vt cannot be made in %1: %2.").arg(native(dir), why)};
    }
    return {true, false, {}};
}

} // namespace AppPaths
