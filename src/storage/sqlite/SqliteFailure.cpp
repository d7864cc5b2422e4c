#include "SqliteFailure.h"

#include <QRegularExpression>

#include <sqlite3.h>

namespace SqliteFailure {
namespace {

// The schema names its width checks "<Table>.<Column> is longer than <n> characters".
QString tooLong(const QString& message)
{
    static const QRegularExpression named(R"((?:^|:\s*)(?:\w+)\.(\w+) is longer than (\d+) characters)");
    const auto m = named.match(message);
    if (!m.hasMatch())
        return {};
    return QString("The value for %1 is longer than the %2 characters it can hold. Shorten it and try again.")
        .arg(m.captured(1), m.captured(2));
}

} // namespace

QString describe(int extendedCode, const QString& sqliteMessage, const QString& fileName)
{
    switch (extendedCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QString("Another program is using %1 and keeps it locked (a second copy of Vantrel that is saving, "
                       "or a backup or synchronisation program). Wait a moment and try again.")
            .arg(fileName);
    case SQLITE_READONLY:
        if (extendedCode == SQLITE_READONLY_DIRECTORY)
            return QString("The folder that holds %1 cannot be written, so nothing can be saved. Allow changes to "
                           "that folder, or move %1 and Vantrel to a folder you may change.")
                .arg(fileName);
        return QString("%1 is read-only, so nothing can be saved in it. Allow changes to the file (its properties, "
                       "a write-protected disk or a read-only network folder) and try again.")
            .arg(fileName);
    case SQLITE_FULL:
        return QString("The disk that holds %1 is full. Make room on it and try again.").arg(fileName);
    case SQLITE_IOERR:
        // The shared-memory file beside the database could not be given its room.
        if (extendedCode == SQLITE_IOERR_SHMSIZE)
            return QString("The disk that holds %1 is full. Make room on it and try again.").arg(fileName);
        return QString("%1 could not be written to the disk: the disk may be full, removed or failing. Make room "
                       "on it or check it, then try again.")
            .arg(fileName);
    case SQLITE_CANTOPEN:
        return QString("%1 or the folder that holds it cannot be opened for writing. Check that the folder exists "
                       "and that you may change it.")
            .arg(fileName);
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QString("You are not allowed to change %1.").arg(fileName);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return QString("%1 is damaged or is not a Vantrel database.").arg(fileName);
    case SQLITE_CONSTRAINT: {
        const QString width = tooLong(sqliteMessage);
        if (!width.isEmpty())
            return width;
        return QString("The database refused a value: %1.").arg(sqliteMessage);
    }
    default:
        break;
    }
    return QString("The database reported an error: %1.").arg(sqliteMessage);
}

QString locked(const QString& fileName) { return describe(SQLITE_BUSY, {}, fileName); }

FailureReason reason(int extendedCode, const QString& sqliteMessage)
{
    switch (extendedCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return FailureReason::Busy;
    case SQLITE_READONLY: return FailureReason::ReadOnly;
    case SQLITE_FULL: return FailureReason::Full;
    case SQLITE_IOERR: return extendedCode == SQLITE_IOERR_SHMSIZE ? FailureReason::Full : FailureReason::WriteFailed;
    case SQLITE_CANTOPEN: return FailureReason::CantOpen;
    case SQLITE_PERM:
    case SQLITE_AUTH: return FailureReason::NoRights;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return FailureReason::Damaged;
    case SQLITE_CONSTRAINT: return tooLong(sqliteMessage).isEmpty() ? FailureReason::Refused : FailureReason::TooLong;
    case SQLITE_INTERRUPT: return FailureReason::Interrupted;
    default: return FailureReason::Other;
    }
}

DataError error(int extendedCode, const QString& sqliteMessage, const QString& fileName)
{
    return DataError(describe(extendedCode, sqliteMessage, fileName), reason(extendedCode, sqliteMessage));
}

DataError lastError(sqlite3* db, int rc, const QString& fileName)
{
    if (!db)
        return error(rc, QString::fromUtf8(sqlite3_errstr(rc)), fileName);
    int code = sqlite3_extended_errcode(db);
    if (rc != 0 && (code & 0xff) != (rc & 0xff))
        code = rc;
    return error(code, QString::fromUtf8(sqlite3_errmsg(db)), fileName);
}

} // namespace SqliteFailure
