#include "support/TestDatabase.h"

#include "data/Connection.h"
#include "data/MainDataModule.h"
#include "data/Schema.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <memory>

// A file made by an earlier version, and what the start-up makes of it.
class TestSchema : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    static QStringList rows(const QString& path, const QString& sql)
    {
        QStringList out;
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(path);
            if (!db.open())
                qFatal("cannot open %s", qPrintable(path));
            QSqlQuery q(db);
            if (!q.exec(sql))
                qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
            while (q.next()) {
                QStringList cells;
                for (int i = 0; i < q.record().count(); ++i)
                    cells << q.value(i).toString();
                out << cells.join('|');
            }
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }
    static void run(const QString& path, const QStringList& statements)
    {
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(path);
            db.open();
            for (const QString& s : statements) {
                QSqlQuery q(db);
                if (!q.exec(s))
                    qFatal("%s: %s", qPrintable(s), qPrintable(q.lastError().text()));
            }
        }
        QSqlDatabase::removeDatabase(name);
    }
    static QStringList schemaOf(const QString& path)
    {
        return rows(path, "SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name");
    }
    static int versionOf(const QString& path) { return rows(path, "PRAGMA user_version").value(0).toInt(); }

    // The base script alone, as the first delivered files were, with rows whose identities have gaps.
    QString oldFile(const QString& name, bool withAdded, int version)
    {
        const QString folder = dir.filePath(QString::number(qHash(name)));
        QDir().mkpath(folder);
        const QString path = folder + "/Vantrel.vt";
        QStringList statements;
        const QStringList added = Schema::addedStatements();
        for (const QString& s : Schema::statements(Schema::script()))
            if (withAdded || !added.contains(s))
                statements << s;
        statements << "INSERT INTO People (PersonID, CompanyID, Name) VALUES (5, 1, 'Anna')"
                   << "INSERT INTO QuestionsMain (rowid, PersonID, QuestionID, Answer) VALUES (3, 5, 1, 2), (9, 5, 2, 1)"
                   << "INSERT INTO Business (rowid, PersonID, SubProjectID, SPUser, SPWeight) VALUES (4, 5, 7, 1, 3)"
                   << QString("PRAGMA user_version = %1").arg(version);
        run(path, statements);
        return path;
    }

    QStringList messages;
    QString startModule(const QString& path)
    {
        TMainDataModule dm;
        TestDatabase::pointAt(dm.MainADOConnection, path);
        dm.MainADOConnection.open();
        dm.SetDatasetsActive(true);
        const QString notice = dm.startupNotice();
        dm.SetDatasetsActive(false);
        dm.MainADOConnection.close();
        return notice;
    }

private slots:
    void init()
    {
        messages.clear();
        MessageBox::setHandler([this](const MessageBox::Request& r) {
            messages << r.text;
            return MessageBox::Button::Ok;
        });
    }
    void cleanup() { MessageBox::setHandler({}); }

    void stepsRunOnFromTheBase()
    {
        // Two steps of one number would leave one of them undone on some files.
        int last = Schema::kBaseVersion;
        for (const Schema::Step& step : Schema::steps()) {
            QVERIFY2(step.version > last, qPrintable(step.name));
            QVERIFY2(!Schema::statements(step.sql).isEmpty(), qPrintable(step.name));
            last = step.version;
        }
        QCOMPARE(Schema::currentVersion(), last);
        TestDatabase fresh;
        QCOMPARE(versionOf(fresh.path()), Schema::currentVersion());
    }

    // Whatever an older file lacked, it ends as a new file is made, its rows keeping their identity.
    void anOlderFileEndsAsANewOne_data()
    {
        QTest::addColumn<bool>("withAdded");
        QTest::addColumn<int>("version");
        QTest::newRow("first files: no indexes, no change log") << false << 0;
        QTest::newRow("indexes and change log, no version") << true << 0;
        QTest::newRow("the base version") << true << 1;
    }
    void anOlderFileEndsAsANewOne()
    {
        QFETCH(bool, withAdded);
        QFETCH(int, version);
        const QString path = oldFile(QTest::currentDataTag(), withAdded, version);
        QCOMPARE(startModule(path), QString());
        QCOMPARE(messages, QStringList());
        QCOMPARE(versionOf(path), Schema::currentVersion());
        TestDatabase fresh;
        fresh.disconnect();
        QCOMPARE(schemaOf(path), schemaOf(fresh.path()));
        QCOMPARE(rows(path, "SELECT rowid, PersonID, QuestionID, Answer FROM QuestionsMain ORDER BY rowid"),
                 (QStringList{"3|5|1|2", "9|5|2|1"}));
        QCOMPARE(rows(path, "SELECT rowid, PersonID, SubProjectID, SPUser, SPWeight FROM Business"), QStringList{"4|5|7|1|3"});
        QCOMPARE(rows(path, "PRAGMA integrity_check"), QStringList{"ok"});
        // A second start finds nothing to do.
        const QStringList before = schemaOf(path);
        QCOMPARE(startModule(path), QString());
        QCOMPARE(schemaOf(path), before);
    }

    // A file that cannot be brought up is used as it is, with a word; nothing in it is lost.
    void aFileThatCannotTakeTheStepsIsUsedAsItIs_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("blocker"); // what another program put in a step's way
        QTest::addColumn<QString>("notice");
        QTest::newRow("made by a newer version") << Schema::currentVersion() + 3 << QString()
                                                 << "was last prepared by a newer version of Vantrel";
        QTest::newRow("a name a step needs is taken") << 1 << "PeopleFollowUpFUDate"
                                                      << "could not be prepared for this version of Vantrel";
    }
    void aFileThatCannotTakeTheStepsIsUsedAsItIs()
    {
        QFETCH(int, version);
        QFETCH(QString, blocker);
        QFETCH(QString, notice);
        const QString path = oldFile(QTest::currentDataTag(), true, version);
        if (!blocker.isEmpty())
            run(path, {"CREATE TABLE \"" + blocker + "\" (x)"});
        const QStringList before = schemaOf(path);
        {
            TMainDataModule dm;
            TestDatabase::pointAt(dm.MainADOConnection, path);
            dm.MainADOConnection.open();
            dm.SetDatasetsActive(true);
            QVERIFY2(dm.startupNotice().contains(notice), qPrintable(dm.startupNotice()));
            QVERIFY(dm.startupNotice().startsWith("Vantrel.vt "));
            // No lock is involved: the user is not sent to close other programs.
            QVERIFY(!dm.startupNotice().contains("Close the other programs"));
            QCOMPARE(dm.PeopleTable->recordCount(), 1); // the people are there to work with
        }
        QCOMPARE(schemaOf(path), before); // a step is done whole or not at all
        QCOMPARE(versionOf(path), version);
        if (!blocker.isEmpty()) { // the next start, with the way clear, does it
            run(path, {"DROP TABLE \"" + blocker + "\""});
            QCOMPARE(startModule(path), QString());
            QCOMPARE(versionOf(path), Schema::currentVersion());
        }
    }
};

QTEST_MAIN(TestSchema)
#include "tst_schema.moc"
