#include "support/AppFixture.h"

#include "data/MainDataModule.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {
// Another program on the same file, as the sqlite3 shell would be: opens the database, counts
// the people of one name, prints the number and ends, closing the file.
int otherProgram(const QString& path, const QString& name)
{
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare("SELECT COUNT(*) FROM People WHERE Name = ?");
            q.addBindValue(name);
            if (q.exec() && q.next())
                count = q.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("other");
    std::printf("%d\n", count);
    return count < 0 ? 1 : 0;
}

int peopleNamedSeenByAnotherProgram(const QString& path, const QString& name)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {"--other-program", path, name});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return -1;
    return p.readAllStandardOutput().trimmed().toInt();
}
} // namespace

class TestFileDialog : public QObject {
    Q_OBJECT

private slots:
    // Listing the database's folder must not touch the database: on POSIX systems closing any
    // handle to a file drops every lock the process holds on it, and another program that then
    // opens and closes the file deletes the write-ahead log that the program still writes to.
    void listingTheDatabaseFolderKeepsTheDatabaseSafe()
    {
        AppFixture app;
        QVERIFY(app.start());
        QFile csv(app.db.dir() + "/people.csv");
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.close();
        bool listed = false;
        app.modal = [&](QDialog* d) {
            auto* dialog = qobject_cast<QFileDialog*>(d);
            auto* model = dialog ? dialog->findChild<QFileSystemModel*>() : nullptr;
            if (!model)
                return int(QDialog::Rejected);
            QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
            dialog->show();
            dialog->setDirectory(app.db.dir()); // the user goes to the program's folder
            listed = loaded.wait(20000);
            QCoreApplication::processEvents(); // the file types and icons of the listing
            listed = listed && model->rowCount(model->index(app.db.dir())) == 1;
            dialog->reject();
            return dialog->result();
        };
        app.main()->SpeedButton14Click();
        QVERIFY(listed);
        QVERIFY(app.messages.isEmpty());

        QCOMPARE(peopleNamedSeenByAnotherProgram(app.db.path(), "Saved After Listing"), 0);
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Name"), "Saved After Listing");
        app.main()->findChild<QAction*>("Save1")->trigger();
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(peopleNamedSeenByAnotherProgram(app.db.path(), "Saved After Listing"), 1);
    }

    // The same with the database chosen as the file to import: refused unread.
    void choosingTheDatabaseToImportKeepsItSafe()
    {
        AppFixture app;
        QVERIFY(app.start());
        app.modal = [&](QDialog* d) {
            d->show();
            d->activateWindow();
            for (int i = 0; i < 100 && QApplication::activeWindow() != d; ++i)
                QCoreApplication::processEvents();
            if (QWidget* focus = QApplication::focusWidget(); qobject_cast<QLineEdit*>(focus)) {
                QTest::keyClicks(focus, app.db.path());
                QTest::keyClick(focus, Qt::Key_Return);
            }
            if (d->isVisible())
                d->reject();
            return d->result();
        };
        app.main()->SpeedButton14Click();
        QCOMPARE(app.messageTexts(), QStringList{"The file " + QDir::toNativeSeparators(app.db.path())
                                                 + " is the program's own database, not a CSV file. Nothing was imported."});
        app.messages.clear();

        QCOMPARE(peopleNamedSeenByAnotherProgram(app.db.path(), "Saved After Refusal"), 0);
        app.main()->SpeedButton4Click();
        QTest::keyClicks(app.find<QLineEdit>("Name"), "Saved After Refusal");
        app.main()->findChild<QAction*>("Save1")->trigger();
        QVERIFY(app.messages.isEmpty());
        QCOMPARE(peopleNamedSeenByAnotherProgram(app.db.path(), "Saved After Refusal"), 1);
    }

    // The next dialog opens in the folder of the file last chosen, never in the program's own.
    void theNextDialogOpensWhereTheLastFileWasChosen()
    {
        AppFixture app;
        app.db.addPerson("Anna");
        QVERIFY(app.start());
        QTemporaryDir files;
        QFile csv(files.path() + "/people.csv");
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("Title,Name\r\n");
        csv.close();
        QStringList opened;
        app.modal = [&](QDialog* d) {
            auto* dialog = qobject_cast<QFileDialog*>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            opened << QDir(dialog->directory()).absolutePath();
            if (opened.size() > 1) {
                dialog->reject();
                return dialog->result();
            }
            dialog->show();
            // The user types the file's whole path and opens it.
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (!name)
                return int(QDialog::Rejected);
            name->setText(csv.fileName());
            static_cast<QDialog*>(dialog)->accept(); // as the Open button does
            return dialog->result();
        };
        app.main()->SpeedButton14Click(); // import: the file is chosen
        app.main()->findChild<QAction*>("CSVfile2")->trigger(); // export
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[0] != QDir(app.db.dir()).absolutePath());
        QCOMPARE(opened[1], QDir(files.path()).absolutePath());
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--other-program") == 0) {
        QCoreApplication app(argc, argv);
        return otherProgram(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QApplication app(argc, argv);
    TestFileDialog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filedialog.moc"
