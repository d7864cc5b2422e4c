#pragma once
#include "storage/DataError.h"

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

// The server's failures in plain words. Only the server's codes and the names it gives (of a
// constraint, a column, a table) go into a message: never its detail, which may show the whole
// row, nor anything of the connection's password.
namespace PgFailure {
// A connection that could not be made. where: the server as the user knows it.
DataError connecting(PGconn* connection, const QString& where);
// A statement that failed; result may be null (the connection is gone).
DataError statement(const PGresult* result, PGconn* connection, const QString& where);
FailureReason reason(const QByteArray& sqlState);
// A session the server ended, with the code it gave (empty: none came).
DataError ended(const QByteArray& sqlState, const QString& where);
}
