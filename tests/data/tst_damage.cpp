#include "support/AppFixture.h"

#include "app/Program.h"
#include "contacts/PeoplePage.h"
#include "data/Dataset.h"
#include "data/FileCheck.h"
#include "data/MainDataModule.h"
#include "data/DataError.h"

#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

// A file with a damaged page: the program starts, says once that the file is damaged (found by
// the check of the whole file beside the window, or by the first read of a person it cannot
// give), and never shows such a person as an empty record that could be typed into and saved.
class TestDamage : public QObject {
    Q_OBJECT

    // Zeroes one page of People's rows in the middle of the table, as a failing disk does.
    static void zeroAPageOfPeople(TestDatabase& db)
    {
        const int page = db.scalar("SELECT pageno FROM dbstat WHERE name = 'People' AND pagetype = 'leaf' "
                                   "ORDER BY pageno LIMIT 1 OFFSET 5").toInt();
        const int size = db.scalar("PRAGMA page_size").toInt();
        db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
        db.disconnect();
        QFile f(db.path());
        QVERIFY(page > 0 && f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(qint64(page - 1) * size));
        QCOMPARE(f.write(QByteArray(size, '\0')), qint64(size));
    }

private slots:
    void cleanup() { FileCheck::setEnabled(true); }

    void aDamagedPageIsSaidAndItsPeopleAreNeverEmptyRecords_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::newRow("found by the check of the whole file") << true;
        QTest::newRow("found by reading the person") << false;
    }

    void aDamagedPageIsSaidAndItsPeopleAreNeverEmptyRecords()
    {
        QFETCH(bool, checked);
        FileCheck::setEnabled(checked);
        AppFixture app;
        for (int i = 0; i < 2000; ++i)
            app.db.addPerson(QString("Person %1").arg(i), {{"Mobile", QString::number(5550000 + i)}});
        zeroAPageOfPeople(app.db);
        QVERIFY(app.start());
        if (checked) {
            QVERIFY(app.program->fileCheck());
            // A check that has ended may not have reported yet: its result comes through the
            // event loop, so it is waited for until it has been said.
            if (app.messages.isEmpty()) {
                QSignalSpy done(app.program->fileCheck(), &FileCheck::finished);
                QVERIFY(done.wait(10000));
            }
            QCOMPARE(app.messages.size(), 1);
            QVERIFY2(app.messages[0].text.startsWith("Vantrel.vt is damaged. A check of the whole file found:\n"),
                     qPrintable(app.messages[0].text));
        }
        // Walk to the first person the file cannot give.
        Dataset* people = app.people();
        int bad = -1;
        for (int r = 0; r < people->recordCount() && bad < 0; ++r)
            if (people->isUnreadable(r))
                bad = r;
        QVERIFY(bad > 0);
        people->setRecNo(bad);
        QCoreApplication::processEvents();
        QCOMPARE(app.messages.size(), 1); // once, whoever found it
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Warning);
        QVERIFY(app.messages[0].text.endsWith("Close Vantrel and put back your latest backup copy of Vantrel.vt (a copy "
                                              "of the file made before the damage); until then, enter nothing you "
                                              "could not type again."));
        if (!checked)
            QVERIFY2(app.messages[0].text.startsWith("Vantrel.vt is damaged. The person with the number "),
                     qPrintable(app.messages[0].text));
        auto* name = app.find<QLineEdit>("Name");
        QVERIFY(!name->isEnabled());
        QVERIFY(!app.find<QLineEdit>("Mobile")->isEnabled());
        QCOMPARE(name->placeholderText(), QString("Cannot be read: the file is damaged"));
        bool refused = false;
        try {
            people->edit();
        } catch (const DataError& e) {
            refused = e.text().startsWith("This record cannot be read: Vantrel.vt is damaged.");
        }
        QVERIFY(refused);
        // Leaving it asks for nothing, and the next readable person is a record as ever.
        people->setRecNo(0);
        QCOMPARE(app.messages.size(), 1);
        QVERIFY(name->isEnabled());
        QCOMPARE(name->text(), QString("Person 0"));
        QVERIFY(name->placeholderText().isEmpty());
    }
};

QTEST_MAIN(TestDamage)
#include "tst_damage.moc"
