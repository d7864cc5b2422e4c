#include "PgStore.h"

#include "PgFailure.h"
#include "PgWait.h"

#include <libpq-fe.h>

namespace {
// Sent to the server in pieces of this size: libpq holds one piece at a time.
constexpr qsizetype kPiece = 256 * 1024;
// Up to this many values a single INSERT takes one exchange, where a COPY takes three.
constexpr qsizetype kFewValues = 2000;

// A value as the server reads it in text: bytes in its hex form.
QByteArray textForm(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::QString: {
        const QByteArray utf8 = static_cast<const QString*>(v.constData())->toUtf8();
        return utf8.isNull() ? QByteArray("") : utf8;
    }
    case QMetaType::Double: return QByteArray::number(v.toDouble(), 'g', 17);
    case QMetaType::QByteArray: return "\\x" + v.toByteArray().toHex();
    case QMetaType::Bool: return v.toBool() ? "1" : "0";
    default: return QByteArray::number(v.toLongLong());
    }
}

// A value in COPY's text form: the separators and the escape character escaped.
void appendText(QByteArray& out, const QVariant& value)
{
    const QByteArray utf8 = textForm(value);
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}
} // namespace

void PgStore::putCopyData(const QByteArray& data)
{
    for (qsizetype at = 0; at < data.size();) {
        const qsizetype size = std::min(kPiece, data.size() - at);
        const int queued = PQputCopyData(m_conn, data.constData() + at, int(size));
        if (queued < 0)
            fail(nullptr);
        if (queued == 0) {
            // libpq's buffer is full: it goes out first, without waiting for ever.
            const PgWait::Outcome o = PgWait::flush(m_conn, silenceLimit());
            if (o == PgWait::Outcome::Silent)
                stalled();
            if (o == PgWait::Outcome::Failed)
                fail(nullptr);
            continue;
        }
        at += size;
    }
}

void PgStore::insertFew(const QString& table, const QStringList& quotedColumns, const storage::Rows& rows)
{
    QByteArray sql = "INSERT INTO " + table.toUtf8() + " (" + quotedColumns.join(", ").toUtf8() + ") VALUES ";
    QVector<QByteArray> values;
    for (int r = 0; r < rows.count(); ++r) {
        sql += r ? ", (" : "(";
        for (int c = 0; c < rows.width(); ++c) {
            const QVariant& v = rows.at(r, c);
            values << (v.isNull() ? QByteArray() : textForm(v));
            sql += (c ? ", $" : "$") + QByteArray::number(values.size());
        }
        sql += ')';
    }
    Queued insert = Queued::text(sql.constData(), std::move(values));
    insert.nulls = true;
    Result r(nullptr, PQclear);
    if (PQtransactionStatus(m_conn) == PQTRANS_INTRANS) {
        r = guardedWrite(insert);
    } else {
        r = std::move(pipelined({insert})[0]);
        if (!succeeded(r))
            fail(r.get());
    }
    m_changes = std::atoll(PQcmdTuples(r.get()));
}

void PgStore::insertRows(const QString& table, const QStringList& quotedColumns, const storage::Rows& rows)
{
    if (rows.count() == 0)
        return;
    ensureConnected();
    if (m_commitXid == 0)
        m_commitXid = -1; // it writes: a lost commit's outcome is not known by its number
    if (qsizetype(rows.count()) * rows.width() <= kFewValues) {
        insertFew(table, quotedColumns, rows);
        return;
    }
    const bool guard = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    const QByteArray copy = "COPY " + table.toUtf8() + " (" + quotedColumns.join(", ").toUtf8() + ") FROM STDIN";
    ++s_roundTrips;
    Result start = answer(PQsendQuery(m_conn, (guard ? QByteArray(PgSql::kSavepoint) + "; " + copy : copy).constData()));
    if (!start || PQresultStatus(start.get()) != PGRES_COPY_IN)
        fail(start.get());

    QByteArray data;
    data.reserve(std::min<qsizetype>(kPiece * 2, qsizetype(rows.count()) * rows.width() * 16));
    for (int r = 0; r < rows.count(); ++r) {
        for (int c = 0; c < rows.width(); ++c) {
            if (c > 0)
                data += '\t';
            const QVariant& v = rows.at(r, c);
            if (v.isNull())
                data += "\\N";
            else
                appendText(data, v);
        }
        data += '\n';
        if (data.size() >= kPiece) {
            putCopyData(data);
            data.clear();
        }
    }
    putCopyData(data);
    while (PQputCopyEnd(m_conn, nullptr) == 0) {
        const PgWait::Outcome o = PgWait::flush(m_conn, silenceLimit());
        if (o == PgWait::Outcome::Silent)
            stalled();
        if (o == PgWait::Outcome::Failed)
            fail(nullptr);
    }
    ++s_roundTrips;
    Result done = answer(1);
    if (!succeeded(done)) {
        if (guard && PQstatus(m_conn) == CONNECTION_OK)
            run(PgSql::kUndoStatement, {}, true);
        fail(done.get());
    }
    m_changes = std::atoll(PQcmdTuples(done.get()));
    if (guard)
        run(PgSql::kRelease);
}

qint64 PgStore::nextKey(const QString& table, const QString& key)
{
    // The numbering's next number is taken; the rows added with it and the ones after it move
    // the numbering past them (the table's trigger), and the write lock keeps other sessions
    // from taking numbers meanwhile.
    QString column = key;
    if (column.startsWith('"') && column.endsWith('"'))
        column = column.mid(1, column.size() - 2).replace("\"\"", "\"");
    Result r = run("SELECT nextval(pg_get_serial_sequence($1, $2))", {table.toUtf8(), column.toUtf8()});
    if (PQntuples(r.get()) != 1 || PQgetisnull(r.get(), 0, 0))
        throw DataError(QString("%1 has no numbering for %2.").arg(displayName(), table));
    return std::atoll(PQgetvalue(r.get(), 0, 0));
}
