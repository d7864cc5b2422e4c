// A start on a file from an earlier version: a window says what is being done while the steps
// run, and the file ends as a new one is made, or, when a step cannot be done, is used as it is
// with a word.
#include "support/AppFixture.h"
#include "support/OlderSchema.h"

#include "app/UpgradeProgress.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "data/Schema.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {
// What every step and the base's later additions made is taken away again, as the first
// delivered files were.
void makeOlder(TestDatabase& db)
{
    for (const QString& statement : olderSchemaStatements())
        db.exec(statement);
}
QStringList schemaOf(TestDatabase& db)
{
    QStringList out;
    QSqlQuery q(QSqlDatabase::database(db.connectionName()));
    q.exec("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name");
    while (q.next())
        out << q.value(0).toString() + "|" + q.value(1).toString() + "|" + q.value(2).toString() + "|"
                   + q.value(3).toString();
    return out;
}
} // namespace

class TestUpgradeProgress : public QObject {
    Q_OBJECT

private slots:
    void anOlderFileIsBroughtUpWithAWindowThatSaysSo_data()
    {
        QTest::addColumn<QString>("blocker"); // a name another program took that a step needs
        QTest::newRow("from the first files") << QString();
        QTest::newRow("a step that cannot be done") << "PeopleFollowUpFUDate";
    }
    void anOlderFileIsBroughtUpWithAWindowThatSaysSo()
    {
        QFETCH(QString, blocker);
        AppFixture app;
        TestDatabase fresh;
        const QStringList newSchema = schemaOf(fresh);
        app.db.addPerson("Anna Berg");
        makeOlder(app.db);
        if (!blocker.isEmpty())
            app.db.exec("CREATE TABLE \"" + blocker + "\" (x)");
        int shown = 0;
        UpgradeProgress::setObserver([&](UpgradeProgress& w) {
            ++shown;
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QSignalSpy finished(&w, &QDialog::finished);
            QCOMPARE(w.UpgradeLabel->text(), QString("Preparing Vantrel.vt for this version..."));
            QVERIFY(w.isModal());
            // No button: nothing to choose, and nothing takes the focus from the window itself.
            QVERIFY(w.findChildren<QAbstractButton*>().isEmpty());
            QCOMPARE(w.UpgradeBar->focusPolicy(), Qt::NoFocus);
            QVERIFY(!QApplication::focusWidget() || QApplication::focusWidget() == &w);
            QCOMPARE(QApplication::activeWindow(), &w);
            // Enter, Space and Escape leave the steps running and the window on the screen.
            for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Escape}) {
                QTest::keyClick(&w, Qt::Key(key));
                QVERIFY(w.isVisible());
                QCOMPARE(finished.count(), 0);
            }
            w.close(); // the close box too
            QVERIFY(w.isVisible());
            QCOMPARE(finished.count(), 0);
        });
        QVERIFY(app.start());
        UpgradeProgress::setObserver({});
        QCOMPARE(shown, 1);
        QCOMPARE(app.people()->recordCount(), 1); // the people are there to work with
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<UpgradeProgress*>(w)); // gone once the steps are done
        QSqlQuery version(QSqlDatabase::database(app.db.connectionName()));
        version.exec("PRAGMA user_version");
        version.next();
        if (blocker.isEmpty()) {
            QCOMPARE(app.messageTexts(), QStringList());
            QCOMPARE(version.value(0).toInt(), Schema::currentVersion());
            QCOMPARE(schemaOf(app.db), newSchema);
            // The list follows other programs' writes: the change log is back.
            app.db.addPerson("Bob Dean");
            app.people()->refresh();
            QCOMPARE(app.people()->recordCount(), 2);
        } else {
            QCOMPARE(app.messageTexts().size(), 1);
            QVERIFY2(app.messageTexts()[0].startsWith("Vantrel.vt could not be prepared for this version of Vantrel"),
                     qPrintable(app.messageTexts()[0]));
            QCOMPARE(version.value(0).toInt(), Schema::kBaseVersion); // the step before it stays done
        }
    }

    // A file of this version starts without the window.
    void aFileOfThisVersionStartsWithoutIt()
    {
        AppFixture app;
        int shown = 0;
        UpgradeProgress::setObserver([&](UpgradeProgress&) { ++shown; });
        QVERIFY(app.start());
        UpgradeProgress::setObserver({});
        QCOMPARE(shown, 0);
        QCOMPARE(app.messageTexts(), QStringList());
    }
};

QTEST_MAIN(TestUpgradeProgress)
#include "tst_upgradeprogress.moc"
