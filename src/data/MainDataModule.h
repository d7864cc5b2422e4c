#pragma once
#include "Connection.h"
#include "DataSource.h"
#include "Dataset.h"
#include "SchemaUpgrade.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// Holds the one connection and every shared dataset with its data source, links, lookups and
// the dataset rules that apply whichever window makes a change.
class TMainDataModule : public QObject {
    Q_OBJECT
public:
    explicit TMainDataModule(QObject* parent = nullptr);
    ~TMainDataModule() override;

    Connection MainADOConnection;

    Dataset* CompaniesTable;
    Dataset* PeopleTable;
    Dataset* ProjectsTable;
    Dataset* SubProjectsTable;
    Dataset* SubProjectStatusTable;
    Dataset* SubProjectTypeTable;
    Dataset* BusinessTable;
    Dataset* ProjectsDetail;
    Dataset* SubProjectsDetail;
    Dataset* PeopleDetail;
    Dataset* SubProjectSizeTable;
    Dataset* PeopleCompanyDet;
    Dataset* SubProjectHistoryDT;
    Dataset* PeopleProjectDetail;
    Dataset* CompaniesTableEX;
    Dataset* PeopleTableEX;
    Dataset* SubProjectHistoryQ;
    Dataset* ProfessionQuery;
    Dataset* CompanyQuery;
    Dataset* SolutionQuery;
    Dataset* Prospecting; // declared, never opened

    DataSource* CompaniesDataSource;
    DataSource* PeopleDataSource;
    DataSource* ProjectsDataSource;
    DataSource* SubProjectsDataSource;
    DataSource* SubProjectStatusDataSource;
    DataSource* SubProjectTypeDataSource;
    DataSource* BusinessDataSource;
    DataSource* ProjectDetailDS;
    DataSource* SubProjectDetailDS;
    DataSource* PeopleDetialDS;
    DataSource* SubProjectSizeDS;
    DataSource* PeopleCompanyDS;
    DataSource* SubProjectHistoryDS;
    DataSource* PeopleProjectDetailDS;
    DataSource* SubProjectHistoryQDS;
    DataSource* ProfessionQueryDS;
    DataSource* CompanyQueryDS;
    DataSource* SolutionQueryDS;
    DataSource* ProspectingDS;

    // The person screen fills these: the name box's text and a way to focus it.
    std::function<QString()> nameText;
    std::function<void()> focusName;

    void SetDatasetsActive(bool active);
    void FillProfessionList();
    void FillCompanyList();
    void FillSolutionList();
    // Reads the person lookups and every list again, after writes other than one save.
    void RefillLists();
    QStringList professionList() const { return m_professions; }
    QStringList companyList() const { return m_companies; }
    QStringList solutionList() const { return m_solutions; }

    QVector<Dataset*> openingOrder() const;

    // Whether table People still holds this person: another program may have deleted her since
    // the person dataset was read. Throws DataError when the file cannot be read.
    bool personStored(const QVariant& personId);

    // The rules, named after dataset and event.
    void PeopleCompanyDetBeforePost(Dataset& ds);
    void PeopleCompanyDetAfterPost(Dataset& ds);
    void PeopleCompanyDetAfterInsert(Dataset& ds);
    void PeopleCompanyDetAfterEdit(Dataset& ds);
    void PeopleCompanyDetAfterDelete(Dataset& ds);
    void SubProjectsDetailAfterInsert(Dataset& ds);
    void SubProjectsDetailBeforePost(Dataset& ds);
    void SubProjectsDetailAfterScroll(Dataset& ds);
    void SubProjectHistoryQAfterInsert(Dataset& ds);
    void SubProjectHistoryQAfterPost(Dataset& ds);
    void SubProjectHistoryQAfterRefresh(Dataset& ds);
    void PeopleDetailAfterPost(Dataset& ds);

    // The people's trash: a person deleted through the person dataset goes there, and so do these.
    // Each moves its people in one transaction, then reads the person list and the suggestion
    // lists again; returns how many went. Throw DataError, and then nothing has changed.
    int MoveAllPeopleToTrash(); // every person of the company row
    int MovePeopleToTrash(const QList<qint64>& personIds);
    // After people came back from the trash or went with an import's undo: the person list and the
    // suggestion lists are read again, with this person current when she is in the list.
    void PeopleTakenBack(qint64 current = 0);

    // The file was brought up to this program's schema before the datasets open, on another
    // handle: what came of it, taken instead of doing the steps again.
    void setUpgradeOutcome(SchemaUpgrade::Outcome outcome) { m_upgraded = std::move(outcome); }
    // What the start-up found that the user should hear of once; empty when nothing.
    QString startupNotice() const { return m_startupNotice; }

signals:
    void professionListFilled(const QStringList& items);
    void companyListFilled(const QStringList& items);
    void solutionListFilled(const QStringList& items);
    void personSaved(); // after every saved person, once the rules have run

private:
    Dataset* makeTable(const QString& name, const QString& table, const QStringList& columns = {});
    Dataset* makeQuery(const QString& name, const QString& sql);
    QStringList fillList(Dataset* query, const QString& column);
    void upgradeSchema();
    void rerunHistory();

    QStringList m_professions, m_companies, m_solutions;
    // When the lists were read: the file's count of other programs' commits, and this program's
    // count of writes to People; and the count when the save being posted began.
    qint64 m_listsExternal = -1;
    quint64 m_listsVersion = 0, m_postBase = 0;
    bool m_posting = false;
    QString m_startupNotice;
    std::optional<SchemaUpgrade::Outcome> m_upgraded;
    class OthersWatch* m_othersWatch;
};
