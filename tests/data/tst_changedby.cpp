// Who changed a person last and when: written with every save, insert, import and merge by the
// data layer, and named by the question about another user's change when the row itself tells
// it for sure. Two data modules on one real file play two copies of the program.
#include "support/TestDatabase.h"

#include "data/DataError.h"
#include "data/DuplicateMerge.h"
#include "data/MainDataModule.h"
#include "data/Notices.h"
#include "data/PeopleBatch.h"
#include "data/Trash.h"

#include <QLocale>
#include <QTest>

#include <memory>

namespace {
const QString kUnnamed = "This person was changed by another user since you began editing. Save your changes over theirs?";
const QDateTime kThen(QDate(2026, 3, 4), QTime(9, 15, 30), Qt::UTC);

QString named(const QString& who, const QDateTime& when)
{
    return QString("This person was changed by %1 at %2 since you began editing. Save your changes over theirs?")
        .arg(who, QLocale().toString(when.toLocalTime(), QLocale::ShortFormat));
}

struct Copy {
    Copy(const QString& path, const QString& user)
    {
        TestDatabase::pointAt(data.MainADOConnection, path, user);
        data.MainADOConnection.open();
        data.SetDatasetsActive(true);
    }
    Dataset* people() { return data.PeopleCompanyDet; }
    void set(const QString& column, const QString& value)
    {
        people()->refresh();
        people()->first();
        people()->edit();
        people()->setValue(column, value);
        people()->post();
    }
    TMainDataModule data;
};
} // namespace

class TestChangedBy : public QObject {
    Q_OBJECT

    QStringList questions;
    bool answer = false;
    QDateTime clock;

private slots:
    void init()
    {
        questions.clear();
        answer = false;
        clock = kThen;
        Trash::setClock([this] { return clock; });
        Notices::install({[](const QString&) {}, [](const QString&) {}, [this](const Notices::Question& q) {
                              questions << q.text;
                              return answer;
                          }});
    }
    void cleanup()
    {
        Trash::setClock({});
        Notices::install({});
    }

    void everyWriteOfAPersonIsStamped()
    {
        TestDatabase db;
        db.addPerson("Anna");
        Copy me(db.path(), "anton");
        me.set("Mobile", "111");
        QCOMPARE(db.scalar("SELECT ChangedBy || ' ' || ChangedAt FROM People WHERE Name = 'Anna'").toString(),
                 QString("anton 2026-03-04T09:15:30.000Z"));

        clock = kThen.addSecs(60);
        me.people()->insert();
        me.people()->setValue("Name", "Bea");
        me.people()->post();
        QCOMPARE(db.scalar("SELECT ChangedBy || ' ' || ChangedAt FROM People WHERE Name = 'Bea'").toString(),
                 QString("anton 2026-03-04T09:16:30.000Z"));

        // An import stamps what it adds with its own start.
        clock = kThen.addSecs(120);
        {
            PeopleBatch batch(me.data, {"Name", "Mobile"});
            batch.begin();
            const QString name = "Carl", mobile = "333";
            batch.add({QStringView(name), QStringView(mobile)});
            batch.finish();
        }
        QCOMPARE(db.scalar("SELECT ChangedBy || ' ' || ChangedAt FROM People WHERE Name = 'Carl'").toString(),
                 QString("anton 2026-03-04T09:17:30.000Z"));

        // A merge changes the kept person; the history and the trash are as before.
        clock = kThen.addSecs(180);
        const qint64 anna = db.scalar("SELECT PersonID FROM People WHERE Name = 'Anna'").toLongLong();
        const qint64 bea = db.scalar("SELECT PersonID FROM People WHERE Name = 'Bea'").toLongLong();
        DuplicateMerge::merge(me.data.MainADOConnection, anna, {bea}, {{"Mobile", QString("222")}});
        QCOMPARE(db.scalar("SELECT Mobile || ' ' || ChangedBy || ' ' || ChangedAt FROM People WHERE PersonID = ?", {anna})
                     .toString(),
                 QString("222 anton 2026-03-04T09:18:30.000Z"));
        QCOMPARE(db.count("PeopleHistory", "Field IN ('ChangedBy', 'ChangedAt')"), 0);
        QCOMPARE(db.count("PeopleHistory", "Field = 'Mobile'"), 1);

        // Deleted and restored, the person comes back as they were, stamp included.
        const qint64 carl = db.scalar("SELECT PersonID FROM People WHERE Name = 'Carl'").toLongLong();
        Trash::movePeople(me.data.MainADOConnection, {carl});
        QCOMPARE(db.count("People", "Name = 'Carl'"), 0);
        Trash::restore(me.data.MainADOConnection, {db.scalar("SELECT TrashID FROM TrashPeople").toLongLong()});
        QCOMPARE(db.scalar("SELECT ChangedBy || ' ' || ChangedAt FROM People WHERE Name = 'Carl'").toString(),
                 QString("anton 2026-03-04T09:17:30.000Z"));
    }

    void theQuestionNamesWhoChangedThePerson_data()
    {
        QTest::addColumn<QString>("before");   // what happened to the person before editing began
        QTest::addColumn<QString>("meanwhile"); // who changed the same column while it was edited
        QTest::addColumn<bool>("named");        // the question names maria at the later time

        QTest::newRow("another user of the program") << "" << "maria" << true;
        QTest::newRow("another user, after one earlier save of hers") << "maria" << "maria" << true;
        QTest::newRow("the same user in another copy") << "" << "anton" << false;
        QTest::newRow("another program, on a person never stamped") << "" << "program" << false;
        QTest::newRow("another program, after a save of maria's") << "maria" << "program" << false;
        QTest::newRow("another program that stamps as maria") << "" << "stamping program" << true;
    }
    void theQuestionNamesWhoChangedThePerson()
    {
        QFETCH(QString, before);
        QFETCH(QString, meanwhile);
        QFETCH(bool, named);
        TestDatabase db;
        db.addPerson("Anna", {{"Mobile", "111"}});
        Copy me(db.path(), "anton");
        Copy other(db.path(), meanwhile == "anton" ? "anton" : "maria");
        if (before == "maria")
            other.set("Mobile", "112");
        me.people()->refresh();
        me.people()->first();
        me.people()->edit();
        me.people()->setValue("Mobile", "999");

        const QDateTime later = kThen.addSecs(3600);
        clock = later;
        if (meanwhile == "program")
            db.exec("UPDATE People SET Mobile = '555'");
        else if (meanwhile == "stamping program")
            db.exec("UPDATE People SET Mobile = '555', ChangedBy = 'maria', ChangedAt = ?", {Trash::stamp(later)});
        else
            other.set("Mobile", "555");

        // No keeps editing; asked again, Yes writes over theirs, stamped by the one who saved.
        clock = later.addSecs(60);
        QVERIFY_THROWS_EXCEPTION(Declined, me.people()->post());
        QCOMPARE(questions, QStringList{named ? ::named("maria", later) : kUnnamed});
        QCOMPARE(db.scalar("SELECT Mobile FROM People").toString(), QString("555"));
        answer = true;
        me.people()->post();
        QCOMPARE(db.scalar("SELECT Mobile || ' ' || ChangedBy || ' ' || ChangedAt FROM People").toString(),
                 "999 anton " + Trash::stamp(later.addSecs(60)));
        QCOMPARE(questions.size(), 1); // the second save knew of their change
    }

    void aFileWithoutTheColumnsIsWrittenAsBefore()
    {

        SKIP_ON_SERVER("version number, set by hand");
        // A file another program rebuilt without them: saves and the question work as they did.
        TestDatabase db;
        db.addPerson("Anna", {{"Mobile", "111"}});
        db.exec("ALTER TABLE People DROP COLUMN ChangedBy");
        db.exec("ALTER TABLE People DROP COLUMN ChangedAt");
        db.exec("PRAGMA user_version = 99"); // nothing to bring up
        Copy me(db.path(), "anton");
        Copy other(db.path(), "maria");
        me.people()->edit();
        me.people()->setValue("Mobile", "999");
        other.set("Mobile", "555");
        answer = true;
        me.people()->post();
        QCOMPARE(questions, QStringList{kUnnamed});
        QCOMPARE(db.scalar("SELECT Mobile FROM People").toString(), QString("999"));
    }
};

QTEST_GUILESS_MAIN(TestChangedBy)
#include "tst_changedby.moc"
