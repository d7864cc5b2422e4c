#pragma once
#include "storage/Store.h"

#include <QHash>

#include <atomic>
#include <mutex>

struct sqlite3;

// The store on one SQLite file. It opens an existing file only (a missing file is an error,
// never silently created) and waits for another program's lock up to a timeout before a
// statement gives up.
class SqliteStore : public storage::Store {
public:
    enum class Access { ReadWrite, ReadOnly };
    SqliteStore();
    ~SqliteStore() override;

    // Throws DataError in plain words. A file the system lets this program read only is opened,
    // and readOnly() says so.
    void open(const QString& path, Access access = Access::ReadWrite, int busyTimeoutMs = 5000);
    // Makes a new file and opens it; throws DataError when it cannot, or when a file is there.
    void create(const QString& path);
    QString path() const { return m_path; }

    QString displayName() const override;
    bool isOpen() const override { return m_db != nullptr; }
    void close() override;
    bool readOnly() const override;

    std::unique_ptr<storage::Statement> prepare(const QByteArray& sql) override;
    void giveBack(const QByteArray& sql, std::unique_ptr<storage::Statement> statement) override;
    qint64 changes() const override;
    qint64 lastInsertId() const override;

    void begin() override;
    void beginRead() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override;
    qint64 changeToken() override;

    QStringList schemaObjects() override;
    QStringList tables() override;
    QVector<storage::ColumnInfo> columns(const QString& table) override;
    int schemaVersion() override;
    void setSchemaVersion(int version) override;
    QByteArray triggerDefinition(const QString& name) override;

    storage::Flush flush(bool wait) override;
    void setBulkLoad(bool on) override;
    bool lostOwnFiles() override;
    bool reopenOnOwnFiles(bool allFlushed) override;
    void interrupt() override;

    QString rowKey(const QString& table) override;
    QString inKeys(const QString& name, const QString& placeholder) const override;
    QVariant keyList(const QVector<qint64>& keys) const override;
    QString sameAs(const QString& left, const QString& right) const override;
    QString equalFoldingAZ(const QString& left, const QString& right) const override;
    QString foldedAZ(const QString& text) const override;
    QString beyondAscii(const QString& name) const override;
    QString insertSkippingDuplicates(const QString& table, const QString& rest) const override;

    // The findings of SQLite's check of the file, at most limit of them; empty when it is sound.
    // A check that was interrupted or could not get at the file finds nothing.
    QStringList quickCheck(int limit = 0);

    // The driver's handle, for the file's own operations (the online copy) and for tests that
    // play another program's part on the same connection.
    sqlite3* handle() const { return m_db; }
    DataError lastError(int rc = 0) const;

private:
    void execText(const char* sql); // throws
    int pragmaValue(const QByteArray& name);
    QStringList names(const QByteArray& sql); // the first column of every row
    void dropStatements();

    QString m_path;
    Access m_access = Access::ReadWrite;
    int m_busyTimeout = 5000;
    sqlite3* m_db = nullptr;
    std::mutex m_interruptLock; // interrupt() comes from other threads; the handle may go meanwhile
    QHash<QByteArray, void*> m_statements; // idle, reset, bindings cleared
    qint64 m_reopened = 0; // added to the file's count of commits by others, anew at each reopening
    bool m_bulk = false;
    int m_synchronous = 2, m_cacheSize = -2000, m_autoCheckpoint = 1000; // before a bulk load
};
