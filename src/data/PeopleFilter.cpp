#include "PeopleFilter.h"

#include "Connection.h"

#include <QThread>


namespace {
std::atomic<qint64> g_span{65536};
constexpr size_t kChunkRows = 8192; // a chunk the window takes in without a stall
constexpr size_t kWaiting = 8;      // chunks found and not yet taken before the reading waits

// The filter's rule folds the letters A to Z alone; a NULL equals nothing. The company is compared
// outside its index: nearly every person is in it, and the range of row keys keeps the rows in
// the list's order.
QString select(storage::Store& store, const QList<PeopleFilter::Condition>& conditions, const QStringList& shown)
{
    QStringList columns;
    for (const QString& c : shown)
        columns << Connection::quote(c);
    const QString key = store.rowKey("People");
    QStringList where{key + " > ? AND " + key + " <= ?", "+\"CompanyID\" = ?"};
    for (const PeopleFilter::Condition& c : conditions)
        where << store.equalFoldingAZ(Connection::quote(c.column), "?");
    return "SELECT " + columns.join(", ") + " FROM \"People\" WHERE " + where.join(" AND ") + " ORDER BY " + key;
}
} // namespace

PeopleFilter::PeopleFilter(const Connection& connection, const QVariant& companyId, const QList<Condition>& conditions,
                           const QStringList& shown, QObject* parent)
    : QObject(parent), m_connection(connection), m_companyId(companyId), m_conditions(conditions), m_shown(shown)
{
}

PeopleFilter::~PeopleFilter()
{
    stop();
    if (m_thread)
        m_thread->wait();
}

void PeopleFilter::setSpan(qint64 identities) { g_span = std::max<qint64>(1, identities); }

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
    try {
        // A connection of its own in this thread: the file's, or the server's.
        const std::unique_ptr<storage::Store> own = m_connection.openAnother();
        storage::Store& file = *own;
        // One read transaction: every part of the run sees the file as it was when it began.
        file.beginRead();
        qint64 top = 0;
        {
            storage::Prepared q(file, ("SELECT coalesce(max(" + file.rowKey("People") + "), 0) FROM \"People\"").toUtf8());
            if (q->step())
                top = q->integer(0);
        }
        storage::Prepared q(file, select(file, m_conditions, m_shown).toUtf8());
        const qint64 span = g_span;
        const int columns = int(m_shown.size());
        Cells cells;
        for (qint64 from = 0; from < top && !m_stop; from += span) {
            int at = 1;
            q->reset();
            q->bindInteger(at++, from);
            q->bindInteger(at++, std::min(top, from + span));
            q->bind(at++, m_companyId);
            for (const Condition& c : std::as_const(m_conditions))
                q->bind(at++, c.value);
            while (q->step()) {
                for (int c = 0; c < columns; ++c)
                    cells.push_back(q->value(c).toString());
                if (cells.size() >= kChunkRows * size_t(columns))
                    hand(std::exchange(cells, {}));
            }
            m_permille = int(std::min(top, from + span) * 1000 / top);
            hand(std::exchange(cells, {}));
        }
        m_stopped = m_stop.load() && m_permille < 1000;
    } catch (const DataError& e) {
        QMutexLocker lock(&m_mutex);
        m_error = e.text();
    }
    m_finished = true;
}
