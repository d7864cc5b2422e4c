// Vantrel.connection and its window: the connection string read and written as the server's
// client library reads it, never with a password; the window's fields to the string and back
// through the file; the start-up that opens the server it names and never the file in its place.
#include "support/AppFixture.h"

#include "app/Program.h"
#include "app/PasswordPrompt.h"
#include "app/TTeamDatabaseForm.h"
#include "data/ConnectionString.h"
#include "data/MainDataModule.h"
#include "platform/AppPaths.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

using Button = MessageBox::Button;

namespace {
QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}
} // namespace

class TestTeamDatabase : public QObject {
    Q_OBJECT

    QList<MessageBox::Request> messages;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<TTeamDatabaseForm> form;

    QString connectionFile() const { return folder->path() + "/Vantrel.connection"; }
    // As the Tools menu opens it, shown without waiting.
    void reopen()
    {
        form->load();
        form->show();
    }

private slots:
    void init()
    {
        messages.clear();
        folder = std::make_unique<QTemporaryDir>();
        // A folder beside the program with its file: the settings go beside it.
        writeFile(folder->path() + "/Vantrel.vt", "");
        AppPaths::setExecutableDir(folder->path());
        MessageBox::setHandler([this](const MessageBox::Request& r) {
            messages << r;
            return Button::Ok;
        });
        FileDialog::setHandler({});
        form = std::make_unique<TTeamDatabaseForm>();
    }
    void cleanup()
    {
        form.reset();
        MessageBox::setHandler({});
        FileDialog::setHandler({});
        AppPaths::setExecutableDir({});
        folder.reset();
    }

    void connectionStringsAsTheClientLibraryReadsThem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("composed"); // the keyword=value form; empty when refused
        QTest::addColumn<QString>("error");    // a part of the refusal

        QTest::newRow("pairs") << "host=db.example.com port=5432 dbname=sales user=anna"
                               << "host=db.example.com port=5432 dbname=sales user=anna" << "";
        QTest::newRow("spaces around = and a quoted value") << "  host = db.example.com   dbname = 'sales team' "
                                                            << "host=db.example.com dbname='sales team'" << "";
        QTest::newRow("escapes quoted and plain") << R"(dbname='it\'s' user=a\ b sslrootcert='C:\\ca.crt')"
                                                  << R"(dbname='it\'s' user='a b' sslrootcert='C:\\ca.crt')" << "";
        QTest::newRow("empty quoted value left out") << "host=db dbname=''" << "host=db" << "";
        QTest::newRow("uri") << "postgresql://anna@db.example.com:5433/sales?sslmode=verify-full&sslrootcert=/etc/ca.crt"
                             << "user=anna host=db.example.com port=5433 dbname=sales sslmode=verify-full "
                                "sslrootcert=/etc/ca.crt"
                             << "";
        QTest::newRow("uri, short prefix, IPv6") << "postgres://[2001:db8::1]:5432/sales"
                                                 << "host=2001:db8::1 port=5432 dbname=sales" << "";
        QTest::newRow("uri, two hosts") << "postgresql://db1,db2:5433/sales" << "host=db1,db2 port=,5433 dbname=sales"
                                        << "";
        QTest::newRow("uri, escaped name") << "postgresql://db/sales%20team" << "host=db dbname='sales team'" << "";
        QTest::newRow("password pair") << "host=db password=secret" << "" << "holds a password (password)";
        QTest::newRow("password quoted") << "host=db password='top secret'" << "" << "holds a password";
        QTest::newRow("key password") << "host=db sslpassword=secret" << "" << "holds a password (sslpassword)";
        QTest::newRow("password in the address") << "postgresql://anna:secret@db/sales" << "" << "holds a password";
        QTest::newRow("password as a parameter") << "postgresql://db/sales?password=secret" << ""
                                                 << "holds a password";
        QTest::newRow("misspelt keyword") << "hots=db" << "" << "\"hots\" is not a setting";
        QTest::newRow("quote not closed") << "host=db dbname='sales" << "" << "lacks its closing quote";
        QTest::newRow("no =") << "host db" << "" << "\"=\" is missing after \"host\"";
        QTest::newRow("nothing") << "   " << "" << "names no server";
        QTest::newRow("broken escape") << "postgresql://db/%zz" << "" << "broken %-escape";
        QTest::newRow("address without ]") << "postgresql://[::1/sales" << "" << "closing \"]\"";
    }
    void connectionStringsAsTheClientLibraryReadsThem()
    {
        QFETCH(QString, text);
        QFETCH(QString, composed);
        QFETCH(QString, error);
        const ConnectionString::Parsed parsed = ConnectionString::parse(text);
        QCOMPARE(parsed.ok(), error.isEmpty());
        QVERIFY2(parsed.error.contains(error), qPrintable(parsed.error));
        QVERIFY2(!parsed.error.contains("secret"), qPrintable(parsed.error)); // never echoed
        if (!composed.isEmpty()) {
            QCOMPARE(ConnectionString::compose(parsed.parameters), composed);
            // What is written reads back the same, empty values aside.
            QList<ConnectionString::Parameter> given;
            for (const ConnectionString::Parameter& p : parsed.parameters)
                if (!p.second.isEmpty())
                    given << p;
            QCOMPARE(ConnectionString::parse(composed).parameters, given);
        }
        // Refused also as the file's content, naming the file; nothing is written.
        QString why;
        QCOMPARE(ConnectionString::write(connectionFile(), text, &why), error.isEmpty());
        if (!error.isEmpty()) {
            QVERIFY(why.contains(QDir::toNativeSeparators(connectionFile())));
            QVERIFY(!QFile::exists(connectionFile()));
        }
    }

    void fieldsToTheFileAndBack_data()
    {
        QTest::addColumn<QStringList>("fields"); // server, port, database, user, TLS mode, CA file
        QTest::addColumn<QString>("expected");   // the connection string in the file
        QTest::newRow("every field") << QStringList{"db.example.com", "5433", "sales", "anna", "verify-full", "CA"}
                                     << "host=db.example.com port=5433 dbname=sales user=anna sslmode=verify-full "
                                        "sslrootcert='%1'";
        QTest::newRow("usual port, own login") << QStringList{"10.0.0.5", "", "sales", "", "require", ""}
                                               << "host=10.0.0.5 dbname=sales sslmode=require";
        QTest::newRow("spaces and quotes") << QStringList{" db ", "", "sales team", "o'neil\\x", "disable", ""}
                                           << "host=db dbname='sales team' user='o\\'neil\\\\x' sslmode=disable";
    }
    void fieldsToTheFileAndBack()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, expected);
        const QString ca = folder->path() + "/team ca.crt";
        writeFile(ca, "certificate");
        reopen();
        QVERIFY(form->UseFileButton->isChecked());
        QVERIFY(!form->ServerEdit->isEnabled());
        QTest::mouseClick(form->UseServerButton, Qt::LeftButton);
        QVERIFY(form->ServerEdit->isEnabled());
        QLineEdit* edits[] = {form->ServerEdit, form->PortEdit, form->DatabaseEdit, form->UserEdit};
        for (int i = 0; i < 4; ++i)
            edits[i]->setText(fields[i]);
        form->SslModeBox->setCurrentText(fields[4]);
        if (fields[5] != "CA")
            form->CaFileEdit->setText(fields[5]);
        if (fields[5] == "CA") {
            // Chosen through the file dialog.
            FileDialog::setHandler([&](const FileDialog::Request& r) {
                return r.objectName == "OpenDialogCA" ? ca : QString();
            });
            QTest::mouseClick(form->CaFileButton, Qt::LeftButton);
            QCOMPARE(form->CaFileEdit->text(), QDir::toNativeSeparators(ca));
            expected = expected.arg(ca);
        }
        form->PasswordEdit->setText("secret"); // typed for a test: never written
        QCOMPARE(form->connectionString(), expected);
        QTest::mouseClick(form->OKButton, Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].text.contains("From its next start, Vantrel opens the team database"));
        const QString written = readAll(connectionFile());
        QVERIFY(written.endsWith(expected + '\n'));
        QVERIFY(!written.contains("secret"));
        QVERIFY(form->PasswordEdit->text().isEmpty()); // gone with the window
        QCOMPARE(AppPaths::target().kind, AppPaths::Target::Kind::Server);
        QCOMPARE(AppPaths::target().connectionString, expected);

        // Opened again, the window shows what the file holds.
        reopen();
        QVERIFY(form->UseServerButton->isChecked());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(edits[i]->text(), fields[i].trimmed());
        QCOMPARE(form->SslModeBox->currentText(), fields[4]);
        QCOMPARE(form->connectionString(), expected);
        // Unchanged, OK says nothing and leaves the file as it is.
        QTest::mouseClick(form->OKButton, Qt::LeftButton);
        QCOMPARE(messages.size(), 1);

        // The way back to the file on this computer.
        reopen();
        QTest::mouseClick(form->UseFileButton, Qt::LeftButton);
        QTest::mouseClick(form->OKButton, Qt::LeftButton);
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages[1].text.startsWith("From its next start, Vantrel uses the file on this computer"));
        QVERIFY(!QFile::exists(connectionFile()));
        QCOMPARE(AppPaths::target().kind, AppPaths::Target::Kind::File);
    }

    void settingsWithoutAFieldAreKept()
    {
        writeFile(connectionFile(), "# written by the administrator\nhost=db dbname=sales application_name='Vantrel team' "
                                    "connect_timeout=5\n");
        reopen();
        QCOMPARE(form->ServerEdit->text(), QString("db"));
        QCOMPARE(form->SslModeBox->currentText(), QString("prefer")); // what the client takes without one
        form->UserEdit->setText("bob");
        QTest::mouseClick(form->OKButton, Qt::LeftButton);
        QVERIFY(readAll(connectionFile())
                    .endsWith("host=db dbname=sales user=bob application_name='Vantrel team' connect_timeout=5\n"));
        // The client's default means the same as none; another mode is written.
        reopen();
        form->SslModeBox->setCurrentText("require");
        form->SslModeBox->setCurrentText("prefer");
        QCOMPARE(form->connectionString(), QString("host=db dbname=sales user=bob application_name='Vantrel team' connect_timeout=5"));
        form->SslModeBox->setCurrentText("verify-full");
        QCOMPARE(form->connectionString(),
                 QString("host=db dbname=sales user=bob sslmode=verify-full application_name='Vantrel team' connect_timeout=5"));
    }

    void invalidInputIsSaidAndNothingWritten_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        QTest::newRow("no server") << QStringList{"", "", "sales", "", ""} << "Type the name or the address of the server.";
        QTest::newRow("port no number") << QStringList{"db", "abc", "sales", "", ""}
                                        << "The port is a number from 1 to 65535; \"abc\" is none. Leave it empty for "
                                           "the usual 5432.";
        QTest::newRow("port too high") << QStringList{"db", "70000", "sales", "", ""}
                                       << "The port is a number from 1 to 65535; \"70000\" is none. Leave it empty for "
                                          "the usual 5432.";
        QTest::newRow("port zero") << QStringList{"db", "0", "sales", "", ""}
                                   << "The port is a number from 1 to 65535; \"0\" is none. Leave it empty for the "
                                      "usual 5432.";
        QTest::newRow("no database") << QStringList{"db", "", " ", "", ""} << "Type the name of the database on the server.";
        QTest::newRow("missing CA file") << QStringList{"db", "", "sales", "", "/nowhere/ca.crt"}
                                         << "The CA file /nowhere/ca.crt does not exist.";
        QTest::newRow("tab in a name") << QStringList{"db", "", "sa\tles", "", ""}
                                       << "The settings may not hold control characters such as tabs or line breaks.";
    }
    void invalidInputIsSaidAndNothingWritten()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        writeFile(connectionFile(), "host=old dbname=sales\n");
        reopen();
        QLineEdit* edits[] = {form->ServerEdit, form->PortEdit, form->DatabaseEdit, form->UserEdit, form->CaFileEdit};
        for (int i = 0; i < 5; ++i)
            edits[i]->setText(fields[i]);
        form->show();
        QTest::mouseClick(form->OKButton, Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, message);
        QCOMPARE(messages[0].icon, MessageBox::Icon::Warning);
        QVERIFY(form->isVisible()); // to be put right
        QCOMPARE(readAll(connectionFile()), QString("host=old dbname=sales\n"));
        // Test connection says the same, without trying.
        QTest::mouseClick(form->TestButton, Qt::LeftButton);
        QCOMPARE(form->TestResult->text(), message);
    }

    void failuresOfTheFileAreSaid()
    {
        // A folder under the file's name can neither be written over nor removed as a file.
        QVERIFY(QDir(folder->path()).mkdir("Vantrel.connection"));
        QCOMPARE(AppPaths::target().kind, AppPaths::Target::Kind::Server);
        QVERIFY(AppPaths::target().error.contains("cannot be read"));
        reopen();
        QVERIFY(form->TestResult->text().contains("cannot be read"));
        form->ServerEdit->setText("db");
        form->DatabaseEdit->setText("sales");
        QTest::mouseClick(form->OKButton, Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].text.startsWith(QDir::toNativeSeparators(connectionFile()) + " could not be written: "),
                 qPrintable(messages[0].text));
        QCOMPARE(messages[0].icon, MessageBox::Icon::Error);
        QTest::mouseClick(form->UseFileButton, Qt::LeftButton);
        QTest::mouseClick(form->OKButton, Qt::LeftButton);
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[1].text.startsWith(QDir::toNativeSeparators(connectionFile()) + " could not be removed: "),
                 qPrintable(messages[1].text));
    }

    void testConnectionSaysWhyInTheServersTerms()
    {
        // A socket folder with no server in it: nothing answers there.
        reopen();
        QTest::mouseClick(form->UseServerButton, Qt::LeftButton);
        const QString nowhere = folder->path() + "/no server here";
        QVERIFY(QDir().mkpath(nowhere));
        form->ServerEdit->setText(nowhere);
        form->PortEdit->setText("5999");
        form->DatabaseEdit->setText("sales");
        form->SslModeBox->setCurrentText("disable");
        form->PasswordEdit->setText("secret");
        QTest::mouseClick(form->TestButton, Qt::LeftButton);
        const QString said = form->TestResult->text();
        QVERIFY2(said.startsWith(QString("The server at the socket folder %1, port 5999 cannot be reached: ").arg(nowhere)),
                 qPrintable(said));
        QVERIFY(said.contains("No such file or directory"));
        QVERIFY(!said.contains("secret"));
        QVERIFY(!QFile::exists(connectionFile())); // a test writes nothing
    }

    // The password box at start-up, the real one: what each key does, and that nothing typed
    // stays in it.
    void passwordBoxKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QString>("typed");
        QTest::newRow("Enter") << int(Qt::Key_Return) << true << "s3cret";
        QTest::newRow("Space") << int(Qt::Key_Space) << true << "s3cret "; // typed, not a button
        QTest::newRow("Escape") << int(Qt::Key_Escape) << false << QString();
    }
    void passwordBoxKeys()
    {
        QFETCH(int, key);
        QFETCH(bool, answered);
        QFETCH(QString, typed);
        QStringList order;
        QString defaultButton, focused, shown;
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        PasswordPrompt* seen = nullptr;
        Modal::setRunner([&](QDialog* d) {
            auto* p = qobject_cast<PasswordPrompt*>(d);
            seen = p;
            QTimer::singleShot(0, [&, p] {
                QApplication::setActiveWindow(p);
                QList<QPushButton*> buttons = p->findChildren<QPushButton*>();
                std::sort(buttons.begin(), buttons.end(), [&](QPushButton* a, QPushButton* b) {
                    return a->mapTo(p, QPoint()).x() < b->mapTo(p, QPoint()).x();
                });
                for (QPushButton* b : buttons) {
                    order << b->text().remove('&');
                    if (b->isDefault())
                        defaultButton = b->text().remove('&');
                }
                if (QWidget* f = QApplication::focusWidget())
                    focused = f->objectName();
                shown = p->PasswordLabel->text();
                echo = p->PasswordEdit->echoMode();
                QTest::keyClicks(QApplication::focusWidget(), "s3cret");
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
                if (p->isVisible() && key == Qt::Key_Space) {
                    QCOMPARE(p->PasswordEdit->text(), QString("s3cret "));
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                }
            });
            return d->exec();
        });
        const std::optional<QString> answer = PasswordPrompt::ask("db.example.com asks for the password of the user anna.");
        Modal::setRunner({});
        QVERIFY(seen);
        QCOMPARE(order, (QStringList{"OK", "Cancel"}));
        QCOMPARE(defaultButton, QString("OK"));
        QCOMPARE(focused, QString("PasswordEdit"));
        QCOMPARE(echo, QLineEdit::Password);
        QVERIFY(shown.startsWith("db.example.com asks for the password of the user anna."));
        QCOMPARE(answer.has_value(), answered);
        if (answered)
            QCOMPARE(*answer, typed);
    }

    void realDialogKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<int>("result");
        QTest::newRow("Enter") << int(Qt::Key_Return) << true << int(QDialog::Accepted);
        QTest::newRow("Space") << int(Qt::Key_Space) << false << int(QDialog::Rejected);
        QTest::newRow("Escape") << int(Qt::Key_Escape) << true << int(QDialog::Rejected);
    }
    void realDialogKeys()
    {
        QFETCH(int, key);
        QFETCH(bool, closed);
        QFETCH(int, result);
        writeFile(connectionFile(), "host=db dbname=sales\n");
        form->load();
        QStringList order;
        QString defaultButton, focused;
        bool closedByKey = false;
        QTimer::singleShot(0, [&] {
            QApplication::setActiveWindow(form.get());
            QList<QPushButton*> bottom = {form->OKButton, form->CancelButton};
            std::sort(bottom.begin(), bottom.end(), [&](QPushButton* a, QPushButton* b) {
                return a->mapTo(form.get(), QPoint()).x() < b->mapTo(form.get(), QPoint()).x();
            });
            for (QPushButton* b : bottom)
                order << b->text();
            for (QPushButton* b : form->findChildren<QPushButton*>())
                if (b->isDefault())
                    defaultButton += b->text();
            if (QWidget* f = QApplication::focusWidget())
                focused = f->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            closedByKey = !form->isVisible();
            if (form->isVisible())
                form->reject();
        });
        Modal::setRunner({});
        const int answer = Modal::exec(form.get());
        QCOMPARE(order, (QStringList{"OK", "Cancel"}));
        QCOMPARE(defaultButton, QString("OK"));
        QCOMPARE(focused, QString("UseServerButton")); // the choice that holds now
        QCOMPARE(closedByKey, closed);
        QCOMPARE(answer, result);
        QVERIFY(form->UseServerButton->isChecked()); // Space on the chosen one keeps it
        QCOMPARE(readAll(connectionFile()), QString("host=db dbname=sales\n")); // nothing changed, nothing written
        QCOMPARE(form->SslModeBox->currentText(), QString("prefer")); // the client's default, as the file leaves it
        QVERIFY(messages.isEmpty());
        // Below the fields, OK and Cancel side by side at the bottom right.
        QVERIFY(form->OKButton->mapTo(form.get(), QPoint()).y() > form->TestButton->mapTo(form.get(), QPoint()).y());
    }

    void tabVisitsTheVisibleControlsInReadingOrder_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("file") << false << QStringList{"UseFileButton", "OKButton", "CancelButton", "UseFileButton"};
        QTest::newRow("server") << true
                                << QStringList{"UseServerButton", "ServerEdit", "PortEdit",   "DatabaseEdit",
                                               "UserEdit",        "SslModeBox", "CaFileEdit", "CaFileButton",
                                               "TestButton",      "OKButton",   "CancelButton", "UseServerButton"};
    }
    void tabVisitsTheVisibleControlsInReadingOrder()
    {
        QFETCH(bool, server);
        QFETCH(QStringList, order);
        if (server)
            writeFile(connectionFile(), "host=db dbname=sales\n");
        reopen();
        QApplication::setActiveWindow(form.get());
        QStringList seen;
        for (int i = 0; i < order.size(); ++i) {
            QWidget* f = QApplication::focusWidget();
            QVERIFY(f && f->isVisible());
            seen << f->objectName();
            QTest::keyClick(f, Qt::Key_Tab);
        }
        QCOMPARE(seen, order);
        form->hide();
    }

    void startUpOpensTheServerItNamesAndNeverTheFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("withFile"); // Vantrel.vt beside the program too
        QTest::addColumn<QString>("reason");
        // A server socket that is not there: unreachable at once, whatever the network.
        const QString unreachable = "The team database that %1 names could not be opened: The database server "
                                    "on this computer (port 5432) cannot be reached: No such file or directory";
        QTest::newRow("pairs") << QByteArray("host=/nonexistent/vantrel dbname=sales\n") << true << unreachable;
        QTest::newRow("address, no file") << QByteArray("postgresql://%2Fnonexistent%2Fvantrel/sales\n") << false
                                          << unreachable;
        QTest::newRow("with a password") << QByteArray("host=db password=secret\n") << true
                                         << "%1 cannot be used. It holds a password (password).";
        QTest::newRow("only comments") << QByteArray("# nothing yet\n\n") << true << "%1 holds no connection string.";
    }
    void startUpOpensTheServerItNamesAndNeverTheFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, withFile);
        QFETCH(QString, reason);
        form.reset();
        AppFixture app;
        const QString file = app.db.dir() + "/Vantrel.connection";
        writeFile(file, content);
        app.db.disconnect();
        if (!withFile)
            QVERIFY(QFile::remove(app.db.path()));
        QVERIFY(!app.start());
        QCOMPARE(app.program->exitCode(), 1);
        QCOMPARE(app.messages.size(), 1); // no question about a missing Vantrel.vt either
        const QString shown = QDir::toNativeSeparators(file);
        QVERIFY2(app.messages[0].text.startsWith("Vantrel cannot start.\n\n" + reason.arg(shown)),
                 qPrintable(app.messages[0].text));
        QVERIFY(app.messages[0].text.contains("Vantrel.vt on this computer was not opened in its place"));
        QVERIFY(!app.messages[0].text.contains("secret"));
        QCOMPARE(app.messages[0].icon, MessageBox::Icon::Stop);
        QVERIFY(!app.program->dataModule->MainADOConnection.isOpen());
        QCOMPARE(QFile::exists(app.db.path()), withFile); // none made in its place
    }

    void theToolsMenuOpensTheWindow()
    {
        form.reset();
        AppFixture app;
        QVERIFY(app.start());
        QString shown;
        app.modal = [&](QDialog* d) {
            shown = d->objectName() + " " + d->windowTitle();
            return int(QDialog::Rejected);
        };
        auto* item = app.main()->findChild<QAction*>("TeamDatabase1");
        QVERIFY(item);
        QCOMPARE(item->text(), QString("&Team database..."));
        item->trigger();
        QCOMPARE(shown, QString("TTeamDatabaseForm Team database"));
    }
};

QTEST_MAIN(TestTeamDatabase)
#include "tst_teamdatabase.moc"
