#pragma once
#include <QHash>
#include <QMultiHash>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

class TMainDataModule;
namespace Trash {
class ImportRecord;
}
class DataError;
namespace storage {
class Rows;
class Statement;
class Store;
}

// Adds many people at once under the person dataset's rules, without its cost per row. Every new
// person gets the company row's CompanyID and needs a name; rows go in through one prepared
// statement, in transactions of bounded size, so memory does not grow with the number of rows.
// The duplicate test asks an index instead of walking the people. When the batch ends, the
// after-post rule runs once (the full-table people dataset and the suggestion lists) and the
// person dataset is re-read once, with the last person added or found made current. On a
// database far away the rows are gathered and sent once a transaction, and the duplicate test
// asks a list of the company's people read once.
class PeopleBatch {
public:
    // The People columns that add() fills, in the order of its values.
    PeopleBatch(TMainDataModule& data, const QStringList& columns);
    ~PeopleBatch(); // keeps what was written if finish() never ran
    PeopleBatch(const PeopleBatch&) = delete;
    PeopleBatch& operator=(const PeopleBatch&) = delete;

    // Settles the current person and makes the company row current, as a search does; throws
    // DataError, or Abort when the name check refuses the pending person.
    void begin();
    int startCount() const { return m_startCount; } // people of the company before the batch
    int width(int column) const;                    // characters the column holds; 0: no limit

    // A person of the company row with this name and first e-mail address, letter case ignored;
    // 0 when there is none. A found person is the one shown when the batch ends.
    qint64 findDuplicate(QStringView name, QStringView email1);
    // Writes one person; an empty value stores nothing. Throws DataError. source is where the
    // person comes from (a line of the file), for lostFrom().
    qint64 add(const std::vector<QStringView>& values, int source = 0);
    // Where the first person came from whom a failure took back with the transaction they were
    // written in; 0 when a failure took back nobody written before it.
    int lostFrom() const { return m_lostFrom; }
    // Writes a person's stored answers to the questionnaire, question n from answers[n - 1], in
    // the same transaction as the person. Throws DataError.
    void addAnswers(qint64 person, const QVector<int>& answers);
    // Before begin(): the batch is an import of this file, recorded with every person it adds in
    // the transaction that adds them, so that it can be taken back.
    void recordImport(const QString& fileName);
    qint64 importId() const; // 0 when nothing was recorded
    int added() const { return m_committed + m_pending; }
    int committed() const { return m_committed; } // what a failure cannot take back

    // Commits, runs the rules once and shows the last person. Throws DataError when the last
    // rows could not be committed; committed() then says how many stay.
    void finish();

private:
    storage::Store& store() const;
    std::unique_ptr<storage::Statement> prepare(const QString& sql);
    [[noreturn]] void failed(const DataError& error);
    void commit();
    void pauseInsertLog();
    void loadFoldedNames();
    void restoreSettings();
    qint64 gather(const std::vector<QStringView>& values);
    void sendGathered();
    void dropGathered();
    void loadKnown();
    void know(qint64 id, QStringView name, QStringView email1);
    qint64 knownDuplicate(QStringView name, QStringView email1) const;

    TMainDataModule& m_data;
    QStringList m_columns;
    QVector<int> m_widths;
    int m_nameColumn = -1;
    int m_email1Column = -1;
    QVariant m_companyId;
    int m_startCount = 0;
    std::unique_ptr<storage::Statement> m_insert;
    QVariantList m_stamp; // who imports and when, bound after the columns
    std::unique_ptr<storage::Statement> m_find;
    bool m_inTransaction = false;
    QByteArray m_insertLog; // the statement that makes the insert trigger, while it is dropped
    int m_pending = 0; // written in the open transaction
    int m_pendingFrom = 0; // the source of the first of them
    int m_lostFrom = 0;
    int m_committed = 0;
    qint64 m_lastTouched = 0;
    qint64 m_firstAdded = 0;      // the lowest identity the batch wrote, 0 for none
    quint64 m_versionAtBegin = 0; // this program's writes to People when the batch began
    bool m_finished = false;
    bool m_settingsChanged = false;
    // The people whose names have letters beyond ASCII, which the index does not fold, by a
    // hash of the case-folded name: a few bytes each, checked against the row on a hit.
    bool m_foldedLoaded = false;
    QMultiHash<size_t, qint64> m_foldedNames;
    std::unique_ptr<storage::Statement> m_byId;
    std::unique_ptr<storage::Statement> m_answer;
    std::unique_ptr<Trash::ImportRecord> m_import;
    qint64 m_pendingFirst = 0, m_pendingLast = 0; // the people added in the open transaction

    // Gathered for a database far away: the rows and answers not sent yet, the columns they go
    // to, and the key the next one takes (0: not taken in this transaction).
    bool m_gathering = false;
    std::unique_ptr<storage::Rows> m_rows, m_answerRows;
    QStringList m_rowColumns;
    qint64 m_nextKey = 0;
    // The company's people by the name with A to Z folded, and by the name fully folded for names
    // beyond ASCII, each with the folded e-mail address: the duplicate test's two ways, asked here.
    bool m_knownLoaded = false;
    QHash<QString, qint64> m_knownAZ, m_knownFolded;
};

// Every stored answer to the questionnaire, by person: question n at index n - 1, -1 where the
// person has no row for it. People without answers are not in the map. Throws DataError.
QHash<qint64, QVector<int>> readQuestionAnswers(TMainDataModule& data);
