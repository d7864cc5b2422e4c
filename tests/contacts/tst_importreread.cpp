// The list of people after an import: the people added are taken in where a whole re-read would
// put them, and a search finds them at once, whatever was on file or written meanwhile.
#include "support/AppFixture.h"

#include "app/TDataEntryForm.h"
#include "contacts/CsvImport.h"
#include "contacts/PeoplePage.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"

#include <QFile>
#include <QLineEdit>
#include <QTest>

class TestImportReread : public QObject {
    Q_OBJECT

    // Each row of the list: identity and name, as the list holds them.
    static QStringList listed(Dataset* people)
    {
        QStringList rows;
        const int id = people->columnIndex("PersonID"), name = people->columnIndex("Name");
        for (int i = 0; i < people->recordCount(); ++i)
            rows << people->valueAt(i, id).toString() + ":" + people->valueAt(i, name).toString();
        return rows;
    }
    // The same, as the file holds them.
    static QStringList onFile(TestDatabase& db)
    {
        QStringList rows;
        const int n = db.count("People", "CompanyID = 1");
        for (int i = 0; i < n; ++i)
            rows << db.scalar("SELECT PersonID || ':' || coalesce(Name, '') FROM People WHERE CompanyID = 1 "
                              "ORDER BY PersonID LIMIT 1 OFFSET ?",
                              {i})
                        .toString();
        return rows;
    }

private slots:
    void theListTakesInThePeopleAdded_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("an empty list") << "empty";
        QTest::newRow("a list with people") << "people";
        QTest::newRow("the last person deleted here") << "deleted";
        QTest::newRow("a person being edited") << "editing";
        QTest::newRow("another program added one") << "outside";
        QTest::newRow("another company's people") << "company";
    }
    void theListTakesInThePeopleAdded()
    {
        QFETCH(QString, before);
        AppFixture app;
        if (before != "empty")
            for (const char* n : {"Carl Old", "Anna Old", "Zed Old"})
                app.db.addPerson(n);
        if (before == "company") {
            app.db.exec("INSERT INTO Companies (CompanyID, Name) VALUES (2, 'Other')");
            app.db.addPerson("Bea Elsewhere", {{"CompanyID", 2}});
        }
        QVERIFY(app.start());
        Dataset* people = app.people();
        if (before == "deleted") {
            QVERIFY(people->locate({"Name"}, {"Zed Old"}));
            people->remove();
        } else if (before == "editing") {
            QVERIFY(people->locate({"Name"}, {"Anna Old"}));
            people->edit();
            people->setValue("Name", "Anna Changed");
        } else if (before == "outside") {
            app.db.addPerson("Olga Outside");
        }
        QFile f(app.db.dir() + "/people.csv");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(CsvImport::headerLine().toUtf8() + "\r\nMs.,Eva New\r\nMr.,\xc3\x89mile New\r\nMs.,Anna New\r\n");
        f.close();
        FileDialog::setHandler([&](const FileDialog::Request&) { return f.fileName(); });
        app.main()->SpeedButton14Click();
        FileDialog::setHandler({});
        QVERIFY(app.messageTexts().value(0).startsWith("3 record(s) added."));
        QCOMPARE(listed(people), onFile(app.db));
        QCOMPARE(people->value("Name").toString(), QString("Anna New")); // the last one added
        QCOMPARE(people->state(), DatasetState::Browse);
        if (before == "editing")
            QCOMPARE(app.db.count("People", "Name = 'Anna Changed'"), 1);
        // The search finds the people added, and those on file before, by their names in order.
        auto search = [&](const QString& typed) {
            QLineEdit* box = app.main()->People->Edit1;
            box->clear();
            box->setText(typed); // as typed: the search follows every change of the text
            return people->value("Name").toString();
        };
        QCOMPARE(search("\xc3\xa9"), QStringLiteral(u"\u00c9mile New"));
        QCOMPARE(search("eva"), QString("Eva New"));
        QCOMPARE(search("an"), before == "editing" ? QString("Anna Changed") : QString("Anna New"));
        if (before == "outside")
            QCOMPARE(search("olga"), QString("Olga Outside"));
        QCOMPARE(listed(people), onFile(app.db));
    }
};

QTEST_MAIN(TestImportReread)
#include "tst_importreread.moc"
