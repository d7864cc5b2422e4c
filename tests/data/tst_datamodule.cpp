#include "support/PgCluster.h"
#include "support/TestDatabase.h"

#include "platform/MessageBox.h"
#include "data/DataError.h"
#include "data/MainDataModule.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestDataModule : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;
    std::unique_ptr<TMainDataModule> dm;
    QStringList messages;
    QString nameBox;
    int focusCalls = 0;

    void start()
    {
        dm = std::make_unique<TMainDataModule>();
        dm->nameText = [this] { return nameBox; };
        dm->focusName = [this] { ++focusCalls; };
        TestDatabase::pointAt(dm->MainADOConnection, db->path());
        dm->MainADOConnection.open();
        dm->SetDatasetsActive(true);
    }

    // Saves a new person the way the screen does: the name box and the row agree.
    void addThroughModule(const QString& name, const QString& profession = QString())
    {
        Dataset* p = dm->PeopleCompanyDet;
        p->insert();
        nameBox = name;
        p->setValue("Name", name);
        if (!profession.isNull())
            p->setValue("Profession", profession);
        p->post();
    }

private slots:
    void init()
    {
        db = std::make_unique<TestDatabase>();
        messages.clear();
        focusCalls = 0;
        MessageBox::setHandler([this](const MessageBox::Request& r) {
            messages << r.text;
            return MessageBox::Button::Ok;
        });
    }
    void cleanup()
    {
        dm.reset();
        db.reset();
        MessageBox::setHandler({});
    }

    void openingFillsTheListsFromTheWholeTable()
    {
        db->exec("INSERT INTO Companies (CompanyID, Name) VALUES (7, 'Elsewhere')");
        db->addPerson("A", {{"Profession", "nurse"}, {"Company", "Acme"}});
        db->addPerson("B", {{"Profession", "Baker"}, {"Company", ""}, {"OfferedSolution", "support"}});
        db->addPerson("C", {{"Profession", "Nurse"}, {"OfferedSolution", "Support"}, {"Company", "ACME"}});
        db->addPerson("D", {{"Company", "banana"}, {"OfferedSolution", "advice"}});
        db->addPerson("Hidden", {{"CompanyID", 7}, {"Profession", "Actor"}, {"Company", "Zeta"}});
        start();
        QCOMPARE(dm->PeopleCompanyDet->recordCount(), 4); // people of the first company only
        // Ordered without regard to case, and a value written in several cases is offered once,
        // as first stored.
        QCOMPARE(dm->professionList(), (QStringList{"Actor", "Baker", "nurse"}));
        QCOMPARE(dm->companyList(), (QStringList{"Acme", "banana", "Zeta"}));
        QCOMPARE(dm->solutionList(), (QStringList{"advice", "support"}));
        QCOMPARE(dm->PeopleTable->recordCount(), 5);
    }

    void nameCheck()
    {
        start();
        Dataset* p = dm->PeopleCompanyDet;
        p->insert();
        p->setValue("Profession", "Cook");
        nameBox = " \t ";
        QVERIFY_THROWS_EXCEPTION(Abort, p->post());
        QCOMPARE(messages, QStringList{"Required field (Name) is empty."});
        QCOMPARE(focusCalls, 1);
        QCOMPARE(p->state(), DatasetState::Insert);
        QCOMPARE(p->value("Profession").toString(), QString("Cook"));
        QCOMPARE(db->count("People"), 0);

        nameBox = "  Anna  ";
        p->setValue("Name", nameBox);
        p->post();
        QCOMPARE(db->scalar("SELECT Name FROM People").toString(), QString("  Anna  "));
        QCOMPARE(db->scalar("SELECT CompanyID FROM People").toInt(), 1);
    }

    void savedValuesRefillTheListsAndDeletingDoesNot()
    {
        db->addPerson("A", {{"Profession", "Zoologist"}});
        start();
        QSignalSpy refills(dm.get(), &TMainDataModule::professionListFilled);
        addThroughModule("B", "Mason");
        QCOMPARE(dm->professionList(), (QStringList{"Mason", "Zoologist"}));
        QCOMPARE(refills.count(), 1);
        addThroughModule("C", QString(""));
        QCOMPARE(dm->professionList(), (QStringList{"Mason", "Zoologist"}));
        QVERIFY(dm->PeopleCompanyDet->locate({"Name"}, {"A"}));
        dm->PeopleCompanyDet->remove(); // the only zoologist
        QCOMPARE(dm->professionList(), (QStringList{"Mason", "Zoologist"}));
        addThroughModule("D");
        QCOMPARE(dm->professionList(), QStringList{"Mason"});
    }

    void editingReloadsTheFullTableAtOnce()
    {
        db->addPerson("A");
        start();
        QCOMPARE(dm->PeopleTable->recordCount(), 1);
        db->addPerson("From another program");
        QCOMPARE(dm->PeopleTable->recordCount(), 1); // a snapshot
        dm->PeopleCompanyDet->edit();
        QCOMPARE(dm->PeopleTable->recordCount(), 2); // re-read as the edit starts, before any save
    }

    // A deleted person goes to the trash with her answers and activities; her buying roles stay.
    void deletingAPersonMovesHerRowsToTheTrash()
    {
        const int id = db->addPerson("A");
        db->exec("INSERT INTO QuestionsMain VALUES (?, 1, 0)", {id});
        db->exec("INSERT INTO PeopleFollowUp (PersonID, FUDate) VALUES (?, '2024-01-01')", {id});
        db->exec("INSERT INTO Business (PersonID, SubProjectID) VALUES (?, 1)", {id});
        start();
        dm->PeopleCompanyDet->remove();
        QCOMPARE(db->count("People"), 0);
        QCOMPARE(db->count("QuestionsMain") + db->count("PeopleFollowUp"), 0);
        QCOMPARE(db->count("TrashPeople", QString("PersonID = %1").arg(id)), 1);
        QCOMPARE(db->count("TrashAnswers") + db->count("TrashFollowUp"), 2);
        QCOMPARE(db->count("Business"), 1);
    }

    void subprojectRules()
    {
        db->exec("INSERT INTO Projects (ProjectID, CompanyID, Name) VALUES (1, 1, 'Roll-out')");
        start();
        Dataset* sub = dm->SubProjectsDetail;
        sub->insert();
        QCOMPARE(sub->value("SizeID").toInt(), 2);
        QCOMPARE(sub->value("SubProjectTypeID").toInt(), 3);
        sub->setValue("Name", "Phase 1");
        sub->setValue("SizeID", 0);
        sub->setValue("SubProjectTypeID", QVariant());
        sub->post();
        QCOMPARE(db->scalar("SELECT SizeID FROM SubProjects").toInt(), 1);
        QCOMPARE(db->scalar("SELECT SubProjectTypeID FROM SubProjects").toInt(), 1);
        QCOMPARE(sub->value("Type").toString(), QString("Standard"));
        QCOMPARE(sub->value("ProjectID").toInt(), 1);

        const int subId = sub->value("SubProjectID").toInt();
        Dataset* history = dm->SubProjectHistoryQ;
        history->insert();
        QCOMPARE(history->value("SubProjectID").toInt(), subId);
        QCOMPARE(history->value("SubProjectStatusID").toInt(), 1);
        history->setValue("Date", QDate(2024, 5, 1));
        history->post();
        history->insert();
        history->setValue("Date", QDate(2023, 1, 1));
        history->post();
        // Re-run after each post: in date order, with the status looked up.
        QCOMPARE(history->recordCount(), 2);
        QCOMPARE(history->value("Date").toString(), QString("2023-01-01"));
        QCOMPARE(history->value("Status").toString(), QString("Open"));
    }

    // On a team database what another user saved reaches a list that is only being looked at,
    // with no command here: the server's word is taken in between commands.
    void othersWritesReachTheListWithoutACommand_data()
    {
        QTest::addColumn<QString>("write");
        QTest::addColumn<QString>("names"); // the list once word came
        QTest::addColumn<QString>("current");
        QTest::addColumn<bool>("restart"); // the server goes down and comes back first
        QTest::newRow("added") << "INSERT INTO People (CompanyID, Name) VALUES (1, 'Cai')" << "Ann Bob Cai" << "Bob"
                               << false;
        QTest::newRow("added after a restart") << "INSERT INTO People (CompanyID, Name) VALUES (1, 'Cai')"
                                               << "Ann Bob Cai" << "Bob" << true;
        QTest::newRow("changed") << "UPDATE People SET Name = 'Bobby' WHERE Name = 'Bob'" << "Ann Bobby" << "Bobby"
                                 << false;
        QTest::newRow("deleted") << "DELETE FROM People WHERE Name = 'Bob'" << "Ann" << "Ann" << false;
    }
    void othersWritesReachTheListWithoutACommand()
    {
        if (!TestDatabase::onServer())
            QSKIP("the file sends no word; its copies catch up at their next command");
        QFETCH(QString, write);
        QFETCH(QString, names);
        QFETCH(QString, current);
        QFETCH(bool, restart);
        db->addPerson("Ann");
        db->addPerson("Bob");
        start();
        Dataset* people = dm->PeopleCompanyDet;
        QVERIFY(people->locate({"Name"}, {"Bob"}));
        auto list = [&] {
            QStringList all;
            for (int i = 0; i < people->recordCount(); ++i)
                all << people->valueAt(i, people->columnIndex("Name")).toString();
            return all.join(' ');
        };
        if (restart) {
            PgCluster::instance().stopImmediately();
            PgCluster::instance().start();
        }
        QSignalSpy shown(people, &Dataset::changed);
        db->exec(write);
        QTRY_COMPARE_WITH_TIMEOUT(list(), names, 15000);
        QVERIFY(!shown.isEmpty());
        QCOMPARE(people->value("Name").toString(), current);
    }

    void companyNameIsALookupOfALookup()
    {
        const int id = db->addPerson("Anna");
        db->exec("INSERT INTO Projects (ProjectID, CompanyID, Name) VALUES (1, 1, 'P')");
        db->exec("INSERT INTO SubProjects (SubProjectID, ProjectID, Name) VALUES (1, 1, 'S')");
        db->exec("INSERT INTO Business (PersonID, SubProjectID, SPWeight) VALUES (?, 1, 95)", {id});
        start();
        QCOMPARE(dm->PeopleDetail->recordCount(), 1);
        QCOMPARE(dm->PeopleDetail->value("PersonName").toString(), QString("Anna"));
        QCOMPARE(dm->PeopleDetail->value("CompanyName").toString(), QString("My company"));
        QCOMPARE(dm->PeopleProjectDetail->value("Subproject").toString(), QString("S"));
    }
};

QTEST_GUILESS_MAIN(TestDataModule)
#include "tst_datamodule.moc"
