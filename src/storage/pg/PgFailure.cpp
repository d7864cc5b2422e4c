#include "PgFailure.h"

#include <QRegularExpression>

#include <libpq-fe.h>

namespace PgFailure {
namespace {

QString field(const PGresult* result, int code)
{
    const char* text = result ? PQresultErrorField(result, code) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

// What libpq says after "failed:", the last attempt's, on one line: "Connection refused",
// "FATAL:  database "x" does not exist", "fe_sendauth: no password supplied".
QString connectionReason(const QString& message)
{
    QString reason = message;
    const qsizetype at = reason.lastIndexOf("failed: ");
    if (at >= 0)
        reason = reason.mid(at + 8);
    reason = reason.section('\n', 0, 0).trimmed();
    reason.remove(QRegularExpression(R"re(^(FATAL|ERROR):\s+)re"));
    if (reason.endsWith('.'))
        reason.chop(1);
    return reason;
}

} // namespace

FailureReason reason(const QByteArray& state)
{
    if (state.startsWith("08") || state == "57P01" || state == "57P02" || state == "57P03" || state == "25P03"
        || state == "57P05")
        return FailureReason::ConnectionLost;
    if (state == "57014")
        return FailureReason::Interrupted;
    if (state == "55P03" || state == "40P01" || state == "40001" || state == "55006")
        return FailureReason::Busy;
    if (state == "42501")
        return FailureReason::NoRights;
    if (state == "25006")
        return FailureReason::ReadOnly;
    if (state == "53100")
        return FailureReason::Full;
    if (state == "58030")
        return FailureReason::WriteFailed;
    if (state == "22001")
        return FailureReason::TooLong;
    if (state.startsWith("23") || state.startsWith("22"))
        return FailureReason::Refused;
    if (state == "XX001" || state == "XX002")
        return FailureReason::Damaged;
    return FailureReason::Other;
}

DataError connecting(PGconn* connection, const QString& where)
{
    const QString message = connection ? QString::fromUtf8(PQerrorMessage(connection)) : QString();
    const QString why = connectionReason(message);
    const QString user = connection && PQuser(connection) ? QString::fromUtf8(PQuser(connection)) : QString();
    if (!connection)
        return DataError(QString("The connection to %1 could not be made: there is no memory left for it.").arg(where),
                         FailureReason::Unreachable);
    if (PQconnectionNeedsPassword(connection))
        return DataError(QString("%1 asks for the password of the user %2.").arg(where, user),
                         FailureReason::WrongPassword);
    if (why.contains("password authentication failed") || why.contains("no password supplied"))
        return DataError(QString("%1 did not accept the password of the user %2.").arg(where, user),
                         FailureReason::WrongPassword);
    static const QRegularExpression noDatabase(R"re(database "(.*)" does not exist)re");
    if (const auto m = noDatabase.match(why); m.hasMatch())
        return DataError(QString("%1 has no database called %2. Check the name of the database.").arg(where, m.captured(1)),
                         FailureReason::CantOpen);
    static const QRegularExpression noRole(R"re(role "(.*)" does not exist)re");
    if (const auto m = noRole.match(why); m.hasMatch())
        return DataError(QString("%1 knows no user %2. Ask the administrator of the server to add you.").arg(where, m.captured(1)),
                         FailureReason::NoRights);
    if (why.contains("permission denied") || why.contains("pg_hba.conf") || why.contains("not permitted to log in"))
        return DataError(QString("%1 does not let the user %2 in: %3. Ask the administrator of the server for access.")
                             .arg(where, user, why),
                         FailureReason::NoRights);
    return DataError(QString("%1 cannot be reached: %2. Check that the server is running and that this computer "
                             "can reach it, then try again.")
                         .arg(where, why.isEmpty() ? QString("no answer") : why),
                     FailureReason::Unreachable);
}

DataError ended(const QByteArray& state, const QString& where)
{
    // The server ended a session that was left waiting (inside a transaction, or at all).
    if (state == "25P03" || state == "57P05") {
        const QString why = state == "25P03" ? QString("a change was left unfinished there for too long, and it was "
                                                       "not saved")
                                             : QString("the connection was left unused for too long");
        return DataError(QString("The server of %1 ended the connection, because %2. What you have not saved yet is "
                                 "still on screen: Vantrel connects again at the next command.")
                             .arg(where, why),
                         FailureReason::ConnectionLost);
    }
    if (reason(state) == FailureReason::ConnectionLost)
        return DataError(QString("The connection to %1 was lost: the server stopped or was restarted. What you have "
                                 "not saved yet is still on screen: Vantrel connects again at the next command.")
                             .arg(where),
                         FailureReason::ConnectionLost);
    return DataError(QString("The connection to %1 was lost. What you have not saved yet is still on screen: "
                             "Vantrel connects again at the next command.")
                         .arg(where),
                     FailureReason::ConnectionLost);
}

DataError statement(const PGresult* result, PGconn* connection, const QString& where)
{
    const QByteArray state = field(result, PG_DIAG_SQLSTATE).toLatin1();
    if (state == "25P03" || state == "57P05")
        return ended(state, where);
    if (state.isEmpty() || (connection && PQstatus(connection) == CONNECTION_BAD))
        return ended({}, where);
    const FailureReason why = reason(state);
    const QString constraint = field(result, PG_DIAG_CONSTRAINT_NAME);
    const QString column = field(result, PG_DIAG_COLUMN_NAME);
    const QString table = field(result, PG_DIAG_TABLE_NAME);
    switch (why) {
    case FailureReason::ConnectionLost:
        return DataError(QString("The connection to %1 was lost: the server stopped or was restarted. What you have "
                                 "not saved yet is still on screen: Vantrel connects again at the next command.")
                             .arg(where),
                         why);
    case FailureReason::Interrupted:
        return DataError(QString("The work on %1 was stopped.").arg(where), why);
    case FailureReason::Busy:
        return DataError(QString("Another user of %1 is saving the same data and keeps it locked. Wait a moment and try "
                                 "again.")
                             .arg(where),
                         why);
    case FailureReason::NoRights:
        return DataError(QString("You are not allowed to make this change on %1. Ask the administrator of the server "
                                 "for the rights.")
                             .arg(where),
                         why);
    case FailureReason::ReadOnly:
        return DataError(QString("%1 takes no changes at the moment (it is read-only), so nothing can be saved.").arg(where),
                         why);
    case FailureReason::Full:
        return DataError(QString("The disk of the server that holds %1 is full. Ask its administrator to make room.")
                             .arg(where),
                         why);
    case FailureReason::WriteFailed:
        return DataError(QString("The server that holds %1 could not write to its disk. Ask its administrator to check "
                                 "it.")
                             .arg(where),
                         why);
    case FailureReason::Damaged:
        return DataError(QString("%1 is damaged on the server. Ask its administrator to check it.").arg(where), why);
    case FailureReason::TooLong:
        return DataError(QString("A value is longer than its column%1 holds. Shorten it and try again.")
                             .arg(column.isEmpty() ? QString() : ' ' + column),
                         why);
    case FailureReason::Refused: {
        // The schema names its width checks "<Table>.<Column> is longer than <n> characters", or
        // shortened "... longer than <n>" where the server's names would not hold it.
        static const QRegularExpression width(R"re(^\w+\.(\w+) (?:is )?longer than (\d+))re");
        if (const auto m = width.match(constraint); m.hasMatch())
            return DataError(QString("The value for %1 is longer than the %2 characters it can hold. Shorten it and try "
                                     "again.")
                                 .arg(m.captured(1), m.captured(2)),
                             FailureReason::TooLong);
        QString rule;
        if (state == "23505")
            rule = QString("a row with the same %1 is on file already").arg(constraint.isEmpty() ? "key" : constraint);
        else if (state == "23502")
            rule = QString("%1 must have a value").arg(column.isEmpty() ? QString("a column") : table + '.' + column);
        else if (!constraint.isEmpty())
            rule = QString("the rule %1%2").arg(constraint, table.isEmpty() ? QString() : " of " + table);
        else
            rule = "the value is not of the kind its column holds"; // the server's words would quote it
        return DataError(QString("The database refused a value: %1.").arg(rule), why);
    }
    default:
        break;
    }
    // The server's own words only for mistakes in a statement's text, which name columns and
    // tables but no values.
    const QString primary = field(result, PG_DIAG_MESSAGE_PRIMARY);
    if (state.startsWith("42") || state.startsWith("0A") || state.startsWith("26"))
        return DataError(QString("The database reported an error: %1.").arg(primary), why);
    return DataError(QString("The database reported an error (code %1).").arg(QString::fromLatin1(state)), why);
}

} // namespace PgFailure
