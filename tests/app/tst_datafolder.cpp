#include "support/AppFixture.h"

#include "app/Program.h"
#include "data/Connection.h"
#include "data/MainDataModule.h"
#include "data/Schema.h"
#include "help/HelpWebBrowser.h"
#include "help/TAboutForm.h"
#include "help/THelpForm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace {
QString native(const QString& path) { return QDir::toNativeSeparators(path); }

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void makeDatabase(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString error;
    if (!Schema::createDatabase(path, &error))
        qFatal("cannot make %s: %s", qPrintable(path), qPrintable(error));
}

int people(const QString& database)
{
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "count");
        db.setDatabaseName(database);
        if (db.open()) {
            QSqlQuery q("SELECT COUNT(*) FROM People", db);
            if (q.next())
                count = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase("count");
    return count;
}

// A program folder in a temporary place, laid out as an installed tree (<prefix>/bin beside
// <prefix>/share/vantrel) or as a folder of its own, with a home folder for the user's data.
// Whether the program's folder may be written is the test's to say: the administrator, who runs
// the tests in CI, may write every folder.
struct Place {
    QTemporaryDir root;
    bool binWritable = true;
    QString bin() const { return root.path() + "/usr/bin/"; }
    QString share() const { return root.path() + "/usr/share/vantrel/"; }
    QString dataHome() const { return root.path() + "/home/anna/.local/share"; }
    QString userData() const { return dataHome() + "/Vantrel/"; }

    Place()
    {
        QDir().mkpath(bin());
        AppPaths::setExecutableDir(bin());
        AppPaths::setWritableCheck([this](const QString& dir) {
            return QDir::cleanPath(dir) != QDir::cleanPath(bin()) || binWritable;
        });
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    }
    ~Place()
    {
        AppPaths::setWritableCheck({});
        AppPaths::setExecutableDir({});
        qunsetenv("XDG_DATA_HOME");
    }
    void install()
    {
        makeDatabase(share() + "Vantrel.vt");
        writeFile(share() + "help/Help.htm", "<html><head><title>Installed help</title></head><body></body></html>");
    }
};

const QString kFirstStart = "Vantrel keeps your data in your own folder:\n\n%1\n\nAt this first start an empty "
                            "database, Vantrel.vt, was made there. Help, \"About...\" names this folder again.";
} // namespace

class TestDataFolder : public QObject {
    Q_OBJECT
private slots:
    // Beside a program whose folder its user may write, as now; an installed program keeps the
    // data in the user's folder and reads the installed help pages.
    void whereTheDataAndTheHelpLive_data()
    {
        QTest::addColumn<bool>("writable"); // the program's folder, for this user
        QTest::addColumn<bool>("installed"); // the empty database and help under <prefix>/share/vantrel
        QTest::addColumn<bool>("databaseBeside");
        QTest::addColumn<bool>("helpBeside");
        QTest::addColumn<bool>("dataBeside");    // expected: the data beside the program
        QTest::addColumn<bool>("installedHelp"); // expected: the installed help pages
        QTest::newRow("a build folder") << true << false << true << true << true << false;
        QTest::newRow("a copy on a stick, its file gone") << true << false << false << true << true << false;
        QTest::newRow("a copy without its help") << true << false << true << false << true << false;
        QTest::newRow("installed where nobody may write") << false << true << false << false << false << true;
        QTest::newRow("installed where this user may write") << true << true << false << false << false << true;
        QTest::newRow("installed, a database put beside it") << true << true << true << false << true << true;
        QTest::newRow("a write-protected copy") << false << false << true << true << false << false;
    }
    void whereTheDataAndTheHelpLive()
    {
        QFETCH(bool, writable);
        QFETCH(bool, installed);
        QFETCH(bool, databaseBeside);
        QFETCH(bool, helpBeside);
        QFETCH(bool, dataBeside);
        QFETCH(bool, installedHelp);
        Place place;
        place.binWritable = writable;
        if (installed)
            place.install();
        if (databaseBeside)
            makeDatabase(place.bin() + "Vantrel.vt");
        if (helpBeside)
            writeFile(place.bin() + "help/Help.htm", "<html></html>");
        QCOMPARE(AppPaths::installedDir(), place.share());
        QCOMPARE(AppPaths::templatePath(), place.share() + "Vantrel.vt");
        QCOMPARE(AppPaths::userDataDir(), place.userData());
        QCOMPARE(AppPaths::dataBesideProgram(), dataBeside);
        QCOMPARE(AppPaths::dataDir(), dataBeside ? place.bin() : place.userData());
        QCOMPARE(AppPaths::databasePath(), AppPaths::dataDir() + "Vantrel.vt");
        const QString help = installedHelp ? place.share() + "help/" : place.bin() + "help/";
        QCOMPARE(AppPaths::helpDir(), help);
        QCOMPARE(HelpPages::folder(), help);
        QCOMPARE(HelpPages::startPage(), QUrl::fromLocalFile(help + "Help.htm"));

        // Without XDG_DATA_HOME, the user's folder is the one under the home folder.
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(AppPaths::userDataDir(), QDir::homePath() + "/.local/share/Vantrel/");
    }

    // An installed program makes the user's database from the installed one at the first start
    // and says so once; what keeps it from starting is said as every database problem is.
    void theFirstStartMakesTheDatabase_data()
    {
        QTest::addColumn<QString>("before"); // what is there before the start
        QTest::addColumn<QString>("expected"); // the message: the first-start note, or the stop message's cause
        QTest::newRow("first start") << "" << "first start";
        QTest::newRow("a later start") << "a database with a person" << "";
        // Its file may have been moved away: made again only when the user says so.
        QTest::newRow("the folder is there, the file is not") << "an empty folder" << "asked";
        // The program carries the schema it is made from.
        QTest::newRow("no empty database installed") << "no template" << "first start";
        QTest::newRow("the data folder cannot be made") << "a file in the way" << "cannot be made. Check that you may write to";
    }
    void theFirstStartMakesTheDatabase()
    {
        QFETCH(QString, before);
        QFETCH(QString, expected);
        AppFixture app;
        Place place;
        place.binWritable = false;
        if (before != "no template")
            place.install();
        const QString database = place.userData() + "Vantrel.vt";
        if (before == "a database with a person") {
            makeDatabase(database);
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "seed");
            db.setDatabaseName(database);
            QVERIFY(db.open());
            QSqlQuery(db).exec("INSERT INTO People (Name, CompanyID) SELECT 'Anna', CompanyID FROM Companies");
            db.close();
        }
        QSqlDatabase::removeDatabase("seed");
        if (before == "an empty folder")
            QVERIFY(QDir().mkpath(place.userData()));
        if (before == "a file in the way")
            writeFile(place.root.path() + "/home/anna/.local", "not a folder");

        const bool started = app.start();
        if (expected == "asked") {
            QVERIFY(started);
            QCOMPARE(app.messages.size(), 1);
            QVERIFY(app.messages[0].text.startsWith(
                QString("There is no Vantrel.vt in %1, your data folder.").arg(native(place.userData().chopped(1)))));
            QCOMPARE(people(database), 0);
            return;
        }
        if (expected.isEmpty() || expected == "first start") {
            QVERIFY(started);
            QCOMPARE(app.data()->MainADOConnection.databasePath(), database);
            QCOMPARE(app.messageTexts(),
                     expected.isEmpty() ? QStringList{} : QStringList{kFirstStart.arg(native(place.userData().chopped(1)))});
            if (!expected.isEmpty()) {
                QCOMPARE(app.messages[0].icon, MessageBox::Icon::Information);
                // The user's alone, as the data of other programs is.
                QCOMPARE(QFileInfo(database).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
                if (before.isEmpty())
                    QCOMPARE(QFileInfo(place.userData()).permissions() & 0x7077,
                             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            }
            QCOMPARE(people(database), before == "a database with a person" ? 1 : 0);
            QCOMPARE(app.people()->recordCount(), people(database));
            if (before == "no template")
                return;
            // Nothing was written beside the program, or into the installed tree.
            QCOMPARE(QDir(place.bin()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{});
            QCOMPARE(QDir(place.share()).entryList(QDir::Files), QStringList{"Vantrel.vt"});

            // The about window says where the data is; the help comes from the installed pages.
            TAboutForm* about = app.program->aboutForm;
            about->show();
            QCOMPARE(about->DataFolder->toPlainText(), "Your data: " + native(database) + "\nHelp pages: " + native(place.share() + "help/"));
            about->hide();
            app.main()->BitBtn5Click();
            QCOMPARE(app.program->helpForm->WebBrowser1->source(), QUrl::fromLocalFile(place.share() + "help/Help.htm"));
            QCOMPARE(app.program->helpForm->WebBrowser1->documentTitle(), QString("Installed help"));

            // Said once: the next start finds the file and says nothing.
            app.program.reset();
            app.messages.clear();
            QVERIFY(app.start());
            QCOMPARE(app.messageTexts(), QStringList{});
            QCOMPARE(app.data()->MainADOConnection.databasePath(), database);
            return;
        }
        QVERIFY(!started);
        QCOMPARE(app.program->exitCode(), 1);
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Stop);
        const QString text = app.messages[0].text;
        QVERIFY2(text.startsWith("Vantrel cannot start.\n\n"), qPrintable(text));
        QVERIFY2(text.contains(expected), qPrintable(text));
        QVERIFY2(text.endsWith("Database: " + native(database)), qPrintable(text));
        QVERIFY(!QFileInfo::exists(database));
        QVERIFY(!app.program->mainForm->isVisible());
    }

    // The about window makes room for the whole path, however long, beside its OK button.
    void theAboutWindowShowsTheWholePath_data()
    {
        QTest::addColumn<QString>("home");
        QTest::newRow("short") << "/h";
        QTest::newRow("long, without blanks") << "/" + QString(60, 'a') + "/" + QString(70, 'b') + "/" + QString(50, 'c');
        QTest::newRow("long, with blanks") << "/My Documents/Sales people and their customers/Vantrel data of many years";
    }
    void theAboutWindowShowsTheWholePath()
    {
        QFETCH(QString, home);
        AppFixture app;
        QVERIFY(app.start());
        qputenv("XDG_DATA_HOME", QFile::encodeName(home));
        AppPaths::setWritableCheck([](const QString&) { return false; });
        TAboutForm* about = app.program->aboutForm;
        about->show();
        AppPaths::setWritableCheck({});
        qunsetenv("XDG_DATA_HOME");
        QTextEdit* text = about->DataFolder;
        QVERIFY(text->toPlainText().startsWith("Your data: " + native(home + "/Vantrel/Vantrel.vt") + "\nHelp pages: "));
        // Every line fits the width, and every line is shown.
        QVERIFY2(text->document()->idealWidth() <= text->viewport()->width(),
                 qPrintable(QString::number(text->document()->idealWidth())));
        QVERIFY(text->viewport()->height() >= text->document()->size().height());
        QVERIFY(about->rect().contains(text->geometry()));
        QVERIFY(text->geometry().top() > about->Image1->geometry().bottom());
        QVERIFY(!text->geometry().intersects(about->SpeedButton2->geometry()));
        QVERIFY(about->rect().contains(about->SpeedButton2->geometry()));
        about->hide();
    }
};

QTEST_MAIN(TestDataFolder)
#include "tst_datafolder.moc"
