#include "support/TestDatabase.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DataSource.h"
#include "data/Dataset.h"
#include "widgets/DatasetModel.h"

#include <QDate>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestDataset : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;
    std::unique_ptr<Connection> conn;

    std::unique_ptr<Dataset> table(const QString& name, const QStringList& cols = {})
    {
        auto ds = std::make_unique<Dataset>(name, conn.get());
        ds->setTable(name);
        ds->setDeclaredColumns(cols);
        return ds;
    }

private slots:
    void init()
    {
        db = std::make_unique<TestDatabase>();
        conn = std::make_unique<Connection>("test");
        TestDatabase::pointAt(*conn, db->path());
        conn->open();
    }
    void cleanup()
    {
        conn.reset();
        db.reset();
    }

    void statesEditCancelPost()
    {
        db->addPerson("Anna");
        auto people = table("People");
        QCOMPARE(people->state(), DatasetState::Inactive);
        people->open();
        QCOMPARE(people->state(), DatasetState::Browse);
        QVERIFY_THROWS_EXCEPTION(DataError, people->setValue("Name", "X"));

        people->edit();
        QCOMPARE(people->state(), DatasetState::Edit);
        people->setValue("Name", "Annabel");
        QCOMPARE(people->value("Name").toString(), QString("Annabel"));
        people->cancel();
        QCOMPARE(people->value("Name").toString(), QString("Anna"));
        QCOMPARE(people->state(), DatasetState::Browse);

        people->edit();
        people->setValue("Name", "Annabel");
        people->setValue("Birthday", QDate(1980, 3, 3));
        people->setValue("Breminder", true);
        people->post();
        QCOMPARE(db->scalar("SELECT Name FROM People").toString(), QString("Annabel"));
        QCOMPARE(db->scalar("SELECT Birthday FROM People").toString(), QString("1980-03-03"));
        QCOMPARE(db->scalar("SELECT Breminder FROM People").toInt(), 1);
        QCOMPARE(people->value("Birthday").toDate(), QDate(1980, 3, 3));
        QVERIFY_THROWS_EXCEPTION(DataError, people->post()); // nothing pending
    }

    void editOnEmptyInsertsAndUnchangedRowIsDropped()
    {
        auto people = table("People");
        people->open();
        people->edit();
        QCOMPARE(people->state(), DatasetState::Insert);
        QCOMPARE(people->recordCount(), 1);
        people->settle();
        QCOMPARE(people->recordCount(), 0);
        QCOMPARE(db->count("People"), 0);

        people->insert();
        people->setValue("Name", "Bob");
        people->settle();
        QCOMPARE(db->count("People"), 1);
        QVERIFY(people->value("PersonID").toInt() > 0); // auto-number read back
    }

    void masterMoveSettlesDetail()
    {
        db->exec("INSERT INTO Companies (CompanyID, Name) VALUES (2, 'Other')");
        db->addPerson("Anna", {{"CompanyID", 1}});
        db->addPerson("Zed", {{"CompanyID", 2}});
        auto companies = table("Companies");
        DataSource companiesDs("CompaniesDataSource", companies.get());
        auto people = table("People");
        people->setMaster(&companiesDs, "CompanyID");
        companies->open();
        people->open();
        QCOMPARE(people->recordCount(), 1);
        QCOMPARE(people->value("Name").toString(), QString("Anna"));

        // A changed row is posted when the master moves, even to the row it is on.
        people->edit();
        people->setValue("Name", "Anna B");
        companies->first();
        QCOMPARE(people->state(), DatasetState::Browse);
        QCOMPARE(db->scalar("SELECT Name FROM People WHERE PersonID = 1").toString(), QString("Anna B"));

        // An unchanged new row is dropped; the detail follows the master to the other company.
        people->insert();
        QCOMPARE(people->value("CompanyID").toInt(), 1);
        companies->next();
        QCOMPARE(people->recordCount(), 1);
        QCOMPARE(people->value("Name").toString(), QString("Zed"));
        QCOMPARE(db->count("People"), 2);

        people->insert();
        people->setValue("Name", "New");
        people->post();
        QCOMPARE(db->scalar("SELECT CompanyID FROM People WHERE Name = 'New'").toInt(), 2);
    }

    // A view is told which row came or went, so the rows and editors elsewhere stay as they are;
    // only rows that came in numbers (a re-read) start it afresh.
    void viewsAreToldWhichRowsCameOrWent_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("told");
        QTest::newRow("a new row in the middle") << "insert" << "inserted 1";
        QTest::newRow("a new row appended") << "append" << "inserted 3";
        QTest::newRow("a new row dropped") << "insert cancel" << "inserted 1, removed 1";
        QTest::newRow("a new row saved") << "insert post" << "inserted 1";
        QTest::newRow("an edit saved") << "edit post" << "";
        QTest::newRow("a row deleted") << "delete" << "removed 1";
        QTest::newRow("read again with one more") << "refresh" << "reset";
        QTest::newRow("read again, nothing new") << "refresh-same" << "";
    }
    void viewsAreToldWhichRowsCameOrWent()
    {
        QFETCH(QString, action);
        QFETCH(QString, told);
        for (const QString name : {"Anna", "Bob", "Carla"})
            db->addPerson(name);
        auto people = table("People", {"PersonID", "Name"});
        DataSource source("PeopleSource", people.get());
        people->open();
        DatasetModel model(&source, {GridColumn("Name", "Name", 80)});
        model.setAttached(true);
        people->setRecNo(1);
        QStringList heard;
        connect(&model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
            heard << QString("inserted %1").arg(first) + (last != first ? "-" + QString::number(last) : QString());
        });
        connect(&model, &QAbstractItemModel::rowsRemoved, [&](const QModelIndex&, int first, int) {
            heard << QString("removed %1").arg(first);
        });
        connect(&model, &QAbstractItemModel::modelReset, [&] { heard << "reset"; });
        for (const QString& step : action.split(' ')) {
            if (step == "insert")
                people->insert();
            else if (step == "append")
                people->append();
            else if (step == "cancel")
                people->cancel();
            else if (step == "edit")
                people->edit();
            else if (step == "post") {
                people->setValue("Name", "Bea");
                people->post();
            } else if (step == "delete")
                people->remove();
            else if (step == "refresh") {
                db->addPerson("Dora");
                people->refresh();
            } else if (step == "refresh-same")
                people->refresh();
        }
        QCOMPARE(heard.join(", "), told);
        QCOMPARE(model.rowCount(), people->recordCount());
    }

    // A detail follows its master by a direct call: a save it refuses reaches the code that
    // moved the master, and the master's views hear of the move only once the detail followed.
    void aDetailsRefusalReachesTheCodeThatMovedTheMaster()
    {
        db->exec("INSERT INTO Companies (CompanyID, Name) VALUES (2, 'Other')");
        db->addPerson("Anna", {{"CompanyID", 1}});
        auto companies = table("Companies");
        DataSource companiesDs("CompaniesDataSource", companies.get());
        auto people = table("People");
        people->setMaster(&companiesDs, "CompanyID");
        companies->open();
        people->open();
        QString seenByView;
        connect(&companiesDs, &DataSource::moved, [&] { seenByView = people->value("Name").toString(); });
        people->events.beforePost = [](Dataset&) { throw Abort{}; };
        people->edit();
        people->setValue("Name", "Anna B");
        QVERIFY_THROWS_EXCEPTION(Abort, companies->next());
        QCOMPARE(people->state(), DatasetState::Edit); // the edit is kept
        QCOMPARE(seenByView, QString());
        people->cancel();
        people->events.beforePost = {};
        companies->first();
        companies->next();
        QCOMPARE(people->recordCount(), 0);
        QCOMPARE(seenByView, QString()); // the view saw the detail already on the other company
        companies->first();
        QCOMPARE(seenByView, QString("Anna"));
    }

    void moveByIndexAndAppend()
    {
        for (const QString name : {"Anna", "Bob", "Carla"})
            db->addPerson(name);
        auto people = table("People");
        people->open();
        people->setRecNo(2);
        QCOMPARE(people->value("Name").toString(), QString("Carla"));
        people->setRecNo(99);
        QCOMPARE(people->recNo(), 2);

        // Moving saves a changed row first, and a refusal keeps the row where it was.
        people->setRecNo(0);
        people->edit();
        people->setValue("Mobile", "555");
        people->setRecNo(1);
        QCOMPARE(db->scalar("SELECT Mobile FROM People WHERE Name = 'Anna'").toString(), QString("555"));
        people->events.beforePost = [](Dataset&) { throw Abort{}; };
        people->edit();
        people->setValue("Mobile", "1");
        QVERIFY_THROWS_EXCEPTION(Abort, people->setRecNo(2));
        QCOMPARE(people->recNo(), 1);
        QCOMPARE(people->state(), DatasetState::Edit);
        people->cancel();
        people->events.beforePost = nullptr;

        // An untouched new row that the move drops does not shift the target: row 2 is still Carla.
        people->setRecNo(0);
        people->insert();
        QCOMPARE(people->recordCount(), 4);
        people->setRecNo(3);
        QCOMPARE(people->recordCount(), 3);
        QCOMPARE(people->value("Name").toString(), QString("Carla"));

        // Append puts the new row after the last, wherever the cursor was.
        people->setRecNo(0);
        people->append();
        QCOMPARE(people->recNo(), 3);
        people->setValue("Name", "Dora");
        people->post();
        QCOMPARE(people->valueAt(3, people->columnIndex("Name")).toString(), QString("Dora"));
        QCOMPARE(db->count("People"), 4);
    }

    void beforePostAbortKeepsRowPending()
    {
        auto people = table("People");
        people->events.beforePost = [](Dataset& d) {
            if (d.value("Name").toString().isEmpty())
                throw Abort{};
        };
        people->open();
        people->insert();
        people->setValue("Title", "Dr.");
        QVERIFY_THROWS_EXCEPTION(Abort, people->post());
        QCOMPARE(people->state(), DatasetState::Insert);
        QCOMPARE(people->value("Title").toString(), QString("Dr."));
        QCOMPARE(db->count("People"), 0);
        QVERIFY_THROWS_EXCEPTION(Abort, people->next()); // moving settles, and is refused too
        people->setValue("Name", "Ok");
        people->post();
        QCOMPARE(db->count("People"), 1);
    }

    void lookupsSortAndLocate()
    {
        db->exec("INSERT INTO SubProjectStatus (SPStatusID, SPStatusName) VALUES (5, 'Parked')");
        db->exec("INSERT INTO SubProjectHistory (SubProjectID, SubProjectStatusID, Date) VALUES "
                 "(1, 5, '2024-05-01'), (1, 1, '2023-01-01'), (1, 9, '2022-01-01')");
        auto status = table("SubProjectStatus");
        auto history = table("SubProjectHistory");
        history->setSort({"Date"});
        history->addLookup("Status", "SubProjectStatusID", status.get(), "SPStatusID", "SPStatusName");
        history->open();
        QCOMPARE(history->value("Date").toDate(), QDate(2022, 1, 1));
        QVERIFY(history->value("Status").isNull()); // lookup dataset closed
        status->open();
        QVERIFY(history->value("Status").isNull()); // no status 9
        history->next();
        QCOMPARE(history->value("Status").toString(), QString("Open"));
        history->last();
        QCOMPARE(history->value("Status").toString(), QString("Parked"));
        history->next();
        QCOMPARE(history->value("Date").toDate(), QDate(2024, 5, 1)); // next on the last row stays

        db->addPerson("bob dean");
        db->addPerson("Anna Berg");
        db->addPerson("Andrew Cole");
        auto people = table("People");
        people->open();
        LocateOptions partial{true, true};
        QVERIFY(people->locate({"CompanyID", "Name"}, {1, "AN"}, partial));
        QCOMPARE(people->value("Name").toString(), QString("Anna Berg")); // first in table order
        QVERIFY(people->locateLowest({"CompanyID", "Name"}, {1, "an"}, partial, "Name"));
        QCOMPARE(people->value("Name").toString(), QString("Andrew Cole"));
        QVERIFY(!people->locate({"CompanyID", "Name"}, {1, "x"}, partial));
        QCOMPARE(people->value("Name").toString(), QString("Andrew Cole"));
        QVERIFY(!people->locate({"CompanyID", "Name"}, {1, "anna"}, LocateOptions{true, false}));
        QVERIFY(people->locate({"CompanyID", "Name"}, {1, "ANNA BERG"}, LocateOptions{true, false}));
        QVERIFY(!people->locate({"CompanyID", "Name"}, {2, "B"}, partial));
    }

    void aChangedSortKeyTakesItsPlaceOnPost()
    {
        db->exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, FUDescription) VALUES (2, '2024-01-01', 'other'), "
                 "(1, '2024-05-10', 'May'), (1, '2024-03-02', 'March')");
        auto acts = table("PeopleFollowUp");
        acts->setSort({"PersonID", "FUDate"});
        acts->open();
        auto order = [&] {
            QStringList names;
            for (int i = 0; i < acts->recordCount(); ++i)
                names << acts->valueAt(i, acts->columnIndex("FUDescription")).toString();
            return names.join(' ');
        };
        QCOMPARE(order(), QString("March May other"));
        acts->edit();
        acts->setValue("FUDate", QDate(2025, 1, 1));
        acts->post();
        QCOMPARE(order(), QString("May March other"));
        QCOMPARE(acts->value("FUDescription").toString(), QString("March"));
        QCOMPARE(acts->recNo(), 1);

        // A move to another row lands on the row asked for, wherever the save puts the pending one.
        acts->first();
        acts->edit();
        acts->setValue("PersonID", 3);
        acts->setRecNo(2);
        QCOMPARE(order(), QString("March other May"));
        QCOMPARE(acts->value("FUDescription").toString(), QString("other"));
        QCOMPARE(acts->recNo(), 1);
        acts->refresh();
        QCOMPARE(order(), QString("March other May"));
        QCOMPARE(acts->value("FUDescription").toString(), QString("other"));

        // Other columns leave the rows where they stand.
        acts->edit();
        acts->setValue("FUDescription", "Other");
        acts->post();
        QCOMPARE(order(), QString("March Other May"));
    }

    void deleteMovesToFollowingRow()
    {
        for (const char* n : {"A", "B", "C"})
            db->addPerson(n);
        auto people = table("People");
        people->open();
        people->next();
        people->remove();
        QCOMPARE(people->value("Name").toString(), QString("C"));
        people->remove();
        QCOMPARE(people->value("Name").toString(), QString("A"));
        people->remove();
        QCOMPARE(people->recordCount(), 0);
        QVERIFY_THROWS_EXCEPTION(DataError, people->remove());
        people->insert();
        people->remove(); // drops the new row without touching the table
        QCOMPARE(people->recordCount(), 0);
        QCOMPARE(db->count("People"), 0);
    }

    void refreshKeepsCurrentAndSeesOtherWriters()
    {
        for (const char* n : {"A", "B", "C"})
            db->addPerson(n);
        auto people = table("People");
        people->open();
        people->last();
        db->exec("DELETE FROM People WHERE Name = 'A'");
        db->exec("UPDATE People SET Mobile = '555' WHERE Name = 'C'");
        QCOMPARE(people->recordCount(), 3); // a snapshot until re-read
        people->refresh();
        QCOMPARE(people->recordCount(), 2);
        QCOMPARE(people->value("Name").toString(), QString("C"));
        QCOMPARE(people->value("Mobile").toString(), QString("555"));

        // A second dataset over the same table does not see the first one's writes until re-read.
        auto other = table("People");
        other->open();
        people->first();
        people->insert();
        people->setValue("Name", "D");
        people->post();
        QCOMPARE(other->recordCount(), 2);
        other->refresh();
        QCOMPARE(other->recordCount(), 3);
        // A re-read puts the new row in table order, last.
        people->refresh();
        people->last();
        QCOMPARE(people->value("Name").toString(), QString("D"));
    }

    // With the change log, another program's inserts, updates and deletes are read person by
    // person; a log that does not reach back to the last read (emptied, or gone) means a whole
    // re-read, with the same result.
    void otherWritersFollowedThroughTheChangeLog()
    {
        for (const char* n : {"Ann", "Bea", "Cai", "Dan"})
            db->addPerson(n);
        auto people = table("People");
        people->setSearchColumn("Name");
        people->setChangeLog("PeopleChanges", "PersonID");
        people->open();
        people->setRecNo(2); // Cai
        QCOMPARE(people->value("Name").toString(), QString("Cai"));
        auto names = [&] {
            QStringList all;
            for (int i = 0; i < people->recordCount(); ++i)
                all << people->valueAt(i, people->columnIndex("Name")).toString();
            return all.join(' ');
        };
        QCOMPARE(names(), QString("Ann Bea Cai Dan"));
        db->exec("DELETE FROM People WHERE Name = 'Ann'");
        db->exec("UPDATE People SET Name = 'Cairo', Mobile = '555' WHERE Name = 'Cai'");
        db->exec("UPDATE People SET Mobile = '777' WHERE Name = 'Dan'");
        db->addPerson("Eve");
        people->refresh();
        QCOMPARE(names(), QString("Bea Cairo Dan Eve"));
        QCOMPARE(people->value("Name").toString(), QString("Cairo")); // the current person stays current
        QCOMPARE(people->value("Mobile").toString(), QString("555"));
        QCOMPARE(people->valueAt(2, people->columnIndex("Mobile")).toString(), QString("777"));
        QVERIFY(people->locate({"Name"}, {"cairo"}, {true, false})); // the searched text is the new one
        QVERIFY(!people->locate({"Name"}, {"cai"}, {true, false}));

        // Moves take in what others wrote first: never onto a person deleted meanwhile, and on
        // to the people added.
        auto name = [&] { return people->value("Name").toString(); };
        people->first(); // Bea
        db->exec("DELETE FROM People WHERE Name = 'Cairo'");
        people->next();
        QCOMPARE(name(), QString("Dan"));
        db->exec("DELETE FROM People WHERE Name = 'Dan'"); // the current person
        people->next();
        QCOMPARE(name(), QString("Eve")); // the one that took its place
        db->exec("DELETE FROM People WHERE Name = 'Eve'");
        db->addPerson("Fay");
        people->prior();
        QCOMPARE(name(), QString("Bea"));
        people->last();
        QCOMPARE(name(), QString("Fay"));
        QCOMPARE(names(), QString("Bea Fay"));
        // A delete shows the next person still in the file.
        db->addPerson("Gus");
        db->addPerson("Hal");
        people->refresh();
        db->exec("DELETE FROM People WHERE Name = 'Gus'");
        people->remove(); // Fay
        QCOMPARE(name(), QString("Hal"));
        QCOMPARE(names(), QString("Bea Hal"));
        db->exec("DELETE FROM People WHERE Name = 'Hal'");
        db->addPerson("Cai");
        db->addPerson("Dan");
        people->first();
        people->refresh();
        QCOMPARE(names(), QString("Bea Cai Dan"));
        db->exec("UPDATE People SET Name = 'Cairo' WHERE Name = 'Cai'");
        db->exec("DELETE FROM People WHERE Name = 'Fay'");
        db->addPerson("Eve");
        people->refresh();

        // An emptied log says nothing of the writes since: everything is read again.
        db->exec("DELETE FROM PeopleChanges");
        db->exec("UPDATE People SET Name = 'Bella' WHERE Name = 'Bea'");
        db->exec("DELETE FROM PeopleChanges");
        people->refresh();
        QCOMPARE(names(), QString("Bella Cairo Dan Eve"));
        people->setRecNo(1);
        // Without the log, likewise.
        const QString onPeople = TestDatabase::onServer() ? " ON People" : ""; // the server's triggers are a table's
        for (const char* trigger : {"PeopleInsertLog", "PeopleUpdateLog", "PeopleDeleteLog"})
            db->exec(QString("DROP TRIGGER %1").arg(trigger) + onPeople);
        db->exec("DROP TABLE PeopleChanges");
        db->exec("DELETE FROM People WHERE Name = 'Dan'");
        people->refresh();
        QCOMPARE(names(), QString("Bella Cairo Eve"));
        QCOMPARE(people->value("Name").toString(), QString("Cairo"));
    }

    // A table's rows hold only their identities and the searched column; the rest is read when
    // shown. Walks read the table once and see every row as the dataset shows it.
    void rowsReadWhenShownAndWalkedAsShown()
    {
        const int anna = db->addPerson("Anna", {{"Mobile", "1"}, {"Birthday", "1980-03-03"}});
        db->addPerson("Bob", {{"Mobile", "2"}});
        db->addPerson("Carla", {{"Mobile", "3"}});
        db->addPerson("David", {{"Mobile", "4"}});
        auto people = table("People");
        people->setSearchColumn("Name");
        people->open();
        const int mobile = people->columnIndex("Mobile"), name = people->columnIndex("Name");
        const int birthday = people->columnIndex("Birthday"), id = people->columnIndex("PersonID");
        QCOMPARE(people->valueAt(0, id).toInt(), anna);
        QCOMPARE(people->valueAt(0, birthday).toDate(), QDate(1980, 3, 3));
        // Shown rows stay as shown until re-read; rows not yet shown are read as they are now.
        db->exec("UPDATE People SET Mobile = Mobile || 'x'");
        QCOMPARE(people->value("Mobile").toString(), QString("1"));
        people->setRecNo(1);
        people->edit();
        people->setValue("Mobile", "22"); // pending
        auto walked = [&](const QVector<int>& columns) {
            QStringList seen;
            people->walk(columns, [&](int row, const std::vector<QVariant>& v) {
                QStringList cells{QString::number(row)};
                for (const QVariant& x : v)
                    cells << x.toString();
                seen << cells.join(':');
            });
            return seen;
        };
        QCOMPARE(walked({name, mobile}), (QStringList{"0:Anna:1", "1:Bob:22", "2:Carla:3x", "3:David:4x"}));
        people->post();
        QCOMPARE(people->valueAt(2, mobile).toString(), QString("3x"));

        // A new row stands where it was made, out of table order, and is walked there.
        people->setRecNo(1);
        people->insert();
        people->setValue("Name", "Eve");
        people->post();
        db->exec("DELETE FROM People WHERE Name = 'David'"); // another user
        QCOMPARE(walked({name}), (QStringList{"0:Anna", "1:Eve", "2:Bob", "3:Carla", "4:"}));
        QCOMPARE(people->valueAt(4, name).toString(), QString()); // gone: nothing to show
        people->refresh();
        QCOMPARE(walked({name, mobile}), (QStringList{"0:Anna:1x", "1:Bob:22", "2:Carla:3x", "3:Eve:"}));
        QCOMPARE(people->value("Name").toString(), QString("Eve")); // still current
    }

    void searchedColumnIsComparedFolded()
    {
        for (const QString& n : {QStringLiteral(u"\u00d6lbert"), QString("Zoe"), QStringLiteral(u"\u00f6LAF"), QString("Ana"),
                                 QString("anabel"), QString("STRASSE")})
            db->addPerson(n);
        auto people = table("People");
        people->setSearchColumn("Name");
        people->open();
        const LocateOptions search{true, true};
        QVERIFY(people->locateLowest({"Name"}, {QStringLiteral(u"\u00f6l")}, search, "Name"));
        QCOMPARE(people->value("Name").toString(), QStringLiteral(u"\u00f6LAF"));
        QVERIFY(people->locateLowest({"Name"}, {"AN"}, search, "Name"));
        QCOMPARE(people->value("Name").toString(), QString("Ana"));
        QVERIFY(people->locate({"Name"}, {"strasse"}, LocateOptions{true, false}));
        QVERIFY(!people->locate({"Name"}, {"strasse"}, LocateOptions{false, false})); // case counts
        QVERIFY(!people->locateLowest({"Name"}, {"strassen"}, search, "Name"));
        // A saved name is searched by its new text at once.
        people->locate({"Name"}, {"Zoe"});
        people->edit();
        people->setValue("Name", "Aaron");
        people->post();
        QVERIFY(!people->locateLowest({"Name"}, {"zo"}, search, "Name"));
        QVERIFY(people->locateLowest({"Name"}, {"a"}, search, "Name"));
        QCOMPARE(people->value("Name").toString(), QString("Aaron"));
        // The row being edited is searched by what it holds now.
        people->locate({"Name"}, {"Ana"});
        people->edit();
        people->setValue("Name", "Aa");
        QVERIFY(people->locateLowest({"Name"}, {"aa"}, search, "Name")); // settles the edit first
        QCOMPARE(people->value("Name").toString(), QString("Aa"));
        QCOMPARE(db->scalar("SELECT count(*) FROM People WHERE Name = 'Aa'").toInt(), 1);
    }

    // Which row a locate finds, by the kind of dataset that holds the rows: a table whose searched
    // column is held folded in memory, a table whose rows are read when compared, and a query held
    // whole. The partial match is for the last key only, and an empty partial key asks for an empty
    // value, as a search box that was cleared does.
    void locateWithEmptyAndPartialKeys_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<bool>("caseInsensitive");
        QTest::addColumn<bool>("partial");
        QTest::addColumn<bool>("lowest"); // the match lowest in Name, not the first in table order
        QTest::addColumn<QString>("found"); // "-": nothing found, the current row stays; "<null>": no name
        const QStringList name{"Name"}, nameEmail{"Name", "Email1"}, emailName{"Email1", "Name"};
        for (const QString kind : {"searched table", "plain table", "query"}) {
            auto row = [&](const char* what) -> QTestData& { return QTest::newRow(qPrintable(kind + ": " + what)) << kind; };
            row("partial, first in table order") << name << QStringList{"an"} << true << true << false << "Anna Berg";
            row("partial, lowest name") << name << QStringList{"an"} << true << true << true << "Andrew Cole";
            row("partial, the whole name is lower") << name << QStringList{"ANNA"} << true << true << true << "ANNA";
            row("partial, case counts") << name << QStringList{"AN"} << false << true << false << "ANNA";
            row("partial, case counts, none") << name << QStringList{"an"} << false << true << false << "-";
            row("partial, no name begins so") << name << QStringList{"nna"} << true << true << false << "-";
            row("empty partial key finds the empty name") << name << QStringList{""} << true << true << false << "";
            row("empty partial key, lowest: a missing name first") << name << QStringList{""} << true << true << true
                                                                   << "<null>";
            row("empty key, whole value") << name << QStringList{""} << true << false << false << "";
            row("whole value, other case") << name << QStringList{"anna"} << true << false << false << "ANNA";
            row("whole value is not a beginning") << name << QStringList{"Andrew"} << true << false << false << "-";
            row("partial last key, whole first key") << nameEmail << QStringList{"anna", "ANNA@"} << true << true
                                                     << false << "ANNA";
            row("the first key is never partial") << nameEmail << QStringList{"ann", "anna@"} << true << true
                                                  << false << "-";
            row("empty last key meets a missing value") << nameEmail << QStringList{"BOB", ""} << true << true
                                                        << false << "bob";
            row("empty last key meets an empty value") << nameEmail << QStringList{"andrew cole", ""} << true << true
                                                       << false << "Andrew Cole";
            row("empty last key is no wildcard") << nameEmail << QStringList{"anna berg", ""} << true << true << false
                                                 << "-";
            row("a missing name is searched as an empty one") << emailName << QStringList{"NULL@x.com", ""} << true
                                                              << true << false << "<null>";
            row("empty first key, partial last") << emailName << QStringList{"", "b"} << true << true << false << "bob";
            row("empty first key is no wildcard") << emailName << QStringList{"", "a"} << true << true << false
                                                  << "Andrew Cole";
        }
    }
    void locateWithEmptyAndPartialKeys()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, columns);
        QFETCH(QStringList, values);
        QFETCH(bool, caseInsensitive);
        QFETCH(bool, partial);
        QFETCH(bool, lowest);
        QFETCH(QString, found);
        db->addPerson("Anna Berg", {{"Email1", "anna@x.com"}});
        db->addPerson("bob");
        db->addPerson("Andrew Cole", {{"Email1", ""}});
        db->addPerson("", {{"Email1", "nobody@x.com"}});
        db->addPerson("ANNA", {{"Email1", "Anna@X.com"}});
        db->exec("INSERT INTO People (CompanyID, Name, Email1) VALUES (1, NULL, 'null@x.com')"); // another program's
        std::unique_ptr<Dataset> people;
        if (kind == "query") {
            people = std::make_unique<Dataset>("Q", conn.get());
            people->setQuery("SELECT \"PersonID\", \"Name\", \"Email1\" FROM \"People\" ORDER BY \"PersonID\"");
        } else {
            people = table("People");
            if (kind == "searched table")
                people->setSearchColumn("Name");
        }
        people->open();
        people->setRecNo(1); // bob
        QVariantList wanted;
        for (const QString& v : values)
            wanted << v;
        const LocateOptions options{caseInsensitive, partial};
        const bool located = lowest ? people->locateLowest(columns, wanted, options, "Name")
                                    : people->locate(columns, wanted, options);
        QCOMPARE(located, found != "-");
        const QVariant now = people->value("Name");
        QCOMPARE(now.isNull() ? QString("<null>") : now.toString(), found == "-" ? QString("bob") : found);
    }

    // Texts are ordered and compared without regard to case: a sort by a text column, and the
    // lowest match of a locate, in a table and in a query alike. Names equal but for case keep
    // the order in which they were stored.
    void textsAreOrderedIgnoringCase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("table") << "table";
        QTest::newRow("query") << "query";
    }
    void textsAreOrderedIgnoringCase()
    {
        QFETCH(QString, kind);
        for (const char* n : {"bob", "Anna", "anna", "Bob", "_x", "carl", "Carl"})
            db->addPerson(n, {{"Spouse", QString(n).toUpper()}});
        auto people = kind == "table" ? table("People") : std::make_unique<Dataset>("Q", conn.get());
        if (kind == "query")
            people->setQuery("SELECT \"PersonID\", \"CompanyID\", \"Name\", \"Spouse\" FROM \"People\"");
        people->setSort({"Name"});
        people->open();
        QStringList order;
        for (int i = 0; i < people->recordCount(); ++i)
            order << people->valueAt(i, people->columnIndex("Name")).toString();
        QCOMPARE(order, (QStringList{"_x", "Anna", "anna", "bob", "Bob", "carl", "Carl"}));

        // Among the people whose Spouse is "BOB" in any case, the lowest name.
        QVERIFY(people->locateLowest({"Spouse"}, {"bob"}, LocateOptions{true, false}, "Name"));
        QCOMPARE(people->value("Name").toString(), QString("bob"));
        QVERIFY(people->locateLowest({"CompanyID"}, {1}, LocateOptions{}, "Name"));
        QCOMPARE(people->value("Name").toString(), QString("_x"));
        QVERIFY(people->locateLowest({"CompanyID", "Spouse"}, {1, "C"}, LocateOptions{true, true}, "Name"));
        QCOMPARE(people->value("Name").toString(), QString("carl"));

        // A changed name takes its place by the same order.
        QVERIFY(people->locate({"Name"}, {"_x"}));
        if (kind == "table") {
            people->edit();
            people->setValue("Name", "BOA");
            people->post();
            order.clear();
            for (int i = 0; i < people->recordCount(); ++i)
                order << people->valueAt(i, people->columnIndex("Name")).toString();
            QCOMPARE(order, (QStringList{"Anna", "anna", "BOA", "bob", "Bob", "carl", "Carl"}));
        }
    }

    void databaseRules()
    {
        auto people = table("People");
        people->open();
        people->insert();
        people->setValue("Name", "A");
        people->setValue("Title", "Professor X"); // 11 characters, the column holds 10
        try {
            people->post();
            QFAIL("a too long value was accepted");
        } catch (const DataError& e) {
            QCOMPARE(e.text(), QString("Your changes could not be saved. The value for Title is longer than the 10 "
                                       "characters it can hold. Shorten it and try again."));
        }
        QCOMPARE(people->state(), DatasetState::Insert);
        people->setValue("Title", "Prof.");
        people->post();
        const int first = people->value("PersonID").toInt();
        people->remove();
        people->insert();
        people->setValue("Name", "B");
        people->post();
        QVERIFY(people->value("PersonID").toInt() > first); // numbers are never reused
    }

    // Every text column of the delivered file takes as many characters as it is declared with, and
    // the file itself refuses one more, naming the column: whichever program writes, nothing is
    // cut. Characters are counted as characters, an emoji or an accented letter as one.
    void everyTextColumnHoldsItsWidthAndNoMore_data()
    {
        QTest::addColumn<QString>("tableName");
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("width");
        QTest::newRow("People.Name") << "People" << "Name" << 255;
        QTest::newRow("People.Title") << "People" << "Title" << 10;
        QTest::newRow("People.Gender") << "People" << "Gender" << 10;
        QTest::newRow("People.PersonType") << "People" << "PersonType" << 10;
        QTest::newRow("People.CustoemrImportance") << "People" << "CustoemrImportance" << 10;
        QTest::newRow("People.Language") << "People" << "Language" << 50;
        QTest::newRow("People.Income") << "People" << "Income" << 25;
        QTest::newRow("People.EducationLevel") << "People" << "EducationLevel" << 100;
        QTest::newRow("People.Profession") << "People" << "Profession" << 150;
        QTest::newRow("People.Household") << "People" << "Household" << 35;
        QTest::newRow("People.Spouse") << "People" << "Spouse" << 255;
        QTest::newRow("People.Children") << "People" << "Children" << 255;
        QTest::newRow("People.HAStreet") << "People" << "HAStreet" << 255;
        QTest::newRow("People.HACity") << "People" << "HACity" << 50;
        QTest::newRow("People.HAState") << "People" << "HAState" << 50;
        QTest::newRow("People.HAPostalCode") << "People" << "HAPostalCode" << 255;
        QTest::newRow("People.HACountry") << "People" << "HACountry" << 30;
        QTest::newRow("People.HAPostOfficeBox") << "People" << "HAPostOfficeBox" << 255;
        QTest::newRow("People.PrimaryTel") << "People" << "PrimaryTel" << 50;
        QTest::newRow("People.Mobile") << "People" << "Mobile" << 30;
        QTest::newRow("People.TelH1") << "People" << "TelH1" << 50;
        QTest::newRow("People.TelH2") << "People" << "TelH2" << 50;
        QTest::newRow("People.FaxH") << "People" << "FaxH" << 50;
        QTest::newRow("People.Email1") << "People" << "Email1" << 100;
        QTest::newRow("People.Email2") << "People" << "Email2" << 100;
        QTest::newRow("People.Telex") << "People" << "Telex" << 50;
        QTest::newRow("People.HomePage") << "People" << "HomePage" << 255;
        QTest::newRow("People.Company") << "People" << "Company" << 150;
        QTest::newRow("People.CompanySize") << "People" << "CompanySize" << 30;
        QTest::newRow("People.Industry") << "People" << "Industry" << 50;
        QTest::newRow("People.Department") << "People" << "Department" << 100;
        QTest::newRow("People.JobTitle") << "People" << "JobTitle" << 255;
        QTest::newRow("People.BAStreet") << "People" << "BAStreet" << 255;
        QTest::newRow("People.BACity") << "People" << "BACity" << 50;
        QTest::newRow("People.BAState") << "People" << "BAState" << 50;
        QTest::newRow("People.BAPostalCode") << "People" << "BAPostalCode" << 255;
        QTest::newRow("People.BACountry") << "People" << "BACountry" << 30;
        QTest::newRow("People.BAPostOfficeBox") << "People" << "BAPostOfficeBox" << 255;
        QTest::newRow("People.MailingAddress") << "People" << "MailingAddress" << 10;
        QTest::newRow("People.BillingAddress") << "People" << "BillingAddress" << 10;
        QTest::newRow("People.TelMain") << "People" << "TelMain" << 50;
        QTest::newRow("People.TelCallback") << "People" << "TelCallback" << 50;
        QTest::newRow("People.TelB1") << "People" << "TelB1" << 50;
        QTest::newRow("People.TelB2") << "People" << "TelB2" << 50;
        QTest::newRow("People.Ext") << "People" << "Ext" << 10;
        QTest::newRow("People.FaxB1") << "People" << "FaxB1" << 50;
        QTest::newRow("People.FaxB2") << "People" << "FaxB2" << 50;
        QTest::newRow("People.WebPage") << "People" << "WebPage" << 255;
        QTest::newRow("People.AssistantName") << "People" << "AssistantName" << 255;
        QTest::newRow("People.ManagerName") << "People" << "ManagerName" << 255;
        QTest::newRow("People.ProspectingMethod") << "People" << "ProspectingMethod" << 100;
        QTest::newRow("People.OfferedSolution") << "People" << "OfferedSolution" << 255;
        QTest::newRow("People.Ethnic") << "People" << "Ethnic" << 255;
        QTest::newRow("People.Hobbies") << "People" << "Hobbies" << 255;
        QTest::newRow("People.Info") << "People" << "Info" << 255;
        QTest::newRow("People.Address") << "People" << "Address" << 255;
        QTest::newRow("People.Email") << "People" << "Email" << 64;
        QTest::newRow("People.ReferredBy") << "People" << "ReferredBy" << 255;
        QTest::newRow("People.ProspectingData") << "People" << "ProspectingData" << 255;
        QTest::newRow("PeopleFollowUp.ContactMethod") << "PeopleFollowUp" << "ContactMethod" << 10;
        QTest::newRow("PeopleFollowUp.ProductsInterestedIn") << "PeopleFollowUp" << "ProductsInterestedIn" << 255;
        QTest::newRow("PeopleFollowUp.FUDescription") << "PeopleFollowUp" << "FUDescription" << 255;
        QTest::newRow("FollowUpMethod.FUmethodName") << "FollowUpMethod" << "FUmethodName" << 10;
        QTest::newRow("Projects.Name") << "Projects" << "Name" << 255;
        QTest::newRow("Projects.Code") << "Projects" << "Code" << 255;
        QTest::newRow("Projects.Comments") << "Projects" << "Comments" << 512;
        QTest::newRow("SubProjects.Name") << "SubProjects" << "Name" << 255;
        QTest::newRow("SubProjects.Code") << "SubProjects" << "Code" << 255;
        QTest::newRow("SubProjects.Comments") << "SubProjects" << "Comments" << 512;
        QTest::newRow("SubProjectHistory.FollowUpComments") << "SubProjectHistory" << "FollowUpComments" << 255;
        QTest::newRow("SubProjectStatus.SPStatusName") << "SubProjectStatus" << "SPStatusName" << 64;
        QTest::newRow("SubProjectType.SPTypeName") << "SubProjectType" << "SPTypeName" << 64;
        QTest::newRow("SubProjectType.Comments") << "SubProjectType" << "Comments" << 255;
    }
    void everyTextColumnHoldsItsWidthAndNoMore()
    {
        QFETCH(QString, tableName);
        QFETCH(QString, column);
        QFETCH(int, width);
        auto text = [](int characters) {
            static const QStringList pieces{QStringLiteral(u"\u00e9"), QStringLiteral(u"\U0001F600"), QString("x")};
            QString t;
            for (int i = 0; i < characters; ++i)
                t += pieces[i % pieces.size()];
            return t;
        };
        auto rows = table(tableName);
        rows->open();
        const int before = db->count(tableName);
        rows->insert();
        rows->setValue(column, text(width + 1));
        try {
            rows->post();
            QFAIL("a value one character too long was stored");
        } catch (const DataError& e) {
            QCOMPARE(e.text(), QString("Your changes could not be saved. The value for %1 is longer than the %2 "
                                       "characters it can hold. Shorten it and try again.")
                                   .arg(column)
                                   .arg(width));
        }
        QCOMPARE(db->count(tableName), before);
        rows->setValue(column, text(width));
        try {
            rows->post();
        } catch (const DataError& e) {
            QFAIL(qPrintable("a value of the column's width was refused: " + e.text()));
        }
        QCOMPARE(db->count(tableName), before + 1);
        QCOMPARE(db->scalar(QString("SELECT \"%1\" FROM \"%2\" WHERE %3 = (SELECT max(%3) FROM \"%2\")")
                                .arg(column, tableName, db->rowKey(tableName)))
                     .toString(),
                 text(width));
    }

    void aRefusedWriteLeavesTheDatasetAsItWas()
    {
        Connection::setDefaultBusyTimeout(50);
        conn->open(); // with the short wait
        db->addPerson("Anna", {{"Mobile", "1"}});
        auto people = table("People");
        people->open();
        db->exec("BEGIN IMMEDIATE"); // another program writing
        people->edit();
        people->setValue("Mobile", "2");
        try {
            people->post();
            QFAIL("saved under another program's lock");
        } catch (const DataError& e) {
            QVERIFY2(e.text().startsWith("Your changes could not be saved. " + db->locked()),
                     qPrintable(e.text()));
        }
        QCOMPARE(people->state(), DatasetState::Edit);
        QCOMPARE(people->value("Mobile").toString(), QString("2"));
        QVERIFY_THROWS_EXCEPTION(DataError, people->remove());
        QCOMPARE(people->state(), DatasetState::Edit);
        QCOMPARE(people->recordCount(), 1);
        QCOMPARE(people->value("Mobile").toString(), QString("2"));
        people->cancel();
        people->insert();
        people->setValue("Name", "Bob");
        QVERIFY_THROWS_EXCEPTION(DataError, people->post());
        QCOMPARE(people->state(), DatasetState::Insert);
        QCOMPARE(people->recordCount(), 2);
        db->exec("ROLLBACK");
        people->post();
        QCOMPARE(db->count("People"), 2);
        Connection::setDefaultBusyTimeout(5000);
    }

    void anotherConnectionsChangeIsNotOverwrittenUnasked()
    {
        db->addPerson("Anna", {{"Mobile", "1"}, {"Email1", "a@x.com"}});
        auto people = table("People");
        people->open();
        people->edit();
        people->setValue("Mobile", "2");
        db->exec("UPDATE People SET Mobile = '9', Email1 = 'anna@x.com'");
        try {
            people->post();
            QFAIL("another user's change was overwritten");
        } catch (const DataError& e) {
            QVERIFY2(e.text().contains("Another user changed this record"), qPrintable(e.text()));
        }
        QCOMPARE(db->scalar("SELECT Mobile FROM People").toString(), QString("9"));
        people->cancel(); // shows theirs
        QCOMPARE(people->value("Mobile").toString(), QString("9"));
        QCOMPARE(people->value("Email1").toString(), QString("anna@x.com"));

        // The question decides; its answer "go on editing" keeps the edit pending.
        QList<Dataset::Conflict> asked;
        bool answer = false;
        people->events.resolveConflict = [&](Dataset&, Dataset::Conflict c) {
            asked << c;
            return answer;
        };
        people->edit();
        people->setValue("Mobile", "3");
        db->exec("UPDATE People SET Mobile = '8'");
        QVERIFY_THROWS_EXCEPTION(Declined, people->post());
        QCOMPARE(people->state(), DatasetState::Edit);
        answer = true;
        db->exec("UPDATE People SET Mobile = '7'");
        people->post();
        QCOMPARE(asked, (QList<Dataset::Conflict>{Dataset::Conflict::Changed, Dataset::Conflict::Changed}));
        QCOMPARE(db->scalar("SELECT Mobile FROM People").toString(), QString("3"));

        people->edit();
        people->setValue("Mobile", "4");
        db->exec("DELETE FROM People");
        people->post(); // saved again as a new row, with every value it had
        QCOMPARE(asked.last(), Dataset::Conflict::Deleted);
        QCOMPARE(db->scalar("SELECT Name || Mobile || Email1 FROM People").toString(), QString("Anna4anna@x.com"));
        QVERIFY(people->value("PersonID").toInt() > 1);

        // Unasked, a deleted row is not brought back; Discard then drops it.
        people->events.resolveConflict = nullptr;
        people->edit();
        people->setValue("Mobile", "5");
        db->exec("DELETE FROM People");
        QVERIFY_THROWS_EXCEPTION(DataError, people->post());
        QCOMPARE(people->state(), DatasetState::Edit);
        people->cancel();
        QCOMPARE(people->recordCount(), 0);
        QCOMPARE(db->count("People"), 0);
    }

    void aTransactionUndoneIsReadAgain()
    {
        db->addPerson("Anna");
        auto people = table("People");
        people->open();
        {
            Connection::Transaction transaction(*conn);
            people->insert();
            people->setValue("Name", "Bob");
            people->post();
            QVERIFY(people->locate({"Name"}, {"Anna"}));
            people->remove();
            QCOMPARE(people->recordCount(), 1);
            QCOMPARE(people->value("Name").toString(), QString("Bob"));
        } // never committed
        QCOMPARE(db->count("People"), 1);
        QCOMPARE(people->state(), DatasetState::Browse);
        QCOMPARE(people->recordCount(), 1);
        QCOMPARE(people->value("Name").toString(), QString("Anna"));
    }

    void missingColumnsAreNamedWhenOpening()
    {
        db->exec("DROP INDEX PeopleCompanyID");
        db->exec("DROP INDEX PeopleDuplicate");
        db->exec("ALTER TABLE People DROP COLUMN CompanyID");
        conn->open(); // reads the changed schema
        auto companies = table("Companies");
        DataSource companiesDs("CompaniesDataSource", companies.get());
        companies->open();
        auto people = table("People", {"PersonID", "Name"});
        people->setMaster(&companiesDs, "CompanyID");
        try {
            people->open();
            QFAIL("opened without its link column");
        } catch (const DataError& e) {
            QCOMPARE(e.text(), QString("%1 is damaged or was made for another program: the table People has "
                                       "no column CompanyID.").arg(DataError::sentence(db->name())));
        }
        QVERIFY(!people->isActive());
        auto spouses = table("People", {"Name", "Spouse", "Partner"});
        QVERIFY_THROWS_EXCEPTION(DataError, spouses->open());
        auto query = std::make_unique<Dataset>("Q", conn.get());
        query->setQuery("SELECT DISTINCT \"People\".\"Profession\" FROM \"People\"");
        query->setRequiredColumns("People", {"Profession", "Degree"});
        try {
            query->open();
            QFAIL("opened without its column");
        } catch (const DataError& e) {
            QVERIFY2(e.text().endsWith("the table People has no column Degree."), qPrintable(e.text()));
        }
    }

    void detailWithNullLinkIsEmptyAndDeferredLoad()
    {
        db->addPerson("A");
        db->exec("INSERT INTO QuestionsMain VALUES (1, 1, -1), (1, 2, 0), (2, 1, 1)");
        auto people = table("People");
        DataSource ds("PeopleCompanyDS", people.get());
        auto answers = table("QuestionsMain");
        answers->setMaster(&ds, "PersonID");
        answers->setDeferredLoad(true);
        people->open();
        answers->open();
        QCOMPARE(answers->recordCount(), 2);
        answers->next();
        answers->edit();
        answers->setValue("Answer", 1);
        answers->post(); // a table without a key is written by its row identity
        QCOMPARE(db->scalar("SELECT Answer FROM QuestionsMain WHERE PersonID = 1 AND QuestionID = 2").toInt(), 1);
        QCOMPARE(db->scalar("SELECT Answer FROM QuestionsMain WHERE PersonID = 2").toInt(), 1);
        people->insert();
        QCOMPARE(answers->recordCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDataset)
#include "tst_dataset.moc"
