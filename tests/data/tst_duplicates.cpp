#include "support/TestDatabase.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DuplicateMerge.h"
#include "data/Duplicates.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <csignal>
#include <memory>

using Duplicates::Group;

namespace {
// Every row of the tables a merge touches, as text, in a fixed order: what "the file as it
// was" means below.
QStringList dump(TestDatabase& db)
{
    QStringList rows;
    for (const char* sql : {"SELECT * FROM People ORDER BY PersonID",
                            "SELECT ID, PersonID, FUDate, FUDescription FROM PeopleFollowUp ORDER BY ID",
                            "SELECT PersonID, QuestionID, Answer FROM QuestionsMain ORDER BY PersonID, QuestionID",
                            "SELECT PersonID, SubProjectID FROM Business ORDER BY rowid"})
        rows << db.rows(sql) << "--";
    return rows;
}

// Two people alike, three follow-ups, answers and a buying role: the merge's material.
struct Pair {
    int anna, other;
};
Pair seedPair(TestDatabase& db)
{
    Pair p;
    p.anna = db.addPerson("Anna Berg", {{"Email1", "anna@berg.se"}, {"Company", "Acme"}, {"HACity", "Lund"}});
    p.other = db.addPerson("berg, anna", {{"Email1", "ANNA@berg.se"}, {"Mobile", "+46 70 111 22 33"},
                                          {"Company", "Acme AB"}, {"Info", "met at the fair"}});
    db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, FUDescription) VALUES (?, '2026-01-05', 'call')", {p.anna});
    for (const char* what : {"visit", "offer"})
        db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, FUDescription) VALUES (?, '2026-02-01', ?)",
                {p.other, what});
    for (int q = 1; q <= 24; ++q) {
        db.exec("INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (?, ?, ?)", {p.anna, q, q <= 3 ? 1 : -1});
        db.exec("INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (?, ?, ?)", {p.other, q, q <= 10 ? 0 : -1});
    }
    db.exec("INSERT INTO Business (PersonID, SubProjectID) VALUES (?, 7)", {p.other});
    return p;
}

std::unique_ptr<Connection> openFile(const TestDatabase& db)
{
    auto c = std::make_unique<Connection>("duplicates-" + QString::number(quintptr(&db)));
    TestDatabase::pointAt(*c, db.path());
    c->open();
    return c;
}

// The child process of the kill test: merges the seeded pair and is killed at the given step.
int mergeInChild()
{
    const QString path = qEnvironmentVariable("DUPLICATES_CHILD_DB");
    const QByteArray killAt = qgetenv("DUPLICATES_KILL_AT");
    Connection c("child");
    TestDatabase::pointAt(c, path);
    c.open();
    DuplicateMerge::setStepHook([&](const char* step) {
        if (killAt == step)
            std::raise(SIGKILL);
    });
    DuplicateMerge::merge(c, 1, {2}, {{"Mobile", "+46 70 111 22 33"}});
    return 0;
}
} // namespace

class TestDuplicates : public QObject {
    Q_OBJECT

    QVector<Group> findIn(TestDatabase& db)
    {
        auto c = openFile(db);
        return Duplicates::find(*c, 1);
    }

private slots:
    void pairsAreFoundWithTheirReasons_data()
    {
        QTest::addColumn<QString>("nameA");
        QTest::addColumn<QVariantMap>("a");
        QTest::addColumn<QString>("nameB");
        QTest::addColumn<QVariantMap>("b");
        QTest::addColumn<QString>("reasons"); // empty: not a pair
        using M = QVariantMap;
        QTest::newRow("e-mail in other case, name spaced") << "Anna Berg" << M{{"Email1", "anna@berg.se"}} << "anna  berg"
                                                           << M{{"Email2", "ANNA@Berg.SE "}}
                                                           << "same e-mail address, same name";
        QTest::newRow("mobile with country code, ü and ue, word order")
            << "Müller, Hans" << M{{"Mobile", "+49 171 1234567"}} << "Hans Mueller" << M{{"Mobile", "0171/123 45 67"}}
            << "same mobile number, same name";
        QTest::newRow("mobile written with 00") << "Ola Nordmann" << M{{"Mobile", "0047 912 34 567"}} << "Kari Lund"
                                                << M{{"Mobile", "+47 91234567"}} << "same mobile number";
        QTest::newRow("ö and oe, ß and ss, company in other case")
            << "Jörg Straße" << M{{"Company", "Acme GmbH"}} << "Joerg Strasse" << M{{"Company", "ACME gmbh"}}
            << "same name and company";
        QTest::newRow("initial and same company") << "A. Lindqvist" << M{{"Company", "Volvo"}} << "Anna Lindqvist"
                                                  << M{{"Company", "Volvo"}} << "similar name and same company";
        QTest::newRow("typing slip and same company")
            << "Katarina Wojciechowska" << M{{"Company", "Orlen"}} << "Katarina Wojciechowsak" << M{{"Company", "Orlen"}}
            << "similar name and same company";
        QTest::newRow("title, accent and home telephone against primary")
            << "Dr. Pierre Lefèvre" << M{{"PrimaryTel", "+33 1 42 68 53 00"}} << "Pierre Lefevre"
            << M{{"TelH1", "01 42 68 53 00"}} << "similar name and same telephone number, same name";
        QTest::newRow("apostrophe and diacritics alone") << "Zoë O'Brien" << M{} << "ZOE OBRIEN" << M{} << "same name";
        QTest::newRow("middle name and same company") << "Karin Maria Bergström" << M{{"Company", "IKEA"}}
                                                      << "Bergstrom, Karin" << M{{"Company", "Ikea"}}
                                                      << "similar name and same company";
        // Pairs that must not be shown.
        QTest::newRow("only a common first name, same company")
            << "Anna Berg" << M{{"Company", "Acme"}} << "Anna Schmidt" << M{{"Company", "Acme"}} << "";
        QTest::newRow("a common first name alone") << "Anna" << M{{"Company", "Acme"}} << "Anna Berg"
                                                   << M{{"Company", "Acme"}} << "";
        QTest::newRow("two common first names alone") << "Maria" << M{} << "maria" << M{} << "";
        QTest::newRow("first names only, twice") << "Anna Maria" << M{} << "Maria Anna" << M{} << "";
        QTest::newRow("a household's telephone") << "Lars Berg" << M{{"TelH1", "040 123456"}} << "Eva Berg"
                                                 << M{{"TelH1", "040-12 34 56"}} << "";
        QTest::newRow("numbers too short to tell") << "Ola Nordmann" << M{{"Mobile", "123"}} << "Kari Hansen"
                                                   << M{{"Mobile", "0123"}} << "";
        QTest::newRow("other country code") << "Ulla Holm" << M{{"Mobile", "+49 30 1234567"}} << "Kim Lee"
                                            << M{{"Mobile", "+33 30 1234567"}} << "";
        QTest::newRow("names three letters apart") << "Peter Brown" << M{{"Company", "X"}} << "Peter Browning"
                                                   << M{{"Company", "X"}} << "";
        QTest::newRow("no address is not an address") << "Ulla Holm" << M{{"Email1", "none"}} << "Kim Lee"
                                                      << M{{"Email1", "NONE"}} << "";
        QTest::newRow("a surname alone") << "Lindqvist" << M{} << "lindqvist" << M{} << "";
    }
    void pairsAreFoundWithTheirReasons()
    {
        QFETCH(QString, nameA);
        QFETCH(QVariantMap, a);
        QFETCH(QString, nameB);
        QFETCH(QVariantMap, b);
        QFETCH(QString, reasons);
        TestDatabase db;
        const int first = db.addPerson(nameA, a);
        const int second = db.addPerson(nameB, b);
        db.addPerson("Somebody Else", {{"Email1", "else@where.org"}, {"Company", "Acme"}});
        const QVector<Group> groups = findIn(db);
        if (reasons.isEmpty()) {
            QVERIFY2(groups.isEmpty(), qPrintable(Duplicates::reasonsText(groups.value(0).reasons)));
            return;
        }
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].people, (QVector<qint64>{first, second}));
        QCOMPARE(Duplicates::reasonsText(groups[0].reasons), reasons);
    }

    void groupsOfThreeStrongestFirstAndMarkedPairsNeverAgain()
    {
        TestDatabase db;
        const int weak1 = db.addPerson("Zoë O'Brien");
        const int weak2 = db.addPerson("Zoe OBrien");
        const int a = db.addPerson("Anna Berg", {{"Email1", "a@berg.se"}});
        const int b = db.addPerson("anna berg", {{"Email1", "A@BERG.SE"}, {"Mobile", "+46 70 111 2233"}});
        const int c = db.addPerson("Berg, Anna", {{"Mobile", "070-111 22 33"}});
        QVector<Group> groups = findIn(db);
        QCOMPARE(groups.size(), 2);
        QCOMPARE(groups[0].people, (QVector<qint64>{a, b, c}));
        QCOMPARE(Duplicates::reasonsText(groups[0].reasons), "same e-mail address, same mobile number, same name");
        QCOMPARE(groups[1].people, (QVector<qint64>{weak1, weak2}));
        QVERIFY(groups[0].strength > groups[1].strength);

        auto conn = openFile(db);
        DuplicateMerge::markNotDuplicates(*conn, {weak1, weak2});
        DuplicateMerge::markNotDuplicates(*conn, {weak2, weak1}); // twice is once
        groups = Duplicates::find(*conn, 1);
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].people, (QVector<qint64>{a, b, c}));
        QCOMPARE(db.count("NotDuplicates"), 1);
        // Other companies' people are never shown, so never paired.
        db.addPerson("Anna Berg", {{"CompanyID", 2}, {"Email1", "a@berg.se"}});
        QCOMPARE(Duplicates::find(*conn, 1).value(0).people.size(), 3);
        // Like two of them by the mobile number, like the third in nothing: not of their group.
        const int lena = db.addPerson("Lena Olsson", {{"Mobile", "0046 70 111 22 33"}});
        groups = Duplicates::find(*conn, 1);
        QCOMPARE(groups.value(0).people, (QVector<qint64>{a, b, c}));
        for (const Group& g : groups)
            QVERIFY(!g.people.contains(lena));
    }

    void theMergeKeepsChosenValuesActivitiesAndTheFullerAnswers()
    {
        TestDatabase db;
        const Pair p = seedPair(db);
        auto c = openFile(db);
        const qint64 merge = DuplicateMerge::merge(*c, p.anna, {p.other},
                                                   {{"Mobile", "+46 70 111 22 33"}, {"Company", "Acme AB"},
                                                    {"Info", "met at the fair"}});
        QVERIFY(merge > 0);
        QCOMPARE(db.count("People"), 1);
        QCOMPARE(db.scalar("SELECT Name || '/' || Email1 || '/' || Mobile || '/' || Company || '/' || HACity || '/' || "
                           "Info FROM People WHERE PersonID = ?",
                           {p.anna})
                     .toString(),
                 "Anna Berg/anna@berg.se/+46 70 111 22 33/Acme AB/Lund/met at the fair");
        QCOMPARE(db.count("PeopleFollowUp", QString("PersonID = %1").arg(p.anna)), 3);
        // The other person answered ten questions, Anna three: the ten stay, now Anna's.
        QCOMPARE(db.count("QuestionsMain"), 24);
        QCOMPARE(db.count("QuestionsMain", QString("PersonID = %1 AND Answer = 0").arg(p.anna)), 10);
        QCOMPARE(db.count("Business", QString("PersonID = %1").arg(p.anna)), 1);
        QCOMPARE(DuplicateMerge::merges(*c).size(), 1);
        QCOMPARE(DuplicateMerge::merges(*c).first().names, "Anna Berg, berg, anna");
        QVERIFY(Duplicates::find(*c, 1).isEmpty());
        // A merge that would leave the kept person without a name changes nothing.
        const int again = db.addPerson("Anna Berg", {{"Email1", "anna@berg.se"}});
        const QStringList before = dump(db);
        QVERIFY_THROWS_EXCEPTION(DataError, DuplicateMerge::merge(*c, p.anna, {again}, {{"Name", " "}}));
        QCOMPARE(dump(db), before);
    }

    void undoBringsEveryoneBackUnlessTheKeptPersonChanged_data()
    {
        QTest::addColumn<QString>("change"); // what is done to the kept person before the undo
        QTest::addColumn<int>("result");
        QTest::newRow("unchanged") << "" << int(DuplicateMerge::Undo::Done);
        QTest::newRow("a value changed") << "UPDATE People SET Info = 'called back' WHERE PersonID = 1"
                                         << int(DuplicateMerge::Undo::KeptChanged);
        QTest::newRow("an answer changed") << "UPDATE QuestionsMain SET Answer = 1 WHERE PersonID = 1 AND QuestionID = 20"
                                           << int(DuplicateMerge::Undo::KeptChanged);
        QTest::newRow("deleted") << "DELETE FROM People WHERE PersonID = 1" << int(DuplicateMerge::Undo::KeptGone);
        // A follow-up logged after the merge is no change to the person: it stays with them.
        QTest::newRow("a new follow-up") << "INSERT INTO PeopleFollowUp (PersonID, FUDescription) VALUES (1, 'later')"
                                         << int(DuplicateMerge::Undo::Done);
    }
    void undoBringsEveryoneBackUnlessTheKeptPersonChanged()
    {
        QFETCH(QString, change);
        QFETCH(int, result);
        TestDatabase db;
        const Pair p = seedPair(db);
        QCOMPARE(p.anna, 1);
        const int third = db.addPerson("Anna Bergh", {{"Email1", "anna@berg.se"}});
        const QStringList before = dump(db);
        qint64 first, second;
        {
            auto c = openFile(db);
            first = DuplicateMerge::merge(*c, p.anna, {p.other}, {{"Mobile", "+46 70 111 22 33"}});
            second = DuplicateMerge::merge(*c, p.anna, {third}, {{"Name", "Anna Bergh"}});
            QCOMPARE(DuplicateMerge::merges(*c).first().id, second); // latest first
        }
        auto c = openFile(db); // a later run of the program
        QCOMPARE(DuplicateMerge::undo(*c, second), DuplicateMerge::Undo::Done);
        QCOMPARE(DuplicateMerge::undo(*c, second), DuplicateMerge::Undo::AlreadyUndone);
        QCOMPARE(db.count("People"), 2);
        if (!change.isEmpty())
            db.exec(change);
        const QStringList changed = dump(db);
        QCOMPARE(int(DuplicateMerge::undo(*c, first)), result);
        if (result != int(DuplicateMerge::Undo::Done)) {
            QCOMPARE(dump(db), changed);
            QVERIFY(!DuplicateMerge::undoRefusal(DuplicateMerge::Undo(result)).isEmpty());
            QCOMPARE(DuplicateMerge::merges(*c).size(), 1);
            return;
        }
        QVERIFY(DuplicateMerge::merges(*c).isEmpty());
        if (change.isEmpty()) {
            QCOMPARE(dump(db), before);
            return;
        }
        const QStringList now = dump(db);
        const int people = int(before.indexOf("--"));
        QCOMPARE(now.mid(0, people), before.mid(0, people)); // every person exactly as before
        QCOMPARE(db.count("PeopleFollowUp", QString("PersonID = %1").arg(p.other)), 2);
        QCOMPARE(db.count("PeopleFollowUp", QString("PersonID = %1").arg(p.anna)), 2);
        QCOMPARE(db.count("QuestionsMain", QString("PersonID = %1 AND Answer = 1").arg(p.anna)), 3);
        QCOMPARE(db.count("QuestionsMain", QString("PersonID = %1 AND Answer = 0").arg(p.other)), 10);
        QCOMPARE(db.count("Business", QString("PersonID = %1").arg(p.other)), 1);
    }

    void aKillDuringTheMergeLeavesTheFileAsBeforeOrAfter_data()
    {
        QTest::addColumn<QString>("killAt");
        for (const char* step : {"read", "kept", "moved", "removed", "recorded", ""})
            QTest::newRow(*step ? step : "not killed") << QString(step);
    }
    void aKillDuringTheMergeLeavesTheFileAsBeforeOrAfter()
    {
        QFETCH(QString, killAt);
        TestDatabase db;
        seedPair(db);
        const QStringList before = dump(db);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DUPLICATES_CHILD_DB", db.path());
        env.insert("DUPLICATES_KILL_AT", killAt);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        if (killAt.isEmpty()) {
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(db.count("People"), 1);
            QCOMPARE(db.count("PeopleFollowUp", "PersonID = 1"), 3);
            QCOMPARE(db.count("Merges"), 1);
        } else {
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            QCOMPARE(dump(db), before);
            QCOMPARE(db.count("Merges"), 0);
        }
    }

    void theWarningFindsTheBestMatchOnFile()
    {
        TestDatabase db;
        db.addPerson("Anna Schmidt", {{"Company", "Acme"}});
        const int hans = db.addPerson("Hans Müller", {{"Mobile", "+49 171 1234567"}});
        auto c = openFile(db);
        const QStringList cols = Duplicates::columns();
        QVector<QString> values(cols.size());
        values[cols.indexOf("Name")] = "Mueller, Hans";
        values[cols.indexOf("Mobile")] = "0171 1234567";
        const Duplicates::Match m = Duplicates::bestMatch(*c, 1, values);
        QCOMPARE(m.id, qint64(hans));
        QCOMPARE(Duplicates::reasonsText(m.reasons), "same mobile number, same name");
        QCOMPARE(Duplicates::bestMatch(*c, 1, values, hans).id, qint64(0)); // the person being saved
        values[cols.indexOf("Name")] = "Anna Berg";
        values[cols.indexOf("Mobile")] = "";
        values[cols.indexOf("Company")] = "acme";
        QCOMPARE(Duplicates::bestMatch(*c, 1, values).id, qint64(0));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("DUPLICATES_CHILD_DB"))
        return mergeInChild();
    TestDuplicates t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_duplicates.moc"
