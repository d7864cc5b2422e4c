#include "support/TestDatabase.h"

#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "data/DataError.h"
#include "platform/MessageBox.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

// The data module's rules that only the hidden pages and the lists rely on, and the dataset's
// cursor at its ends and across re-reads after another program's changes.
class TestDataRules : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;
    std::unique_ptr<TMainDataModule> dm;
    QString nameBox = "Someone";

    void start()
    {
        dm = std::make_unique<TMainDataModule>();
        dm->nameText = [this] { return nameBox; };
        TestDatabase::pointAt(dm->MainADOConnection, db->path());
        dm->MainADOConnection.open();
        dm->SetDatasetsActive(true);
    }
    QStringList names(Dataset* ds)
    {
        QStringList l;
        for (int r = 0; r < ds->recordCount(); ++r)
            l << ds->valueAt(r, ds->columnIndex("Name")).toString();
        return l;
    }

private slots:
    void init()
    {
        db = std::make_unique<TestDatabase>();
        MessageBox::setHandler([](const MessageBox::Request&) { return MessageBox::Button::Ok; });
    }
    void cleanup()
    {
        dm.reset();
        db.reset();
        MessageBox::setHandler({});
    }

    void everySavedPersonRefillsTheSolutionList()
    {
        db->addPerson("A", {{"OfferedSolution", "Support"}});
        start();
        QSignalSpy filled(dm.get(), &TMainDataModule::solutionListFilled);
        Dataset* p = dm->PeopleCompanyDet;
        p->edit();
        p->setValue("OfferedSolution", "Training");
        p->post();
        QCOMPARE(dm->solutionList(), QStringList{"Training"});
        QCOMPARE(filled.count(), 1);
        QCOMPARE(filled.first().first().toStringList(), QStringList{"Training"});
        db->exec("INSERT INTO People (CompanyID, Name, OfferedSolution) VALUES (2, 'Elsewhere', 'Audit')");
        p->edit();
        p->setValue("Mobile", "1");
        p->post(); // the whole table, other companies' people included
        QCOMPARE(dm->solutionList(), (QStringList{"Audit", "Training"}));
        QVERIFY(dm->SolutionQuery->isActive());
    }

    void personChangesReloadTheFullTable()
    {
        db->addPerson("A");
        db->addPerson("B");
        start();
        Dataset* p = dm->PeopleCompanyDet;
        QCOMPARE(dm->PeopleTable->recordCount(), 2);
        db->addPerson("Outside 1");
        p->insert(); // after insert
        QCOMPARE(dm->PeopleTable->recordCount(), 3);
        p->cancel();
        db->addPerson("Outside 2");
        p->remove(); // after delete
        QCOMPARE(dm->PeopleTable->recordCount(), 3);
        db->addPerson("Outside 3");
        p->edit();
        p->setValue("Mobile", "2");
        db->addPerson("Outside 4");
        p->post(); // after post
        QCOMPARE(dm->PeopleTable->recordCount(), 5);
    }

    void subprojectPeopleSeeCurrentCompanyNames()
    {
        const int anna = db->addPerson("Anna");
        db->exec("INSERT INTO Projects (ProjectID, CompanyID, Name) VALUES (1, 1, 'P')");
        db->exec("INSERT INTO SubProjects (SubProjectID, ProjectID, Name) VALUES (1, 1, 'S')");
        start();
        Dataset* roles = dm->PeopleDetail;
        QCOMPARE(roles->recordCount(), 0);
        roles->insert();
        roles->setValue("PersonID", anna);
        roles->post();
        QCOMPARE(roles->value("CompanyName").toString(), QString("My company")); // the names are read now
        roles->remove();
        // Another program adds a person and renames the company: the next saved role sees both.
        db->exec("INSERT INTO Companies (CompanyID, Name) VALUES (9, 'Nine')");
        const int bob = db->addPerson("Bob", {{"CompanyID", 9}});
        db->exec("UPDATE Companies SET Name = 'Renamed' WHERE CompanyID = 1");
        roles->insert();
        roles->setValue("PersonID", bob);
        roles->post();
        QCOMPARE(roles->value("CompanyName").toString(), QString("Nine"));
        roles->insert();
        roles->setValue("PersonID", anna);
        roles->post();
        QCOMPARE(roles->value("CompanyName").toString(), QString("Renamed"));
        // After a delete too.
        db->exec("UPDATE Companies SET Name = 'Once more' WHERE CompanyID = 9");
        QVERIFY(roles->locate({"PersonID"}, {anna}));
        roles->remove();
        QVERIFY(roles->locate({"PersonID"}, {bob}));
        QCOMPARE(roles->value("CompanyName").toString(), QString("Once more"));
    }

    void historyFollowsTheCurrentSubproject()
    {
        db->exec("INSERT INTO Projects (ProjectID, CompanyID, Name) VALUES (1, 1, 'P')");
        db->exec("INSERT INTO SubProjects (SubProjectID, ProjectID, Name, SizeID, SubProjectTypeID) VALUES (1, 1, 'S1', 1, 1)");
        db->exec("INSERT INTO SubProjects (SubProjectID, ProjectID, Name, SizeID, SubProjectTypeID) VALUES (2, 1, 'S2', 1, 1)");
        db->exec("INSERT INTO SubProjectHistory (SubProjectID, SubProjectStatusID, Date) VALUES (1, 1, '2024-02-01')");
        db->exec("INSERT INTO SubProjectHistory (SubProjectID, SubProjectStatusID, Date) VALUES (2, 1, '2024-03-01')");
        db->exec("INSERT INTO SubProjectHistory (SubProjectID, SubProjectStatusID, Date) VALUES (2, 2, '2023-03-01')");
        start();
        Dataset* sub = dm->SubProjectsDetail;
        Dataset* history = dm->SubProjectHistoryQ;
        QCOMPARE(history->recordCount(), 1);
        sub->next(); // after scroll: the second subproject's history, in date order
        QCOMPARE(history->recordCount(), 2);
        QCOMPARE(history->value("Date").toString(), QString("2023-03-01"));
        // After refresh, the query is run again and sees what another program added.
        db->exec("INSERT INTO SubProjectHistory (SubProjectID, SubProjectStatusID, Date) VALUES (2, 1, '2022-01-01')");
        history->refresh();
        QCOMPARE(history->recordCount(), 3);
        QCOMPARE(history->value("Date").toString(), QString("2022-01-01"));
        sub->prior();
        QCOMPARE(history->recordCount(), 1);

        // A history row for a subproject still being inserted saves the subproject first.
        sub->insert();
        sub->setValue("Name", "S3");
        history->insert();
        QCOMPARE(db->count("SubProjects", "Name = 'S3'"), 1);
        QCOMPARE(history->value("SubProjectID").toInt(),
                 db->scalar("SELECT SubProjectID FROM SubProjects WHERE Name = 'S3'").toInt());
        QCOMPARE(history->value("SubProjectStatusID").toInt(), 1);
        QCOMPARE(db->scalar("SELECT SizeID || '/' || SubProjectTypeID FROM SubProjects WHERE Name = 'S3'").toString(),
                 QString("2/3"));
    }

    void cursorAtBothEnds()
    {
        for (const char* n : {"A", "B", "C"})
            db->addPerson(n);
        start();
        Dataset* p = dm->PeopleCompanyDet;
        QSignalSpy moved(p, &Dataset::moved);
        QVERIFY(p->bof());
        QVERIFY(!p->eof());
        p->prior();
        QCOMPARE(p->recNo(), 0);
        QCOMPARE(p->value("Name").toString(), QString("A"));
        p->last();
        QCOMPARE(p->value("Name").toString(), QString("C"));
        QVERIFY(p->eof());
        QVERIFY(!p->bof());
        p->next();
        p->next();
        QCOMPARE(p->recNo(), 2);
        QCOMPARE(p->value("Name").toString(), QString("C"));
        p->prior();
        QCOMPARE(p->value("Name").toString(), QString("B"));
        p->first();
        QCOMPARE(p->value("Name").toString(), QString("A"));
        QVERIFY(moved.count() >= 6);
        // Deleting the last row makes the new last one current; deleting all leaves no row.
        p->last();
        p->remove();
        QCOMPARE(p->value("Name").toString(), QString("B"));
        p->remove();
        p->remove();
        QCOMPARE(p->recNo(), -1);
        QVERIFY(p->bof() && p->eof());
        p->first();
        p->last();
        p->next();
        QVERIFY(p->value("Name").isNull());
        QVERIFY_THROWS_EXCEPTION(DataError, p->remove());
    }

    // Another program deletes people while the list shows C; then a move. Next goes to the person
    // after the one that was current, Prior to the one before it, as if the deleted people had
    // never been there; First and Last to the ends of what is left.
    void aMoveAfterAnotherProgramDeletedTheCurrentPerson_data()
    {
        QTest::addColumn<QString>("move");
        QTest::addColumn<QStringList>("deleted");
        QTest::addColumn<QString>("current"); // before the deletes
        QTest::addColumn<QString>("after");   // empty: nobody is left
        QTest::addColumn<bool>("addedHere");  // this program added a person at B's place before
        QTest::newRow("next") << "next" << QStringList{"C"} << "C" << "D" << false;
        QTest::newRow("prior") << "prior" << QStringList{"C"} << "C" << "B" << false;
        QTest::newRow("next, the following one gone too") << "next" << QStringList{"C", "D"} << "C" << "E" << false;
        QTest::newRow("prior, the one before gone too") << "prior" << QStringList{"B", "C"} << "C" << "A" << false;
        QTest::newRow("next from the last") << "next" << QStringList{"E"} << "E" << "D" << false;
        QTest::newRow("prior from the last") << "prior" << QStringList{"E"} << "E" << "D" << false;
        QTest::newRow("next from the first") << "next" << QStringList{"A"} << "A" << "B" << false;
        QTest::newRow("prior from the first") << "prior" << QStringList{"A"} << "A" << "B" << false;
        QTest::newRow("first") << "first" << QStringList{"A", "C"} << "C" << "B" << false;
        QTest::newRow("last") << "last" << QStringList{"C", "E"} << "C" << "D" << false;
        QTest::newRow("next, all after it gone") << "next" << QStringList{"C", "D", "E"} << "C" << "B" << false;
        QTest::newRow("next, everybody gone") << "next" << QStringList{"A", "B", "C", "D", "E"} << "C" << "" << false;
        QTest::newRow("prior, everybody gone") << "prior" << QStringList{"A", "B", "C", "D", "E"} << "C" << "" << false;
        QTest::newRow("next, somebody else gone") << "next" << QStringList{"D"} << "C" << "E" << false;
        QTest::newRow("prior, somebody else gone") << "prior" << QStringList{"B"} << "C" << "A" << false;
        // A person added here stands where it was made until the list is read again.
        QTest::newRow("next, after adding one") << "next" << QStringList{"C"} << "C" << "D" << true;
        QTest::newRow("prior, after adding one") << "prior" << QStringList{"C"} << "C" << "B" << true;
    }
    void aMoveAfterAnotherProgramDeletedTheCurrentPerson()
    {
        QFETCH(QString, move);
        QFETCH(QStringList, deleted);
        QFETCH(QString, current);
        QFETCH(QString, after);
        QFETCH(bool, addedHere);
        for (const char* n : {"A", "B", "C", "D", "E"})
            db->addPerson(n);
        start();
        Dataset* p = dm->PeopleCompanyDet;
        if (addedHere) {
            QVERIFY(p->locate({"Name"}, {"B"}));
            p->insert();
            p->setValue("Name", "New");
            p->post();
        }
        QVERIFY(p->locate({"Name"}, {current}));
        for (const QString& name : deleted)
            db->exec("DELETE FROM People WHERE Name = ?", {name});
        if (move == "next")
            p->next();
        else if (move == "prior")
            p->prior();
        else if (move == "first")
            p->first();
        else
            p->last();
        QCOMPARE(p->value("Name").toString(), after);
        QStringList left{"A", "B", "C", "D", "E"};
        for (const QString& name : deleted)
            left.removeAll(name);
        if (addedHere) {
            QVERIFY(names(p).contains("New"));
            return;
        }
        QCOMPARE(names(p), left);
        QCOMPARE(p->recNo(), left.isEmpty() ? -1 : int(left.indexOf(after)));
    }

    void refreshKeepsThePersonAfterOutsideDeletes()
    {
        for (const char* n : {"A", "B", "C", "D", "E"})
            db->addPerson(n);
        start();
        Dataset* p = dm->PeopleCompanyDet;
        QVERIFY(p->locate({"Name"}, {"D"}));
        QCOMPARE(p->recNo(), 3);
        db->exec("DELETE FROM People WHERE Name IN ('A', 'B')"); // another program, rows before D
        p->refresh();
        QCOMPARE(names(p), (QStringList{"C", "D", "E"}));
        QCOMPARE(p->value("Name").toString(), QString("D"));
        QCOMPARE(p->recNo(), 1);
        // Rows added before it by another program do not move the person either.
        db->exec("UPDATE People SET Name = 'D2' WHERE Name = 'D'");
        db->exec("INSERT INTO People (PersonID, CompanyID, Name) VALUES (1, 1, 'First')");
        p->refresh();
        QCOMPARE(p->value("Name").toString(), QString("D2"));
        // The current person deleted elsewhere: a neighbour becomes current, nothing fails.
        db->exec("DELETE FROM People WHERE Name = 'D2'");
        p->refresh();
        QVERIFY(p->recNo() >= 0);
        QVERIFY(names(p).contains(p->value("Name").toString()));
        db->exec("DELETE FROM People");
        p->refresh();
        QCOMPARE(p->recordCount(), 0);
        QCOMPARE(p->recNo(), -1);
    }
};

QTEST_GUILESS_MAIN(TestDataRules)
#include "tst_datarules.moc"
