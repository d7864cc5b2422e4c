#include "support/AppFixture.h"

#include "app/AppWindows.h"
#include "app/Program.h"
#include "contacts/CsvImport.h"
#include "contacts/TDeletedForm.h"
#include "data/Connection.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "data/PeopleBatch.h"
#include "data/Schema.h"
#include "data/Trash.h"
#include "widgets/ResultGrid.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTimeZone>
#include <QPushButton>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

using Button = MessageBox::Button;

namespace {
// A person's row and everything that belongs to her, as text: what must come back as it was.
QString personText(TestDatabase& db, int id)
{
    QStringList columns;
    for (const char* table : {"People", "PeopleFollowUp", "QuestionsMain"})
        columns << db.rows(QString("SELECT * FROM \"%1\" WHERE \"PersonID\" = ? ORDER BY %2").arg(table, db.rowKey(table)),
                           {id})
                       .join(';');
    return columns.join('\n');
}

// Three people of the company; Bea has two follow-up activities, answers and a buying role.
struct TrashApp : AppFixture {
    int ann = 0, bea = 0, cid = 0;
    QString answer; // the file the open dialog answers with

    TrashApp()
    {
        ann = db.addPerson("Ann", {{"Company", "Acme"}, {"Mobile", "0612"}});
        bea = db.addPerson("Bea", {{"Company", "Bolt"}, {"Birthday", "1980-02-03"}, {"Breminder", 1}});
        cid = db.addPerson("Cid", {{"Company", "Core"}});
        db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDate, ContactMethod, ExpextedOrderValue) VALUES "
                "(?, '2026-01-05', 'Visit', 1200), (?, '2026-02-06', 'Email', NULL)",
                {bea, bea});
        for (int q = 1; q <= 24; ++q)
            db.exec("INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (?, ?, ?)", {bea, q, q % 3 - 1});
        db.exec("INSERT INTO Business (PersonID, SubProjectID, SPWeight) VALUES (?, 1, 50)", {bea});
        FileDialog::setHandler([this](const FileDialog::Request&) { return answer; });
    }
    ~TrashApp()
    {
        FileDialog::setHandler({});
        Trash::setClock({});
    }
    TDeletedForm* deleted() const { return appWindows().DeletedForm; }
    // The window as the user opens it, and the entries it lists.
    TDeletedForm* openDeleted()
    {
        modal = [](QDialog* d) {
            d->show();
            return int(QDialog::Accepted);
        };
        main()->findChild<QAction*>("DeletedPeople1")->trigger();
        return deleted();
    }
    int entryOf(const QString& name) const
    {
        for (int i = 0; i < deleted()->entries().size(); ++i)
            if (deleted()->entries()[i].name.endsWith(name))
                return i;
        return -1;
    }
    QString writeCsv(const QList<QByteArray>& lines, const QString& name = "people.csv")
    {
        QFile f(db.dir() + "/" + name);
        f.open(QIODevice::WriteOnly);
        f.write(CsvImport::headerLine().toLatin1() + "\r\n" + lines.join("\r\n") + "\r\n");
        return f.fileName();
    }
};
} // namespace

class TestTrash : public QObject {
    Q_OBJECT
private slots:
    void deletedPeopleComeBackAsTheyWere_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("gone");
        QTest::newRow("delete record") << "Delete1" << QStringList{"Bea"};
        QTest::newRow("delete all") << "DeleteAll1" << QStringList{"Ann", "Bea", "Cid"};
    }
    void deletedPeopleComeBackAsTheyWere()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, gone);
        TrashApp app;
        const QString beaBefore = personText(app.db, app.bea);
        QVERIFY(app.start());
        QVERIFY(app.people()->locate({"Name"}, {"Bea"}));
        app.answers = {command == "Delete1" ? Button::Yes : Button::YesToAll};
        app.main()->findChild<QAction*>(command)->trigger();
        // Out of the list and out of People, with what belongs to them; the buying role stays.
        QCOMPARE(app.people()->recordCount(), 3 - int(gone.size()));
        QCOMPARE(app.db.count("People"), 3 - int(gone.size()));
        QCOMPARE(app.db.count("PeopleFollowUp") + app.db.count("QuestionsMain"), 0);
        QCOMPARE(app.db.count("Business"), 1);
        QCOMPARE(app.db.count("TrashPeople"), int(gone.size()));
        QCOMPARE(app.db.count("TrashFollowUp"), 2);
        QCOMPARE(app.db.count("TrashAnswers"), 24);

        // Listed newest first, by name, company and the user who deleted them.
        TDeletedForm* form = app.openDeleted();
        QCOMPARE(form->entries().size(), gone.size());
        QStringList names;
        for (int row = 0; row < form->entries().size(); ++row) {
            names << form->DeletedGrid->cellText(row, 1);
            QCOMPARE(form->DeletedGrid->cellText(row, 4), app.data()->MainADOConnection.userName());
        }
        std::sort(names.begin(), names.end());
        QCOMPARE(names, gone);
        QVERIFY(!form->RestoreButton->isEnabled());

        const qint64 seqBefore = app.db.scalar("SELECT max(Seq) FROM PeopleChanges").toLongLong();
        form->selectEntries({app.entryOf("Bea")});
        QVERIFY(form->RestoreButton->isEnabled() && form->PurgeButton->isEnabled());
        QVERIFY(!form->UndoImportButton->isEnabled());
        form->RestoreButtonClick();
        QCOMPARE(form->StatusLabel->text(), QString("1 record(s) restored."));
        // The same PersonID, row, activities and answers; other copies of the program hear of her.
        QCOMPARE(personText(app.db, app.bea), beaBefore);
        QCOMPARE(app.db.count("PeopleChanges", QString("Seq > %1 AND PersonID = %2").arg(seqBefore).arg(app.bea)), 1);
        QCOMPARE(app.people()->value("PersonID").toInt(), app.bea);
        QCOMPARE(app.people()->recordCount(), 4 - int(gone.size()));
        QCOMPARE(form->entries().size(), gone.size() - 1);
        QCOMPARE(app.db.count("TrashFollowUp") + app.db.count("TrashAnswers"), 0);

        // The rest go for ever after a question whose answer No keeps them.
        if (gone.size() > 1) {
            form->selectEntries({0, 1});
            app.answers = {Button::No};
            form->PurgeButtonClick();
            QCOMPARE(app.db.count("TrashPeople"), 2);
            app.answers = {Button::Yes};
            form->PurgeButtonClick();
            QCOMPARE(app.messages.last().defaultButton, Button::No);
            QCOMPARE(app.db.count("TrashPeople"), 0);
            QCOMPARE(form->StatusLabel->text(), QString("2 record(s) deleted for ever."));
        }
    }

    // The window as it stands on the screen: its buttons in reading order, Close the default, the
    // focus in the list, and what the keys do there.
    void deletedWindowOnTheScreen_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("open");    // still open afterwards
        QTest::addColumn<int>("restored"); // people back in the list
        QTest::addColumn<QStringList>("focusWalk"); // where each Tab of the keys went
        QTest::newRow("enter") << "enter" << false << 0 << QStringList{};
        QTest::newRow("escape") << "escape" << false << 0 << QStringList{};
        QTest::newRow("tab without a line chosen") << "tab" << true << 0 << QStringList{"CloseButton"};
        QTest::newRow("space chooses, tab, space restores")
            << "space tab space" << true << 1 << QStringList{"RestoreButton"};
        QTest::newRow("tab round to the list") << "space tab tab tab" << true << 0
                                               << QStringList{"RestoreButton", "PurgeButton", "CloseButton"};
    }
    void deletedWindowOnTheScreen()
    {
        QFETCH(QString, keys);
        QFETCH(bool, open);
        QFETCH(int, restored);
        QFETCH(QStringList, focusWalk);
        TrashApp app;
        QVERIFY(app.start());
        app.answers = {Button::YesToAll};
        app.main()->SpeedButton1Click();
        TDeletedForm* form = app.openDeleted();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QList<QPushButton*> buttons = form->findChildren<QPushButton*>();
        std::sort(buttons.begin(), buttons.end(), [form](QPushButton* a, QPushButton* b) {
            return a->mapTo(form, QPoint()).x() < b->mapTo(form, QPoint()).x();
        });
        QStringList order, defaults;
        for (QPushButton* b : buttons) {
            order << b->objectName();
            if (b->isDefault())
                defaults << b->objectName();
            QVERIFY(form->rect().contains(QRect(b->mapTo(form, QPoint()), b->size())));
        }
        QCOMPARE(order, (QStringList{"RestoreButton", "PurgeButton", "UndoImportButton", "CloseButton"}));
        QCOMPARE(defaults, QStringList{"CloseButton"});
        QCOMPARE(QApplication::focusWidget(), form->DeletedGrid);
        QStringList walked;
        for (const QString& k : keys.split(' ')) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus);
            QTest::keyClick(focus, k == "enter" ? Qt::Key_Return : k == "escape" ? Qt::Key_Escape
                                   : k == "tab"  ? Qt::Key_Tab
                                                 : Qt::Key_Space);
            if (k == "tab")
                walked << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(form->isVisible(), open);
        QCOMPARE(app.people()->recordCount(), restored);
        QCOMPARE(walked, focusWalk);
        form->hide();
    }

    // Another program holds the file: each command says so, and the trash and the list stay.
    void aLockedFileLosesNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("delete") << "delete";
        QTest::newRow("restore") << "restore";
        QTest::newRow("delete for ever") << "purge";
        QTest::newRow("undo import") << "undo";
    }
    void aLockedFileLosesNothing()
    {
        QFETCH(QString, command);
        Connection::setDefaultBusyTimeout(100);
        TrashApp app;
        QVERIFY(app.start());
        QVERIFY(app.people()->locate({"Name"}, {"Cid"}));
        app.answers = {Button::Yes};
        app.main()->SpeedButton3Click();
        app.answer = app.writeCsv({",Dan,Delta"});
        app.main()->CSVfile1Click();
        TDeletedForm* form = app.openDeleted();
        const QString before = personText(app.db, app.bea) + personText(app.db, app.cid);
        const int people = app.people()->recordCount();
        app.messages.clear();
        app.db.exec("BEGIN IMMEDIATE");
        if (command == "delete") {
            QVERIFY(app.people()->locate({"Name"}, {"Bea"}));
            app.answers = {Button::Yes};
            app.main()->SpeedButton3Click();
        } else {
            form->selectEntries({app.entryOf(command == "undo" ? "people.csv" : "Cid")});
            app.answers = {Button::Yes};
            if (command == "restore")
                form->RestoreButtonClick();
            else if (command == "purge")
                form->PurgeButtonClick();
            else
                form->UndoImportButtonClick();
        }
        QVERIFY2(app.messages.last().icon == MessageBox::Icon::Error, qPrintable(app.messages.last().text));
        QVERIFY2(app.messages.last().text.contains(app.db.locked()), qPrintable(app.messages.last().text));
        app.db.exec("ROLLBACK");
        QCOMPARE(personText(app.db, app.bea) + personText(app.db, app.cid), before);
        QCOMPARE(app.db.count("TrashPeople"), 1);
        QCOMPARE(app.db.count("People"), 3);
        QCOMPARE(app.people()->recordCount(), people);
        Connection::setDefaultBusyTimeout(5000);
    }

    // A second copy of the program on the file sees the people go and come back, few or many.
    void anotherCopyFollows_data()
    {
        QTest::addColumn<int>("more");
        QTest::newRow("three") << 0;
        QTest::newRow("six hundred") << 597;
    }
    void anotherCopyFollows()
    {
        QFETCH(int, more);
        TrashApp app;
        app.db.exec("BEGIN");
        for (int i = 0; i < more; ++i)
            app.db.addPerson(QString("More %1").arg(i));
        app.db.exec("COMMIT");
        QVERIFY(app.start());
        TMainDataModule other;
        TestDatabase::pointAt(other.MainADOConnection, app.db.path());
        other.MainADOConnection.open();
        other.SetDatasetsActive(true);
        QCOMPARE(other.PeopleCompanyDet->recordCount(), 3 + more);
        app.answers = {Button::YesToAll};
        app.main()->SpeedButton1Click();
        QCOMPARE(app.db.count("TrashPeople"), 3 + more);
        other.PeopleCompanyDet->refresh();
        QCOMPARE(other.PeopleCompanyDet->recordCount(), 0);
        QList<qint64> all;
        for (const Trash::Entry& e : Trash::entries(app.data()->MainADOConnection))
            all << e.id;
        Trash::restore(app.data()->MainADOConnection, all);
        other.PeopleCompanyDet->refresh();
        QCOMPARE(other.PeopleCompanyDet->recordCount(), 3 + more);
        QVERIFY(other.PeopleCompanyDet->locate({"Name"}, {"Bea"}));
        QCOMPARE(other.PeopleCompanyDet->value("Birthday").toDate(), QDate(1980, 2, 3));
        // The triggers are back: a later single change is logged as ever.
        QCOMPARE(app.db.schemaObjects().filter(QRegularExpression("^People.*Log$")).size(), 3);
    }

    // Another program took her number meanwhile: she comes back under a new one, with her own.
    void restoreUnderNewNumberWhenTaken()
    {
        TrashApp app;
        QVERIFY(app.start());
        QVERIFY(app.people()->locate({"Name"}, {"Bea"}));
        app.answers = {Button::Yes};
        app.main()->SpeedButton3Click();
        app.db.exec("INSERT INTO People (PersonID, CompanyID, Name) VALUES (?, 1, 'Someone else')", {app.bea});
        TDeletedForm* form = app.openDeleted();
        form->selectEntries({0});
        form->RestoreButtonClick();
        QVERIFY(form->StatusLabel->text().contains("1 of them got a new number"));
        const int renumbered = app.db.scalar("SELECT PersonID FROM People WHERE Name = 'Bea'").toInt();
        QVERIFY(renumbered > app.bea);
        QCOMPARE(app.db.count("PeopleFollowUp", QString("PersonID = %1").arg(renumbered)), 2);
        QCOMPARE(app.db.count("QuestionsMain", QString("PersonID = %1").arg(renumbered)), 24);
        QCOMPARE(app.db.scalar("SELECT Name FROM People WHERE PersonID = ?", {app.bea}).toString(),
                 QString("Someone else"));
    }

    void keptNinetyDays_data()
    {
        QTest::addColumn<int>("daysLater");
        QTest::addColumn<int>("kept");
        QTest::newRow("the next day") << 1 << 1;
        QTest::newRow("89 days") << 89 << 1;
        QTest::newRow("91 days") << 91 << 0;
        QTest::newRow("a year") << 365 << 0;
    }
    void keptNinetyDays()
    {
        QFETCH(int, daysLater);
        QFETCH(int, kept);
        TrashApp app;
        const QDateTime deleted(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC);
        Trash::setClock([&] { return deleted; });
        QVERIFY(app.start());
        QVERIFY(app.people()->locate({"Name"}, {"Bea"}));
        app.answers = {Button::Yes};
        app.main()->SpeedButton3Click();
        QCOMPARE(app.db.count("TrashPeople"), 1);
        // The next start, on a later day, drops what has been there longer than 90 days.
        app.program.reset();
        Trash::setClock([&] { return deleted.addDays(daysLater); });
        QVERIFY(app.start());
        QCOMPARE(app.db.count("TrashPeople"), kept);
        QCOMPARE(app.db.count("TrashFollowUp"), 2 * kept);
        QCOMPARE(app.db.count("TrashAnswers"), 24 * kept);
        QCOMPARE(app.db.count("People"), 2);
    }

    void undoOfAnImport_data()
    {
        QTest::addColumn<QString>("meanwhile"); // what happens to the imported people before the undo
        QTest::addColumn<QStringList>("named");  // empty: taken back
        QTest::addColumn<int>("taken");
        QTest::newRow("nothing") << "" << QStringList{} << 3;
        QTest::newRow("questionnaire opened, nothing answered")
            << "INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) SELECT PersonID, 1, -1 FROM People "
               "WHERE Name = 'Dan'"
            << QStringList{} << 3;
        QTest::newRow("one deleted") << "DELETE FROM People WHERE Name = 'Eve'" << QStringList{} << 2;
        QTest::newRow("one edited") << "UPDATE People SET Mobile = '0699' WHERE Name = 'Fay'" << QStringList{"Fay"} << 0;
        QTest::newRow("a value emptied") << "UPDATE People SET JobTitle = NULL WHERE Name = 'Dan'"
                                         << QStringList{"Dan"} << 0;
        QTest::newRow("two with activities")
            << "INSERT INTO PeopleFollowUp (PersonID, FUDescription) SELECT PersonID, 'Call' FROM People "
               "WHERE Name IN ('Dan', 'Eve')"
            << QStringList{"Dan", "Eve"} << 0;
        QTest::newRow("an answer given")
            << "INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) SELECT PersonID, 3, 1 FROM People "
               "WHERE Name = 'Eve'"
            << QStringList{"Eve"} << 0;
    }
    void undoOfAnImport()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QStringList, named);
        QFETCH(int, taken);
        TrashApp app;
        QVERIFY(app.start());
        app.answer = app.writeCsv({",Dan,Delta,,Engineer", ",Eve,Echo", ",Fay,Foxtrot,,,,,,,,,,,,,,,fay@example.com"},
                                  "wrong.csv");
        // First the closing message is answered OK: the import stays, and is listed.
        app.main()->CSVfile1Click();
        const MessageBox::Request closing = app.messages.last();
        QCOMPARE(closing.text, QString("3 record(s) added."));
        QCOMPARE(closing.buttons, (QList<Button>{Button::Ok, Button::UndoImport}));
        QCOMPARE(closing.defaultButton, Button::Ok);
        QCOMPARE(closing.escapeButton, Button::Ok);
        QCOMPARE(app.db.count("People"), 6);
        if (!meanwhile.isEmpty())
            app.db.exec(meanwhile);
        TDeletedForm* form = app.openDeleted();
        const int entry = app.entryOf("wrong.csv");
        QVERIFY(entry >= 0);
        QCOMPARE(form->DeletedGrid->cellText(entry, 1), QString("Import of wrong.csv"));
        QCOMPARE(form->DeletedGrid->cellText(entry, 2), QString("3 record(s) added"));
        form->selectEntries({entry});
        QVERIFY(form->UndoImportButton->isEnabled() && !form->RestoreButton->isEnabled());
        form->UndoImportButtonClick();
        if (!named.isEmpty()) {
            QVERIFY2(app.messages.last().text.endsWith(named.join(", ") + ". Nothing was changed."),
                     qPrintable(app.messages.last().text));
            QCOMPARE(app.db.count("People"), 6 - (meanwhile.startsWith("DELETE") ? 1 : 0));
            QCOMPARE(app.db.count("TrashPeople"), 0);
            return;
        }
        QCOMPARE(app.messages.last().text,
                 QString("%1 record(s) taken back. \"Deleted people...\" under \"Record\" can bring them back.").arg(taken));
        QCOMPARE(app.db.count("People"), 3);
        QCOMPARE(app.people()->recordCount(), 3);
        QCOMPARE(app.db.count("QuestionsMain", "PersonID NOT IN (SELECT PersonID FROM People)"), 0);
        // One line for the import taken back; Restore brings its people back, and it can be undone again.
        const int undone = app.entryOf("wrong.csv");
        QCOMPARE(form->DeletedGrid->cellText(undone, 2), QString("%1 record(s) taken back").arg(taken));
        form->selectEntries({undone});
        QVERIFY(form->RestoreButton->isEnabled() && !form->UndoImportButton->isEnabled());
        form->RestoreButtonClick();
        QCOMPARE(app.db.count("People"), 3 + taken);
        QCOMPARE(app.db.count("TrashPeople"), 0);
        form->selectEntries({app.entryOf("wrong.csv")});
        form->UndoImportButtonClick();
        QCOMPARE(app.db.count("People"), 3);
    }

    // Both imports offer the undo in their closing message; answering it takes the people back.
    void closingMessageOffersTheUndo_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("csv") << "people.csv" << QByteArray(",Gus,Golf\r\n,Hal,Hotel\r\n");
        QTest::newRow("vcard") << "people.vcf"
                               << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Gus\r\nEND:VCARD\r\n"
                                             "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Hal\r\nEND:VCARD\r\n");
    }
    void closingMessageOffersTheUndo()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        TrashApp app;
        QVERIFY(app.start());
        QFile f(app.db.dir() + "/" + file);
        f.open(QIODevice::WriteOnly);
        f.write(file.endsWith(".csv") ? CsvImport::headerLine().toLatin1() + "\r\n" + content : content);
        f.close();
        app.answer = f.fileName();
        app.answers = {Button::UndoImport};
        if (file.endsWith(".csv"))
            app.main()->CSVfile1Click();
        else
            app.main()->VCardfile1Click();
        QCOMPARE(app.messages.first().text, QString("2 record(s) added."));
        QVERIFY(app.messages.last().text.startsWith("2 record(s) taken back."));
        QCOMPARE(app.db.count("People"), 3);
        QCOMPARE(app.db.count("TrashPeople", "UndoneImportID IS NOT NULL"), 2);
    }

    // The file is as before or after, never between: a program killed at any moment of a delete of
    // everyone, an import's undo or a restore leaves every person either on file or in the trash,
    // whole.
    void killedAtAnyMoment_data()
    {
        QTest::addColumn<QString>("work");
        for (int i = 0; i < 3; ++i) {
            QTest::newRow(qPrintable(QString("delete all, %1").arg(i))) << "delete";
            QTest::newRow(qPrintable(QString("import undo, %1").arg(i))) << "import";
        }
    }
    void killedAtAnyMoment()
    {
        QFETCH(QString, work);
        TestDatabase db;
        const int people = 1500;
        if (work == "delete") {
            db.exec("BEGIN");
            for (int i = 0; i < people; ++i) {
                const int id = db.addPerson(QString("P%1").arg(i), {{"Company", "Kilo"}});
                db.exec("INSERT INTO PeopleFollowUp (PersonID, FUDescription) VALUES (?, 'x')", {id});
                db.exec("INSERT INTO QuestionsMain (PersonID, QuestionID, Answer) VALUES (?, 1, 1)", {id});
            }
            db.exec("COMMIT");
        } else {
            // Added by an import, as the imports add people, each with an answer.
            TMainDataModule data;
            TestDatabase::pointAt(data.MainADOConnection, db.path());
            data.MainADOConnection.open();
            data.SetDatasetsActive(true);
            PeopleBatch batch(data, {"Name", "Company"});
            batch.recordImport("k.csv");
            batch.begin();
            for (int i = 0; i < people; ++i) {
                const QString name = QString("P%1").arg(i);
                const qint64 id = batch.add({name, QStringView(u"Kilo")});
                batch.addAnswers(id, {1});
            }
            batch.finish();
            QCOMPARE(batch.importId(), 1);
        }
        db.disconnect();
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VANTREL_TRASH_CHILD", db.path() + "|" + work);
        child.setProcessEnvironment(env);
        child.start();
        // Killed after a few rounds, somewhere in the middle of the next.
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += child.readAllStandardOutput()).count('\n') >= 3, 60000);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        auto count = [&](const QString& sql) { return db.scalar(sql).toInt(); };
        const int onFile = count("SELECT count(*) FROM People"), inTrash = count("SELECT count(*) FROM TrashPeople");
        QCOMPARE(onFile + inTrash, people);
        QCOMPARE(count("SELECT count(*) FROM QuestionsMain") + count("SELECT count(*) FROM TrashAnswers"), people);
        QCOMPARE(count("SELECT count(*) FROM QuestionsMain"), onFile);
        if (work == "delete")
            QCOMPARE(count("SELECT count(*) FROM PeopleFollowUp") + count("SELECT count(*) FROM TrashFollowUp"), people);
        else // the import is undone as a whole, or not at all
            QVERIFY(onFile == people || onFile == 0);
        QCOMPARE(count("SELECT count(*) FROM People p WHERE EXISTS (SELECT 1 FROM TrashPeople t WHERE t.PersonID = "
                       "p.PersonID)"),
                 0);
    }
};

namespace {
// The child of killedAtAnyMoment: works on the file round after round until it is killed.
int childWork(const QString& task) // "path|delete" or "path|undo"
{
    const QStringList fields = task.split('|');
    Connection c("child");
    TestDatabase::pointAt(c, fields[0]);
    c.open();
    for (int round = 0;; ++round) {
        if (fields[1] == "delete") {
            Trash::moveCompany(c, 1);
            QList<qint64> all;
            for (const Trash::Entry& e : Trash::entries(c))
                all << e.id;
            Trash::restore(c, all);
        } else {
            if (!Trash::undoImport(c, 1).changed.isEmpty())
                return 1;
            Trash::restoreImport(c, 1);
        }
        printf("round %d\n", round);
        fflush(stdout);
    }
}
} // namespace

int main(int argc, char** argv)
{
    const QString child = qEnvironmentVariable("VANTREL_TRASH_CHILD");
    if (!child.isEmpty()) {
        QCoreApplication app(argc, argv);
        return childWork(child);
    }
    QApplication app(argc, argv);
    TestTrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_trash.moc"
