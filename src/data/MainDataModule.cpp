#include "MainDataModule.h"
#include "OthersWatch.h"

#include "data/DataError.h"
#include "Notices.h"
#include "RowReader.h"
#include "Schema.h"
#include "SchemaUpgrade.h"
#include "Trash.h"

#include <QLocale>

#include <algorithm>

namespace {
const QStringList kRoles = {"SPDecisionMaker", "SPUser", "SPInfluencer", "SPPurchaser", "SPGateKeeper"};

QStringList businessColumns()
{
    return QStringList{"PersonID", "SubProjectID"} + kRoles + QStringList{"SPWeight"};
}

// The person dataset declares every column of People, so a table that lacks one is refused at
// start-up instead of failing at every keystroke.
const QStringList kPeopleColumns = {
    "PersonID", "CompanyID", "Name", "Title", "Gender", "PersonType", "CustoemrImportance", "Language", "Income",
    "EducationLevel", "Profession", "Birthday", "Breminder", "Household", "Spouse", "Anniversary", "Areminder",
    "Children", "HAStreet", "HACity", "HAState", "HAPostalCode", "HACountry", "HAPostOfficeBox", "PrimaryTel",
    "Mobile", "TelH1", "TelH2", "FaxH", "Email1", "Email2", "Telex", "HomePage", "Company", "CompanySize",
    "Industry", "Department", "JobTitle", "BAStreet", "BACity", "BAState", "BAPostalCode", "BACountry",
    "BAPostOfficeBox", "MailingAddress", "BillingAddress", "TelMain", "TelCallback", "TelB1", "TelB2", "Ext",
    "FaxB1", "FaxB2", "WebPage", "AssistantName", "ManagerName", "ProspectingMethod", "OfferedSolution", "Ethnic",
    "Hobbies", "Info", "Address", "Email", "ProfessionID", "ReferredBy", "ProspectingData"};

// Two copies of the program on one file: a save that would overwrite another user's change, or
// bring back a person another user deleted, asks first.
bool askAboutOtherUser(Dataset& ds, Dataset::Conflict conflict)
{
    if (conflict == Dataset::Conflict::Changed) {
        const ChangeStamp::Stamp writer = ds.conflictWriter();
        if (const QDateTime when = writer.when(); when.isValid())
            return Notices::ask({QString("This person was changed by %1 at %2 since you began editing. Save your "
                                         "changes over theirs?")
                                     .arg(writer.by, QLocale().toString(when.toLocalTime(), QLocale::ShortFormat)),
                                 false});
        // A change by a program that keeps no record of its writer, or by the same user elsewhere.
        return Notices::ask({"This person was changed by another user since you began editing. Save your changes over "
                             "theirs?",
                             false});
    }
    return Notices::ask({"This person was deleted by another user. Save it as a new person?", true});
}

// Every distinct value of a column of People in order, as SELECT DISTINCT ... ORDER BY gives
// them (NULL first when a row holds it), but found by one seek in the column's index per value
// instead of a pass over a million rows.
// A column's values without regard to the case of A to Z, each once as first stored, in that
// rule's order: one step of the column's index per value, however many people have it.
//
// On a server the first person of a value is looked for among that value's people alone: with
// a bare ORDER BY "PersonID" the server walks everybody in number order until one has the value,
// thousands of people for each rare company, on every save of every copy once others have saved.
QString distinctValues(const storage::Store& store, const QString& column, bool onServer)
{
    const QString c = Connection::quote(column);
    const QString folded = store.foldedAZ("\"People\"." + c);
    const QString first = onServer ? "\"PersonID\" + 0" : "\"PersonID\"";
    return QString("WITH RECURSIVE v(k) AS (SELECT min(%2) FROM \"People\" UNION ALL "
                   "SELECT (SELECT min(%2) FROM \"People\" WHERE %2 > %3) FROM v WHERE v.k IS NOT NULL) "
                   "SELECT NULL AS %1 WHERE EXISTS (SELECT 1 FROM \"People\" WHERE \"People\".%1 IS NULL) "
                   "UNION ALL SELECT (SELECT \"People\".%1 FROM \"People\" WHERE %2 = %3 ORDER BY %4 LIMIT 1) "
                   "AS %1 FROM v WHERE v.k IS NOT NULL;")
        .arg(c, folded, store.foldedAZ("v.k"), first);
}

bool isBlank(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 32)
            return false;
    return true;
}
} // namespace

TMainDataModule::TMainDataModule(QObject* parent) : QObject(parent), MainADOConnection("MainADOConnection")
{
    setObjectName("MainDataModule");
    // A person another user saved shows in the list while this one only looks at it.
    MainADOConnection.listenForOthers();
    m_othersWatch = new OthersWatch(MainADOConnection, this);
    connect(m_othersWatch, &OthersWatch::othersWrote, this, [this] { PeopleCompanyDet->takeInOthersWrites(); });
    auto source = [this](const QString& name, Dataset* ds) { return new DataSource(name, ds, this); };

    CompaniesTable = makeTable("CompaniesTable", "Companies");
    CompaniesDataSource = source("CompaniesDataSource", CompaniesTable);

    PeopleTable = makeTable("PeopleTable", "People",
                            {"PersonID", "CompanyID", "Name", "Email", "Mobile", "Info", "JobTitle", "Company",
                             "Address", "Profession", "Anniversary", "Areminder", "Birthday", "Breminder",
                             "BAStreet", "BAState", "BAPostOfficeBox", "BACountry", "BACity", "Gender",
                             "Household", "Children", "Spouse", "Language", "PrimaryTel", "Title", "FaxB1",
                             "HAStreet", "HAState", "HAPostOfficeBox", "HACountry", "HACity", "AssistantName",
                             "ManagerName", "ProspectingMethod"});
    PeopleTable->setSort({"CompanyID"});
    PeopleTable->setDeferredLoad(true); // reloaded on every edit; read only by lookups
    PeopleDataSource = source("PeopleDataSource", PeopleTable);

    ProjectsTable = makeTable("ProjectsTable", "Projects", {"ProjectID", "CompanyID", "Name", "Code", "Comments"});
    ProjectsTable->addLookup("CompanyName", "CompanyID", CompaniesTable, "CompanyID", "Name");
    ProjectsDataSource = source("ProjectsDataSource", ProjectsTable);

    SubProjectsTable = makeTable("SubProjectsTable", "SubProjects",
                                 {"SubProjectID", "SubProjectTypeID", "ProjectID", "Name", "Code", "Comments", "SizeID"});
    SubProjectsDataSource = source("SubProjectsDataSource", SubProjectsTable);

    SubProjectStatusTable = makeTable("SubProjectStatusTable", "SubProjectStatus", {"SPStatusID", "SPStatusName"});
    SubProjectStatusDataSource = source("SubProjectStatusDataSource", SubProjectStatusTable);

    SubProjectTypeTable = makeTable("SubProjectTypeTable", "SubProjectType", {"SPTypeID", "SPTypeName", "Comments"});
    SubProjectTypeDataSource = source("SubProjectTypeDataSource", SubProjectTypeTable);

    BusinessTable = makeTable("BusinessTable", "Business", businessColumns());
    BusinessDataSource = source("BusinessDataSource", BusinessTable);

    ProjectsDetail = makeTable("ProjectsDetail", "Projects", {"ProjectID", "CompanyID", "Name", "Code", "Comments"});
    ProjectsDetail->setMaster(CompaniesDataSource, "CompanyID");
    ProjectDetailDS = source("ProjectDetailDS", ProjectsDetail);

    SubProjectsDetail = makeTable("SubProjectsDetail", "SubProjects",
                                  {"SubProjectID", "SubProjectTypeID", "ProjectID", "SizeID", "Name", "Code", "Comments"});
    SubProjectsDetail->setMaster(ProjectDetailDS, "ProjectID");
    SubProjectDetailDS = source("SubProjectDetailDS", SubProjectsDetail);

    PeopleDetail = makeTable("PeopleDetail", "Business", businessColumns());
    PeopleDetail->setMaster(SubProjectDetailDS, "SubProjectID");
    PeopleDetialDS = source("PeopleDetialDS", PeopleDetail);

    SubProjectSizeTable = makeTable("SubProjectSizeTable", "SubProjectSize");
    SubProjectSizeDS = source("SubProjectSizeDS", SubProjectSizeTable);

    PeopleCompanyDet = makeTable("PeopleCompanyDet", "People", kPeopleColumns);
    PeopleCompanyDet->setMaster(CompaniesDataSource, "CompanyID");
    PeopleCompanyDet->setColumnSize("JobTitle", 150);
    PeopleCompanyDet->setSearchColumn("Name"); // the search by name reads it for every person
    PeopleCompanyDet->setChangeLog("PeopleChanges", "PersonID");
    // A deleted person, her follow-up activities and her answers go to the trash, from where
    // she can be brought back.
    PeopleCompanyDet->setRemover([this](const QVariant& id) { Trash::movePeople(MainADOConnection, {id.toLongLong()}); });
    PeopleCompanyDS = source("PeopleCompanyDS", PeopleCompanyDet);

    SubProjectHistoryDT = makeTable("SubProjectHistoryDT", "SubProjectHistory",
                                    {"ID", "SubProjectID", "SubProjectStatusID", "Date", "FollowUpComments"});
    SubProjectHistoryDT->setMaster(SubProjectDetailDS, "SubProjectID");
    SubProjectHistoryDS = source("SubProjectHistoryDS", SubProjectHistoryDT);

    PeopleProjectDetail = makeTable("PeopleProjectDetail", "Business", businessColumns());
    PeopleProjectDetail->setMaster(PeopleCompanyDS, "PersonID");
    PeopleProjectDetail->setDeferredLoad(true); // follows every move of the current person
    PeopleProjectDetailDS = source("PeopleProjectDetailDS", PeopleProjectDetail);

    CompaniesTableEX = makeTable("CompaniesTableEX", "Companies");

    PeopleTableEX = makeTable("PeopleTableEX", "People",
                              {"PersonID", "CompanyID", "Name", "Email", "Mobile", "Info", "Company", "Address", "JobTitle"});
    PeopleTableEX->setDeferredLoad(true);
    PeopleTableEX->addLookup("Company Name", "CompanyID", CompaniesTableEX, "CompanyID", "Name");

    SubProjectHistoryQ = makeQuery("SubProjectHistoryQ",
                                   "SELECT \"SubProjectHistory\".\"Date\", \"SubProjectHistory\".\"ID\", "
                                   "\"SubProjectHistory\".\"SubProjectID\", \"SubProjectHistory\".\"SubProjectStatusID\"\n"
                                   "FROM \"SubProjects\" INNER JOIN \"SubProjectHistory\" ON \"SubProjects\".\"SubProjectID\" = "
                                   "\"SubProjectHistory\".\"SubProjectID\"\n"
                                   "WHERE (((\"SubProjectHistory\".\"SubProjectID\")=:SPID))\n"
                                   "ORDER BY \"SubProjectHistory\".\"Date\";");
    SubProjectHistoryQ->setParameter("SPID", QVariant(QString("0")));
    SubProjectHistoryQ->setSort({"Date"});
    SubProjectHistoryQ->setUpdateTable("SubProjectHistory", "ID");
    SubProjectHistoryQ->setRequiredColumns("SubProjectHistory", {"Date", "ID", "SubProjectID", "SubProjectStatusID"});
    SubProjectHistoryQ->setRequiredColumns("SubProjects", {"SubProjectID"});
    SubProjectHistoryQDS = source("SubProjectHistoryQDS", SubProjectHistoryQ);

    // The lists' statements are made when they open: their words are the store's.
    ProfessionQuery = makeQuery("ProfessionQuery", QString());
    ProfessionQuery->setRequiredColumns("People", {"Profession"});
    ProfessionQueryDS = source("ProfessionQueryDS", ProfessionQuery);
    CompanyQuery = makeQuery("CompanyQuery", QString());
    CompanyQuery->setRequiredColumns("People", {"Company"});
    CompanyQueryDS = source("CompanyQueryDS", CompanyQuery);
    SolutionQuery = makeQuery("SolutionQuery", QString());
    SolutionQuery->setRequiredColumns("People", {"OfferedSolution"});
    SolutionQueryDS = source("SolutionQueryDS", SolutionQuery);

    Prospecting = makeTable("Prospecting", "People", {"ProspectingMethod"});
    ProspectingDS = source("ProspectingDS", Prospecting);

    // Lookups whose datasets are declared later in the order.
    SubProjectsTable->addLookup("ProjectName", "ProjectID", ProjectsTable, "ProjectID", "Name");
    SubProjectsTable->addLookup("Type", "SubProjectTypeID", SubProjectTypeTable, "SPTypeID", "SPTypeName");
    SubProjectsTable->addLookup("Size", "SizeID", SubProjectSizeTable, "ID", "Name");
    BusinessTable->addLookup("PersonName", "PersonID", PeopleTable, "PersonID", "Name");
    BusinessTable->addLookup("SubProjectName", "SubProjectID", SubProjectsTable, "SubProjectID", "Name");
    SubProjectsDetail->addLookup("Size", "SizeID", SubProjectSizeTable, "ID", "Name");
    SubProjectsDetail->addLookup("Type", "SubProjectTypeID", SubProjectTypeTable, "SPTypeID", "SPTypeName");
    SubProjectsDetail->addLookup("TypeComment", "SubProjectTypeID", SubProjectTypeTable, "SPTypeID", "Comments");
    PeopleDetail->addLookup("PersonName", "PersonID", PeopleTable, "PersonID", "Name");
    PeopleDetail->addLookup("CompanyName", "PersonID", PeopleTableEX, "PersonID", "Company Name");
    SubProjectHistoryDT->addLookup("Status", "SubProjectStatusID", SubProjectStatusTable, "SPStatusID", "SPStatusName");
    PeopleProjectDetail->addLookup("Subproject", "SubProjectID", SubProjectsDetail, "SubProjectID", "Name");
    SubProjectHistoryQ->addLookup("Status", "SubProjectStatusID", SubProjectStatusTable, "SPStatusID", "SPStatusName");
    SubProjectHistoryQ->addLookup("FollowUpComments", "Date", SubProjectHistoryDT, "FollowUpComments", "FollowUpComments");

    using std::placeholders::_1;
    PeopleCompanyDet->events.beforePost = [this](Dataset& d) { PeopleCompanyDetBeforePost(d); };
    PeopleCompanyDet->events.afterPost = [this](Dataset& d) {
        PeopleCompanyDetAfterPost(d);
        emit personSaved();
    };
    PeopleCompanyDet->events.afterInsert = [this](Dataset& d) { PeopleCompanyDetAfterInsert(d); };
    PeopleCompanyDet->events.afterEdit = [this](Dataset& d) { PeopleCompanyDetAfterEdit(d); };
    PeopleCompanyDet->events.afterDelete = [this](Dataset& d) { PeopleCompanyDetAfterDelete(d); };
    PeopleCompanyDet->events.resolveConflict = askAboutOtherUser;
    SubProjectsDetail->events.afterInsert = [this](Dataset& d) { SubProjectsDetailAfterInsert(d); };
    SubProjectsDetail->events.beforePost = [this](Dataset& d) { SubProjectsDetailBeforePost(d); };
    SubProjectsDetail->events.afterScroll = [this](Dataset& d) { SubProjectsDetailAfterScroll(d); };
    SubProjectHistoryQ->events.afterInsert = [this](Dataset& d) { SubProjectHistoryQAfterInsert(d); };
    SubProjectHistoryQ->events.afterPost = [this](Dataset& d) { SubProjectHistoryQAfterPost(d); };
    SubProjectHistoryQ->events.afterRefresh = [this](Dataset& d) { SubProjectHistoryQAfterRefresh(d); };
    PeopleDetail->events.afterPost = [this](Dataset& d) { PeopleDetailAfterPost(d); };
    PeopleDetail->events.afterDelete = [this](Dataset& d) { PeopleDetailAfterPost(d); };
}

TMainDataModule::~TMainDataModule()
{
    // Datasets go before the connection they read through; details before their masters, so
    // nothing pending is posted on the way out.
    nameText = nullptr;
    focusName = nullptr;
    QVector<Dataset*> order = openingOrder();
    std::reverse(order.begin(), order.end());
    for (Dataset* ds : order)
        ds->close();
}

Dataset* TMainDataModule::makeTable(const QString& name, const QString& table, const QStringList& columns)
{
    auto* ds = new Dataset(name, &MainADOConnection, this);
    ds->setTable(table);
    ds->setDeclaredColumns(columns);
    return ds;
}

Dataset* TMainDataModule::makeQuery(const QString& name, const QString& sql)
{
    auto* ds = new Dataset(name, &MainADOConnection, this);
    ds->setQuery(sql);
    return ds;
}

QVector<Dataset*> TMainDataModule::openingOrder() const
{
    return {CompaniesTable, PeopleTable, ProjectsTable, SubProjectsTable, SubProjectStatusTable,
            SubProjectTypeTable, BusinessTable, ProjectsDetail, SubProjectsDetail, PeopleDetail,
            SubProjectSizeTable, PeopleCompanyDet, SubProjectHistoryDT, PeopleProjectDetail,
            CompaniesTableEX, PeopleTableEX, SubProjectHistoryQ, ProfessionQuery, CompanyQuery, SolutionQuery};
}

// The file is brought up to this program's schema (SchemaUpgrade), in place unless the steps ran
// already on a handle of their own while a window showed how far they had come.
void TMainDataModule::upgradeSchema()
{
    const SchemaUpgrade::Outcome outcome = m_upgraded ? *m_upgraded : SchemaUpgrade::run(MainADOConnection.store());
    m_upgraded.reset();
    if (outcome.foreignLog)
        PeopleCompanyDet->setChangeLog({}, {});
    // The steps commit on the store itself: the file alone then holds them, as after any save.
    if (outcome.changed) {
        try {
            MainADOConnection.checkpoint();
        } catch (const DataError&) {
        }
    }
    MainADOConnection.forgetColumns();
    m_startupNotice = outcome.notices.join("\n\n");
}

void TMainDataModule::SetDatasetsActive(bool active)
{
    Connection::VersionHold oneRead(MainADOConnection);
    if (active) {
        upgradeSchema();
        // A trash that cannot be emptied now (a file another program holds) is emptied at a
        // later start; it never keeps the program from starting.
        try {
            Trash::dropExpired(MainADOConnection);
        } catch (const DataError&) {
        }
    }
    // Read before the lists: a program that writes meanwhile makes the next save read them again.
    m_listsExternal = active ? MainADOConnection.externalVersion() : -1;
    m_listsVersion = MainADOConnection.tableVersion("People");
    if (active) {
        const storage::Store& store = MainADOConnection.store();
        const bool server = MainADOConnection.onServer();
        ProfessionQuery->setQuery(distinctValues(store, "Profession", server));
        CompanyQuery->setQuery(distinctValues(store, "Company", server));
        SolutionQuery->setQuery(distinctValues(store, "OfferedSolution", server));
    }
    for (Dataset* ds : openingOrder()) {
        if (active)
            ds->open();
        else
            ds->close();
    }
    if (active)
        for (Dataset* ds : openingOrder())
            ds->checkLookups();
    FillProfessionList();
    FillCompanyList();
    FillSolutionList();
    if (active)
        m_othersWatch->start();
    else
        m_othersWatch->stop();
}

QStringList TMainDataModule::fillList(Dataset* query, const QString& column)
{
    QStringList items;
    if (!query->isActive())
        return items;
    const int col = query->columnIndex(column);
    for (int row = query->recNo(); row >= 0 && row < query->recordCount(); ++row) {
        const QString text = query->valueAt(row, col).toString();
        if (!text.isEmpty())
            items << text;
    }
    return items;
}

void TMainDataModule::FillProfessionList()
{
    m_professions = fillList(ProfessionQuery, "Profession");
    emit professionListFilled(m_professions);
}

void TMainDataModule::FillCompanyList()
{
    m_companies = fillList(CompanyQuery, "Company");
    emit companyListFilled(m_companies);
}

void TMainDataModule::FillSolutionList()
{
    m_solutions = fillList(SolutionQuery, "OfferedSolution");
    emit solutionListFilled(m_solutions);
}

// ---- person rules ----------------------------------------------------------------------------

void TMainDataModule::PeopleCompanyDetBeforePost(Dataset& ds)
{
    const QString name = nameText ? nameText() : ds.value("Name").toString();
    if (isBlank(name)) {
        Notices::refuse("Required field (Name) is empty.");
        if (focusName)
            focusName();
        throw Abort{};
    }
    m_posting = true;
    m_postBase = MainADOConnection.tableVersion("People");
}

void TMainDataModule::PeopleCompanyDetAfterPost(Dataset& ds)
{
    Connection::VersionHold oneRead(MainADOConnection, Connection::VersionHold::AfterCommit::Yes);
    // A list is read again when the save set its column; all of them when anything else wrote
    // to People since they were read (a delete, an import, another program). Otherwise reading
    // a list again would give what it holds.
    const bool onlyThisSave = m_posting && m_postBase == m_listsVersion
                              && MainADOConnection.tableVersion("People") == m_listsVersion + 1
                              && MainADOConnection.externalVersion() == m_listsExternal && m_listsExternal >= 0;
    m_posting = false;
    if (!onlyThisSave) {
        RefillLists();
        return;
    }
    PeopleTable->reopen();
    if (ds.columnChanged("Profession")) {
        ProfessionQuery->reopen();
        FillProfessionList();
    }
    if (ds.columnChanged("Company")) {
        CompanyQuery->reopen();
        FillCompanyList();
    }
    if (ds.columnChanged("OfferedSolution")) {
        SolutionQuery->reopen();
        FillSolutionList();
    }
    m_listsVersion = MainADOConnection.tableVersion("People");
}

void TMainDataModule::RefillLists()
{
    m_listsExternal = MainADOConnection.externalVersion();
    PeopleTable->reopen();
    ProfessionQuery->reopen();
    FillProfessionList();
    CompanyQuery->reopen();
    FillCompanyList();
    SolutionQuery->reopen();
    FillSolutionList();
    m_listsVersion = MainADOConnection.tableVersion("People");
}

void TMainDataModule::PeopleCompanyDetAfterInsert(Dataset&) { PeopleTable->reopen(); }
void TMainDataModule::PeopleCompanyDetAfterEdit(Dataset&) { PeopleTable->reopen(); }
void TMainDataModule::PeopleCompanyDetAfterDelete(Dataset&) { PeopleTable->reopen(); }

// ---- sales-project rules ---------------------------------------------------------------------

void TMainDataModule::SubProjectsDetailAfterInsert(Dataset& ds)
{
    ds.setValue("SizeID", 2);
    ds.setValue("SubProjectTypeID", 3);
}

void TMainDataModule::SubProjectsDetailBeforePost(Dataset& ds)
{
    if (ds.value("SubProjectTypeID").toInt() == 0)
        ds.setValue("SubProjectTypeID", 1);
    if (ds.value("SizeID").toInt() == 0)
        ds.setValue("SizeID", 1);
}

void TMainDataModule::rerunHistory()
{
    SubProjectHistoryQ->close();
    SubProjectHistoryQ->setParameter("SPID", SubProjectsDetail->value("SubProjectID"));
    SubProjectHistoryQ->open();
}

void TMainDataModule::SubProjectsDetailAfterScroll(Dataset&) { rerunHistory(); }

void TMainDataModule::SubProjectHistoryQAfterInsert(Dataset& ds)
{
    SubProjectsDetail->edit();
    SubProjectsDetail->post();
    ds.setValue("SubProjectID", SubProjectsDetail->value("SubProjectID"));
    ds.setValue("SubProjectStatusID", 1);
}

void TMainDataModule::SubProjectHistoryQAfterPost(Dataset&) { rerunHistory(); }
void TMainDataModule::SubProjectHistoryQAfterRefresh(Dataset&) { rerunHistory(); }

void TMainDataModule::PeopleDetailAfterPost(Dataset&)
{
    CompaniesTableEX->reopen();
    PeopleTableEX->reopen();
}

int TMainDataModule::MoveAllPeopleToTrash()
{
    const int moved = Trash::moveCompany(MainADOConnection, CompaniesTable->isEmpty() ? QVariant()
                                                                                      : CompaniesTable->value("CompanyID"));
    PeopleTakenBack();
    return moved;
}

int TMainDataModule::MovePeopleToTrash(const QList<qint64>& personIds)
{
    const int moved = Trash::movePeople(MainADOConnection, personIds);
    PeopleTakenBack();
    return moved;
}

void TMainDataModule::PeopleTakenBack(qint64 current)
{
    PeopleCompanyDet->refresh();
    if (current)
        PeopleCompanyDet->locate({"PersonID"}, {current});
    RefillLists();
}

bool TMainDataModule::personStored(const QVariant& personId)
{
    if (personId.isNull())
        return false;
    RowReader q(MainADOConnection, "SELECT 1 FROM \"People\" WHERE \"PersonID\" = ?", {personId});
    return q.next();
}
