// The search box's question to the people of one company: the person whose name begins with the
// typed text, ignoring case, the lowest name winning and the first stored among equal names. It
// is answered from the names kept in order; every answer is checked against the same question
// put to the rows one by one (a query's rows, which are held whole and passed over in full).
#include "support/TestDatabase.h"

#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/Dataset.h"

#include <QTest>

#include <memory>

class TestNameSearch : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;
    std::unique_ptr<Connection> conn;
    std::unique_ptr<Dataset> companies;
    std::unique_ptr<DataSource> companiesSource;
    std::unique_ptr<Dataset> people;

    static QString nameOf(const QVariant& v) { return v.isNull() ? QString("<null>") : v.toString(); }

    // What a pass over every row of the file finds, as the search did before the names were
    // kept in order: the person's identity, 0 for none.
    qint64 foundOneByOne(int company, const QString& typed)
    {
        Dataset all("All", conn.get());
        all.setQuery("SELECT \"PersonID\", \"CompanyID\", \"Name\" FROM \"People\" ORDER BY \"PersonID\"");
        all.open();
        if (!all.locateLowest({"CompanyID", "Name"}, {company, typed}, LocateOptions{true, true}, "Name"))
            return 0;
        return all.value("PersonID").toLongLong();
    }

private slots:
    void init()
    {
        db = std::make_unique<TestDatabase>();
        db->exec("INSERT INTO Companies (CompanyID, Name) VALUES (2, 'Other')");
        for (const QString& n : {QStringLiteral(u"\u00c4ngel \u00d8rsted"), QString("angela Smith"), QString("Angela smith"),
                                 QString("  Bob"), QString("bob"), QString(""), QStringLiteral(u"Zo\u00eb"), QString("ZOE"),
                                 QStringLiteral(u"\u03a9mega"), QStringLiteral(u"Stra\u00dfe"), QStringLiteral(u"\u00c9ric"),
                                 QString("eric"), QStringLiteral(u"\U0001D400 Bold")})
            db->addPerson(n);
        db->exec("INSERT INTO People (CompanyID, Name) VALUES (1, NULL)");
        db->exec("INSERT INTO People (CompanyID, Name) VALUES (2, 'Carl')");
        conn = std::make_unique<Connection>("test");
        TestDatabase::pointAt(*conn, db->path());
        conn->open();
        companies = std::make_unique<Dataset>("Companies", conn.get());
        companies->setTable("Companies");
        companies->setSort({"CompanyID"});
        companiesSource = std::make_unique<DataSource>("CompaniesSource", companies.get());
        // As the People page holds them: one company's people, the names folded and kept in order,
        // other programs' writes followed through the change log.
        people = std::make_unique<Dataset>("People", conn.get());
        people->setTable("People");
        people->setMaster(companiesSource.get(), "CompanyID");
        people->setSearchColumn("Name");
        people->setChangeLog("PeopleChanges", "PersonID");
        companies->open();
        people->open();
    }
    void cleanup()
    {
        people.reset();
        companiesSource.reset();
        companies.reset();
        conn.reset();
        db.reset();
    }

    void sameAsOneByOne_data()
    {
        QTest::addColumn<QString>("before"); // what happened to the people before the search
        QTest::addColumn<int>("company");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found"); // "-": nobody, the current person stays
        auto row = [](const QString& before, const char* typed, int company = 1) -> QTestData& {
            const QString where = company == 1 ? QString() : QString(" in company %1").arg(company);
            return QTest::newRow(qPrintable(before + ": '" + QString::fromUtf8(typed) + "'" + where))
                   << before << company << QString::fromUtf8(typed);
        };
        const QString read = "as read";
        row(read, "ang") << "angela Smith"; // before the accented one, the first of two equal names
        row(read, "\xc3\x84NG") << QStringLiteral(u"\u00c4ngel \u00d8rsted");
        row(read, "\xc3\xa4ngel \xc3\xb8") << QStringLiteral(u"\u00c4ngel \u00d8rsted");
        row(read, "ANGELA S") << "angela Smith";
        row(read, "angela smith") << "angela Smith"; // the whole name
        row(read, "angela smithe") << "-";
        row(read, " ") << "  Bob"; // blanks are text like any other
        row(read, "  b") << "  Bob";
        row(read, "b") << "bob";
        row(read, "") << "<null>"; // a cleared box: a missing name first, then an empty one
        row(read, "zo") << "ZOE"; // e before \u00eb
        row(read, "zo\xc3\xab") << QStringLiteral(u"Zo\u00eb");
        row(read, "\xcf\x89") << QStringLiteral(u"\u03a9mega");
        row(read, "stra\xc3\x9f") << QStringLiteral(u"Stra\u00dfe");
        row(read, "strasse") << "-"; // a sharp s is not two letters to the search
        row(read, "\xc3\xa9") << QStringLiteral(u"\u00c9ric");
        row(read, "e") << "eric";
        row(read, "\xf0\x9d\x90\x80") << QStringLiteral(u"\U0001D400 Bold");
        row(read, "carl") << "-"; // another company's
        row(read, "carl", 2) << "Carl";
        row(read, "a", 2) << "-";
        row(read, "x") << "-";
        const QString changed = "a name changed here";
        row(changed, "b") << "-"; // bob is Aaron now
        row(changed, "aa") << "Aaron";
        row(changed, "a") << "Aaron";
        const QString editing = "a name being changed";
        row(editing, "aa") << "Aaron"; // the search saves the change first
        row(editing, "bo") << "-";
        const QString added = "a person added here";
        row(added, "ab") << "Abby";
        row(added, "a") << "Abby";
        row(added, "ang") << "angela Smith";
        const QString moved = "a person moved to another company";
        row(moved, "b") << "-";
        row(moved, "b", 2) << "bob";
        const QString removed = "a person deleted here";
        row(removed, "ang") << "Angela smith"; // the other of the two equal names
        row(removed, "angela smith") << "Angela smith";
        const QString outside = "another program's writes";
        row(outside, "ab") << "Abe";
        row(outside, "zo") << QStringLiteral(u"Zo\u00eb"); // ZOE renamed
        row(outside, "an") << "Angela smith"; // angela Smith deleted
        row(outside, "") << ""; // the missing name filled in: the empty one
    }
    void sameAsOneByOne()
    {
        QFETCH(QString, before);
        QFETCH(int, company);
        QFETCH(QString, typed);
        QFETCH(QString, found);
        const LocateOptions search{true, true};
        auto go = [&](const QString& name) { QVERIFY(people->locate({"Name"}, {name})); };
        if (before == "a name changed here" || before == "a name being changed") {
            go("bob");
            people->edit();
            people->setValue("Name", "Aaron");
            if (before == "a name changed here")
                people->post();
        } else if (before == "a person added here") {
            people->insert();
            people->setValue("Name", "Abby");
            people->post();
        } else if (before == "a person moved to another company") {
            go("bob");
            people->edit();
            people->setValue("CompanyID", 2);
            people->post();
        } else if (before == "a person deleted here") {
            go("angela Smith");
            people->remove();
        } else if (before == "another program's writes") {
            db->exec("INSERT INTO People (CompanyID, Name) VALUES (1, 'Abe')");
            db->exec("UPDATE People SET Name = 'Zzz' WHERE Name = 'ZOE'");
            db->exec("DELETE FROM People WHERE PersonID = 2"); // angela Smith; Name = would take both
            db->exec("UPDATE People SET Name = 'Nobody' WHERE Name IS NULL");
            people->refresh(); // takes in what the change log names
        }
        // Twice: as the rows stand after the change, and once put back in order as the search box
        // leaves them.
        for (int round = 0; round < 2; ++round) {
            companies->locate({"CompanyID"}, {company});
            people->first();
            const QString start = nameOf(people->value("Name"));
            const bool located = people->locateLowest({"CompanyID", "Name"}, {company, typed}, search, "Name");
            QCOMPARE(located, found != "-");
            QCOMPARE(nameOf(people->value("Name")), found == "-" ? start : found);
            QCOMPARE(located ? people->value("PersonID").toLongLong() : 0, foundOneByOne(company, typed));
            people->refresh();
        }
    }
};

QTEST_GUILESS_MAIN(TestNameSearch)
#include "tst_namesearch.moc"
