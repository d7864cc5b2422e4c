#pragma once
// A statement of the server's store; only the store makes them.
#include "PgStore.h"

#include <libpq-fe.h>

#include <cstdlib>

// One statement: the values bound to it as the server's text, and the rows of its last run,
// fetched whole, so that statements can be stepped in turns as the file's can.
class PgStatement : public storage::Statement {
public:
    // Type numbers of the server's built-in types (pg_type.oid), fixed for every server.
    static constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kOid = 26,
                         kFloat4 = 700, kFloat8 = 701, kNumeric = 1700;

    PgStatement(PgStore& store, std::shared_ptr<PgStore::Plan> plan)
        : m_store(store), m_plan(std::move(plan)), m_result(nullptr, PQclear)
    {
        const int n = m_plan->text.parameterCount;
        m_values.resize(n);
        m_nulls.assign(n, true);
        m_formats.assign(n, 0);
    }

    void bindNull(int i) override { slot(i) = {}, m_nulls[i - 1] = true; }
    void bindInteger(int i, qint64 v) override { set(i, QByteArray::number(v)); }
    void bindReal(int i, double v) override { set(i, QByteArray::number(v, 'g', 17)); }
    void bindText(int i, QStringView t) override { set(i, t.toUtf8()); }
    void bindTextInPlace(int i, QStringView t) override { set(i, t.toUtf8()); }
    void bindBlob(int i, QByteArrayView b) override
    {
        set(i, b.toByteArray());
        m_formats[i - 1] = 1; // bytes as they are, not as text
    }
    int parameterIndex(const QByteArray& name) const override { return m_plan->text.names.value(name, 0); }

    bool step() override
    {
        if (!m_result) {
            m_result = m_store.execute(*m_plan, m_values, m_nulls, m_formats);
            m_row = -1;
            m_rows = PQntuples(m_result.get());
            if (!m_plan->keyOfInsert.isEmpty()) {
                // The keys the insert returned are the store's, not rows for the caller.
                if (m_rows > 0)
                    m_store.m_lastInsertId = std::atoll(PQgetvalue(m_result.get(), m_rows - 1, 0));
                m_rows = 0;
            }
        }
        m_texts.clear();
        return ++m_row < m_rows;
    }
    qint64 rowsLeft() const override { return m_result ? std::max(0, m_rows - m_row - 1) : -1; }
    void reset() override
    {
        m_result.reset();
        m_row = -1;
        m_rows = 0;
        m_texts.clear();
    }

    // An insert's returned key is the store's, not a column of the statement.
    int columnCount() const override { return m_plan->keyOfInsert.isEmpty() ? PQnfields(columns()) : 0; }
    QString columnName(int c) const override
    {
        const char* name = PQfname(columns(), c);
        return name ? QString::fromUtf8(name) : QString();
    }
    storage::ValueType type(int c) const override
    {
        if (!here() || PQgetisnull(m_result.get(), m_row, c))
            return storage::ValueType::Null;
        switch (PQftype(m_result.get(), c)) {
        case kBool: case kInt2: case kInt4: case kInt8: case kOid: return storage::ValueType::Integer;
        case kFloat4: case kFloat8: return storage::ValueType::Real;
        case kNumeric: {
            // A sum of integers is an integer in the file too.
            const QByteArrayView v = raw(c);
            return v.contains('.') || v.contains('e') || v.contains('N') || v.contains('I') ? storage::ValueType::Real
                                                                                             : storage::ValueType::Integer;
        }
        case kBytea: return storage::ValueType::Blob;
        default: return storage::ValueType::Text;
        }
    }
    qint64 integer(int c) const override
    {
        if (!here())
            return 0;
        const QByteArrayView v = raw(c);
        if (v == "t")
            return 1;
        if (v == "f")
            return 0;
        bool ok = false;
        const qint64 n = v.toLongLong(&ok);
        return ok ? n : qint64(v.toDouble());
    }
    double real(int c) const override { return here() ? raw(c).toDouble() : 0.0; }
    QByteArrayView utf8(int c) const override
    {
        if (!here() || PQgetisnull(m_result.get(), m_row, c))
            return {};
        if (type(c) == storage::ValueType::Integer && PQftype(m_result.get(), c) == kBool)
            return raw(c) == "t" ? QByteArrayView("1") : QByteArrayView("0");
        return raw(c);
    }
    QStringView utf16(int c) const override
    {
        if (!here() || PQgetisnull(m_result.get(), m_row, c))
            return {};
        auto it = m_texts.find(c);
        if (it == m_texts.end())
            it = m_texts.insert(c, QString::fromUtf8(utf8(c)));
        return *it;
    }
    QByteArray blob(int c) const override
    {
        if (!here() || PQgetisnull(m_result.get(), m_row, c))
            return {};
        if (PQftype(m_result.get(), c) != kBytea)
            return raw(c).toByteArray();
        size_t length = 0;
        unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(m_result.get(), m_row, c)),
                                               &length);
        QByteArray out(reinterpret_cast<const char*>(bytes), qsizetype(length));
        PQfreemem(bytes);
        return out;
    }

private:
    QByteArray& slot(int i)
    {
        if (i < 1 || i > int(m_values.size()))
            throw DataError(QString("The database reported an error: the statement has no value number %1.").arg(i));
        return m_values[i - 1];
    }
    void set(int i, QByteArray v)
    {
        slot(i) = std::move(v);
        m_nulls[i - 1] = false;
        m_formats[i - 1] = 0;
    }
    bool here() const { return m_result && m_row >= 0 && m_row < m_rows; }
    QByteArrayView raw(int c) const
    {
        return QByteArrayView(PQgetvalue(m_result.get(), m_row, c), PQgetlength(m_result.get(), m_row, c));
    }
    // Before the first step the file knows a statement's columns; the server is asked.
    const PGresult* columns() const
    {
        if (m_result)
            return m_result.get();
        if (!m_described)
            m_described = m_store.describe(*m_plan);
        return m_described.get();
    }

    PgStore& m_store;
    std::shared_ptr<PgStore::Plan> m_plan;
    std::vector<QByteArray> m_values;
    std::vector<bool> m_nulls;
    std::vector<int> m_formats;
    PgStore::Result m_result;
    mutable std::shared_ptr<PGresult> m_described;
    int m_row = -1;
    int m_rows = 0;
    mutable QHash<int, QString> m_texts; // this row's texts as UTF-16, made when asked
};
