#pragma once
#include "DataError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

// The storage layer: what the datasets, the imports and the safety net ask of a database, with
// no word of which database it is. Everything below this interface (handles, statements, result
// codes, transactions, the database's own SQL) belongs to one implementation; the layers above
// see statements with bound values, rows, and failures sorted into the reasons users are told.
namespace storage {

enum class ValueType { Null, Integer, Real, Text, Blob };

// A column as the schema declares it.
struct ColumnInfo {
    QString name;
    QString declaredType; // as written in the schema, "VARCHAR(50)", "INTEGER"
    bool primaryKey = false;
};

// One prepared statement. Parameters count from 1, result columns from 0. A failure throws
// DataError in plain words.
class Statement {
public:
    virtual ~Statement() = default;

    virtual void bindNull(int index) = 0;
    virtual void bindInteger(int index, qint64 value) = 0;
    virtual void bindReal(int index, double value) = 0;
    virtual void bindText(int index, QStringView text) = 0; // copied
    // Not copied: the text must stay unchanged until the statement is stepped or reset. For
    // writers of many rows, where a copy of every value would cost more than the write.
    virtual void bindTextInPlace(int index, QStringView text) = 0;
    virtual void bindBlob(int index, QByteArrayView bytes) = 0;
    // Null for null and invalid values, integers, reals and bytes as themselves, anything else
    // as its text.
    void bind(int index, const QVariant& value);
    virtual int parameterIndex(const QByteArray& name) const = 0; // ":SPID"; 0 when absent

    virtual bool step() = 0;  // true: a row is there; false: done
    // After a step: the rows still to come after this one, when the database has them already
    // (-1: it reads them as they are stepped to).
    virtual qint64 rowsLeft() const { return -1; }
    virtual void reset() = 0; // ready to run again; the bindings stay
    void run() { while (step()) {} }

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual ValueType type(int column) const = 0;
    bool isNull(int column) const { return type(column) == ValueType::Null; }
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual QByteArrayView utf8(int column) const = 0; // valid until the next step
    virtual QStringView utf16(int column) const = 0;   // valid until the next step
    virtual QByteArray blob(int column) const = 0;
    QString text(int column) const { return utf16(column).toString(); }
    // The value as stored: qlonglong, double, QString, QByteArray, or null.
    QVariant value(int column) const;
};

// How far the last commits reached the database's own file.
struct Flush {
    bool complete = true;                        // everything committed is in the file itself
    FailureReason reason = FailureReason::Other; // why not
};

// What a conditional update found.
enum class UpdateOutcome {
    Written, // the row held what was expected, and now holds the new values
    Changed, // the row is there, but one of the expected columns holds something else
    Gone,    // no row has that key
};

// One row's update: the columns to write and their values, and the columns that must still hold
// what was read for the write to happen (none: it happens whatever they hold).
struct RowUpdate {
    QString table;
    QString key;      // the key column's name as rowKey() or the schema gives it
    QVariant keyValue;
    QStringList columns;
    QVariantList values;
    QStringList expectedColumns;
    QVariantList expectedValues;
    // Columns whose stored values a written row gives back, in the same statement (none: nothing
    // is given back), into `returned`, as Statement::value() reads them.
    QStringList returning;
    std::vector<QVariant>* returned = nullptr;
};

// Rows for a write of many at once: values row after row, each text, a whole number, a real,
// bytes or null.
class Rows {
public:
    explicit Rows(int width) : m_width(width) {}
    void add(const QVariant& value) { m_values.append(value); }
    void addNull() { m_values.append(QVariant()); }
    void addText(QStringView text) { m_values.append(text.toString()); }
    void addInteger(qint64 value) { m_values.append(value); }
    int width() const { return m_width; }
    int count() const { return m_width > 0 ? int(m_values.size() / m_width) : 0; }
    const QVariant& at(int row, int column) const { return m_values[qsizetype(row) * m_width + column]; }
    void clear() { m_values.clear(); }

private:
    int m_width;
    QVector<QVariant> m_values;
};

// One connection to one database. The object owns the connection, its prepared statements and
// every transaction made on it.
class Store {
public:
    virtual ~Store() = default;

    virtual QString displayName() const = 0; // as the user knows the database: "Vantrel.vt"
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual bool readOnly() const = 0; // opened, but the database lets nothing be written

    // Statements are kept by their text for the next user of the same text: preparing costs more
    // than running. A statement taken is the caller's until it is given back.
    virtual std::unique_ptr<Statement> prepare(const QByteArray& sql) = 0;
    virtual void giveBack(const QByteArray& sql, std::unique_ptr<Statement> statement) = 0;
    void exec(const QByteArray& sql, const QVariantList& values = {});
    virtual qint64 changes() const = 0;      // rows changed by the last statement
    virtual qint64 lastInsertId() const = 0; // key of the row the last insert added

    // A row added: the quoted columns and their values (none: every column as its default).
    // Returns the new row's key.
    virtual qint64 insert(const QString& table, const QStringList& quotedColumns, const QVariantList& values);
    // Many rows added, each with the quoted columns: one by one, or on a server in one stream.
    // Throws DataError; inside a transaction, which then holds none of them.
    virtual void insertRows(const QString& table, const QStringList& quotedColumns, const Rows& rows);
    // The database is far: a batch of writes should gather its rows and send them with
    // insertRows(), and read once what it would otherwise ask row by row.
    virtual bool prefersBatches() const { return false; }
    // Inside a write transaction, for prefersBatches(): the key the table's next row takes. Rows
    // added with the keys from it on move the numbering past them.
    virtual qint64 nextKey(const QString& table, const QString& key);
    // One statement that writes only when the expected columns still hold what was read; when it
    // writes nothing, one more read tells a changed row from a gone one.
    virtual UpdateOutcome update(const RowUpdate& change);

    // The words of SQL that differ between databases. The layers above write their statements in
    // the part of SQL all databases share, and ask for these where they need them. Names given to
    // them are quoted already; the placeholders are the caller's ("?", "?2").
    //
    // The column that names a row of a table in statements: the key the rows are read and
    // written by, also for a table whose schema names no key.
    virtual QString rowKey(const QString& table) = 0;
    // "name is one of a list of keys", the list bound as one value made by keyList(): a read of
    // many rows by their keys in one statement.
    virtual QString inKeys(const QString& name, const QString& placeholder) const = 0;
    virtual QVariant keyList(const QVector<qint64>& keys) const = 0;
    // The keys between open and close, comma-separated: the form both stores' key lists take.
    static QString joinedKeys(const QVector<qint64>& keys, QChar open, QChar close);
    // Equal, or both null; text compared letter by letter, case included.
    virtual QString sameAs(const QString& left, const QString& right) const = 0;
    // Equal when the letters A to Z are taken without their case, and nothing else is; a null
    // equals nothing.
    virtual QString equalFoldingAZ(const QString& left, const QString& right) const = 0;
    // The text as that rule compares and orders it, for min(), ">" and ORDER BY: A to Z without
    // their case, every other character as itself, in the order of the characters' numbers.
    virtual QString foldedAZ(const QString& text) const = 0;
    // The text holds a character beyond ASCII.
    virtual QString beyondAscii(const QString& name) const = 0;
    // An insert that leaves out a row whose key or unique columns are on file already; rest is
    // what follows the table's name: "(columns) VALUES (...)".
    virtual QString insertSkippingDuplicates(const QString& table, const QString& rest) const = 0;

    // A write transaction takes the write lock when it begins, so that what it reads stays true
    // until it commits. A read transaction sees the database as it was when it began.
    virtual void begin() = 0;
    virtual void beginRead() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0; // nothing happens outside a transaction
    // At start: whether another program holds the write lock, or the database cannot be written
    // (its journal's folder); throws DataError then.
    virtual void probeWriteLock()
    {
        begin();
        rollback();
    }
    // False also when the database itself took a transaction back after a failure.
    virtual bool inTransaction() const = 0;

    // A number that changes whenever another connection committed: compared with an earlier one,
    // it says whether anything may have changed since.
    virtual qint64 changeToken() = 0;
    // The token as the connection's last exchange left it (a commit reads the count too), without
    // asking; -1 when only asking tells. No later than what it has read since: safe to note.
    virtual qint64 knownChangeToken() const { return -1; }
    // Word of other connections' commits that comes without asking: a descriptor that turns
    // readable when word may have come (-1: none comes, and changeToken() alone tells), and
    // whether word came since the last call, read without waiting.
    virtual int othersSignal() const { return -1; }
    virtual bool othersWrote() { return false; }

    // The schema's description: the names of its tables, indexes and triggers (letter case as
    // made), the columns of a table (empty for a missing table), and its version number.
    virtual QStringList schemaObjects() = 0;
    virtual QStringList tables() = 0;
    virtual QVector<ColumnInfo> columns(const QString& table) = 0;
    virtual int schemaVersion() = 0;
    virtual void setSchemaVersion(int version) = 0;
    // The statement that made a trigger; empty when there is none.
    virtual QByteArray triggerDefinition(const QString& name) = 0;

    // Brings what was committed into the database's own file. wait: up to the lock timeout for
    // readers of older data; otherwise only what can be done at once.
    virtual Flush flush(bool wait) = 0;
    // For the length of a load of many rows: commits do not wait for the disk (the flush that
    // ends the load does), and the database caches more. Off puts back what was there before.
    virtual void setBulkLoad(bool on) = 0;
    // Whether another program removed files of this database that this connection still has
    // open (its journal): writing on would go where no other copy looks.
    virtual bool lostOwnFiles() = 0;
    // Opens the database again after lostOwnFiles(), on the files on disk. Returns whether
    // commits may be missing: the old files could not be brought into the database first
    // (allFlushed: the last flush left nothing behind, so nothing can be).
    virtual bool reopenOnOwnFiles(bool allFlushed) = 0;

    // Stops what this connection is running from any thread; it fails as Interrupted.
    virtual void interrupt() = 0;
};

// A statement taken from a store and given back when it goes out of scope.
class Prepared {
public:
    Prepared(Store& store, const QByteArray& sql) : m_store(store), m_sql(sql), m_statement(store.prepare(sql)) {}
    ~Prepared() { m_store.giveBack(m_sql, std::move(m_statement)); }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;
    Statement* operator->() const { return m_statement.get(); }
    Statement& operator*() const { return *m_statement; }

private:
    Store& m_store;
    QByteArray m_sql;
    std::unique_ptr<Statement> m_statement;
};

} // namespace storage
