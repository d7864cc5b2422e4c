#include "PeopleFilter.h"

#include "Connection.h"
#include "SqliteError.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>

#include <functional>

namespace {
std::atomic<qint64> g_span{65536};
std::atomic<int> g_connections{0};
constexpr size_t kChunkRows = 8192; // a chunk the window takes in without a stall
constexpr size_t kWaiting = 8;      // chunks found and not yet taken before the reading waits

// NOCASE folds the letters A to Z alone, as the filter's rule does; a NULL equals nothing. The
// company is compared outside its index: nearly every person is in it, and the identity range
// keeps the rows in the list's order.
QString select(const QList<PeopleFilter::Condition>& conditions, const QStringList& shown, bool ranged,
               const std::function<QString(const QVariant&)>& value, const QVariant& companyId)
{
    QStringList columns;
    for (const QString& c : shown)
        columns << Connection::quote(c);
    QStringList where;
    if (ranged)
        where << "rowid > ? AND rowid <= ?";
    where << "+\"CompanyID\" = " + value(companyId);
    for (const PeopleFilter::Condition& c : conditions)
        where << Connection::quote(c.column) + " = " + value(c.value) + " COLLATE NOCASE";
    return "SELECT " + columns.join(", ") + " FROM \"People\" WHERE " + where.join(" AND ") + " ORDER BY rowid";
}
} // namespace

PeopleFilter::PeopleFilter(const QString& databasePath, const QVariant& companyId, const QList<Condition>& conditions,
                           const QStringList& shown, QObject* parent)
    : QObject(parent), m_path(databasePath), m_companyId(companyId), m_conditions(conditions), m_shown(shown)
{
}

PeopleFilter::~PeopleFilter()
{
    stop();
    if (m_thread)
        m_thread->wait();
}

void PeopleFilter::setSpan(qint64 identities) { g_span = std::max<qint64>(1, identities); }

QString PeopleFilter::wholeSelect(const QVariant& companyId, const QList<Condition>& conditions, const QStringList& shown)
{
    return select(conditions, shown, false, [](const QVariant& v) {
        if (v.isNull())
            return QString("NULL");
        if (v.metaType().id() == QMetaType::QString)
            return "'" + v.toString().replace("'", "''") + "'";
        return QString::number(v.toLongLong());
    }, companyId);
}

void PeopleFilter::start()
{
    m_thread.reset(QThread::create([this] { run(); }));
    connect(m_thread.get(), &QThread::finished, this, &PeopleFilter::finished);
    m_thread->start();
}

void PeopleFilter::stop()
{
    m_stop = true;
    QMutexLocker lock(&m_mutex);
    m_taken.wakeAll();
}

QString PeopleFilter::error() const
{
    QMutexLocker lock(&m_mutex);
    return m_error;
}

std::vector<PeopleFilter::Cells> PeopleFilter::take()
{
    QMutexLocker lock(&m_mutex);
    std::vector<Cells> chunks(std::make_move_iterator(m_chunks.begin()), std::make_move_iterator(m_chunks.end()));
    m_chunks.clear();
    m_taken.wakeAll();
    return chunks;
}

void PeopleFilter::hand(Cells&& cells)
{
    {
        QMutexLocker lock(&m_mutex);
        // Found faster than the window takes it in: the reading waits rather than piling up.
        while (m_chunks.size() >= kWaiting && !m_stop)
            m_taken.wait(&m_mutex);
        m_chunks.push_back(std::move(cells));
    }
    emit found();
}

void PeopleFilter::run()
{
    const QString name = QString("PeopleFilter#%1").arg(++g_connections);
    const QString fileName = QFileInfo(m_path).fileName();
    auto fail = [&](const QSqlError& e) {
        QMutexLocker lock(&m_mutex);
        const int code = e.nativeErrorCode().toInt();
        m_error = code ? SqliteError::describe(code, e.databaseText(), fileName) : e.text();
    };
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath()).toString() + "?mode=ro");
        db.setConnectOptions("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000");
        if (!db.open()) {
            fail(db.lastError());
        } else {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            // One read transaction: every part of the run sees the file as it was when it began.
            if (!q.exec("BEGIN") || !q.exec("SELECT coalesce(max(rowid), 0) FROM \"People\"") || !q.next()) {
                fail(q.lastError());
            } else {
                const qint64 top = q.value(0).toLongLong();
                q.finish();
                if (!q.prepare(select(m_conditions, m_shown, true, [](const QVariant&) { return QString("?"); },
                                      m_companyId)))
                    fail(q.lastError());
                const qint64 span = g_span;
                const int columns = int(m_shown.size());
                Cells cells;
                for (qint64 from = 0; from < top && !m_stop && m_error.isEmpty(); from += span) {
                    int at = 0;
                    q.bindValue(at++, from);
                    q.bindValue(at++, std::min(top, from + span));
                    q.bindValue(at++, m_companyId);
                    for (const Condition& c : std::as_const(m_conditions))
                        q.bindValue(at++, c.value);
                    if (!q.exec()) {
                        fail(q.lastError());
                        break;
                    }
                    while (q.next()) {
                        for (int c = 0; c < columns; ++c)
                            cells.push_back(q.value(c).toString());
                        if (cells.size() >= kChunkRows * size_t(columns))
                            hand(std::exchange(cells, {}));
                    }
                    if (q.lastError().isValid()) {
                        fail(q.lastError());
                        break;
                    }
                    m_permille = int(std::min(top, from + span) * 1000 / top);
                    hand(std::exchange(cells, {}));
                }
                m_stopped = m_stop.load() && m_permille < 1000;
            }
            q.finish();
            q.exec("COMMIT");
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    m_finished = true;
}
