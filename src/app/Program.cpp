#include "Program.h"

#include "AppWindows.h"
#include "platform/MessageBox.h"
#include "platform/ErrorDisplay.h"
#include "platform/Platform.h"
#include "TDataEntryForm.h"
#include "TSplashForm.h"
#include "PasswordPrompt.h"
#include "TTeamDatabaseForm.h"
#include "UpgradeProgress.h"
#include "data/DataError.h"
#include "data/Dataset.h"
#include "data/FileCheck.h"
#include "data/MainDataModule.h"
#include "contacts/TDuplicatesForm.h"
#include "filters/TFilters.h"
#include "followup/TFollowUpForm.h"
#include "followup/TPipelineForm.h"
#include "followup/TPickDateForm.h"
#include "followup/TRemindersForm.h"
#include "contacts/TDeletedForm.h"
#include "contacts/THistoryForm.h"
#include "contacts/TBackupsForm.h"
#include "BackupProgress.h"
#include "data/DailyBackup.h"
#include "help/TAboutForm.h"
#include "help/THelpForm.h"
#include "profile/TRetail.h"
#include "widgets/AltLetterGuard.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QWindow>
#include <QLabel>

Program::Program() = default;

void Program::setUpApplication()
{
    // The windows are laid out for a small sans-serif face of 8 points; Alt keys only open menus.
    QFont font("Liberation Sans", 8);
    font.setFamilies({"Liberation Sans", "Arial", "Helvetica", "Nimbus Sans", "DejaVu Sans"});
    QApplication::setFont(font);
    AltLetterGuard::install();
    // The desktop finds the program's entry, icon and name by this, and groups its windows there.
    QGuiApplication::setDesktopFileName(VANTREL_APP_ID);
    // On X11 the launcher matches windows to the entry by their class, which the window system
    // takes from the program's name once, when the first window is made: made here, before the
    // name becomes the application's title.
    QCoreApplication::setApplicationName("vantrel");
    QWindow first;
    first.create();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/app-icon/vantrel-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

Program::~Program()
{
    m_fileCheck.reset(); // stopped before the file it reads goes
    dailyBackup.reset(); // a copy not yet made is dropped, never left half
    appWindows() = AppWindows{};
    // Windows go before the data module whose datasets they show.
    delete teamDatabaseForm;
    delete duplicatesForm;
    delete pickDateForm;
    delete retail;
    delete aboutForm;
    delete filters;
    delete remindersForm;
    delete pipelineForm;
    delete followUpForm;
    delete helpForm;
    delete mainForm;
    dataModule.reset();
}

bool Program::start()
{
    auto splash = std::make_unique<TSplashForm>();
    splash->PCVTbmp->setVisible(true);
    splash->NETVTbmp->setVisible(false);
    QApplication::setApplicationName("Vantrel (Belcarre)");
    splash->show(); // runs the display checks
    splash->repaint();
    m_quitRequested = splash->quitRequested();

    AppWindows& w = appWindows();
    const QString database = AppPaths::databasePath();
    AppPaths::Preparation prepared;
    try {
        dataModule = std::make_unique<TMainDataModule>();
        w.MainDataModule = dataModule.get();
        QObject::connect(dataModule->PeopleCompanyDet, &Dataset::unreadable, [this](qint64 person, const QString& why) {
            sayDamaged(QString("The person with the number %1 cannot be read (%2). The other people are shown as they "
                               "are, and this one is left untouched.")
                           .arg(person)
                           .arg(why));
        });
        mainForm = new TDataEntryForm(dataModule.get());
        w.DataEntryForm = mainForm;
        helpForm = new THelpForm;
        helpForm->setMainWindow(mainForm);
        w.HelpForm = helpForm;
        followUpForm = new TFollowUpForm(dataModule.get(), mainForm);
        w.FollowUpForm = followUpForm;
        pipelineForm = new TPipelineForm(dataModule.get(), mainForm);
        pipelineForm->setFollowUpForm(followUpForm);
        w.PipelineForm = pipelineForm;
        remindersForm = new TRemindersForm(mainForm);
        w.RemindersForm = remindersForm;
        filters = new TFilters(dataModule.get(), mainForm);
        w.Filters = filters;
        aboutForm = new TAboutForm(mainForm);
        w.AboutForm = aboutForm;
        deletedForm = new TDeletedForm(dataModule.get(), mainForm);
        w.DeletedForm = deletedForm;
        historyForm = new THistoryForm(dataModule.get(), mainForm);
        w.HistoryForm = historyForm;
        dailyBackup = std::make_unique<DailyBackup>(dataModule->MainADOConnection);
        backupsForm = new TBackupsForm(dataModule.get(), dailyBackup.get(), mainForm);
        w.BackupsForm = backupsForm;

        const AppPaths::Target target = AppPaths::target();
        m_onServer = target.kind == AppPaths::Target::Kind::Server;
        if (m_onServer) {
            // Never Vantrel.vt in its place: what the user entered would be missing for the team.
            splash->hide();
            const QString file = QDir::toNativeSeparators(AppPaths::connectionPath());
            QString why = target.error;
            // A server that asks for a password the password file does not give gets one typed,
            // a few times at most; Cancel ends the start as any other failure does.
            QString password;
            for (int attempt = 0; why.isEmpty(); ++attempt) {
                try {
                    dataModule->MainADOConnection.openServer(target.connectionString, password);
                    break;
                } catch (const DataError& e) {
                    if (e.reason() == FailureReason::WrongPassword && attempt < 3) {
                        if (std::optional<QString> typed = PasswordPrompt::ask(e.text())) {
                            password = *typed;
                            continue;
                        }
                    }
                    why = QString("The team database that %1 names could not be opened: %2").arg(file, e.text());
                }
            }
            password.fill(QChar(0));
            if (!why.isEmpty()) {
                MessageBox::show(MessageBox::Icon::Stop,
                                 QString("Vantrel cannot start.\n\n%1\n\nVantrel.vt on this computer was not opened "
                                         "in its place, so that nothing is entered where the team does not see it. To "
                                         "work on the file on this computer, remove or rename %2 and start Vantrel "
                                         "again.")
                                     .arg(why, file));
                m_exitCode = 1;
                return false;
            }
        }
        if (!m_onServer) {
            prepared = AppPaths::prepareDatabase();
            if (!prepared.error.isEmpty())
                throw DataError(prepared.error);
            if (prepared.gone) {
                splash->hide();
                if (!madeOnRequest(database)) {
                    m_exitCode = 0;
                    return false;
                }
                splash->show();
            }
            Connection& connection = dataModule->MainADOConnection;
            connection.close();
            connection.setDatabasePath(database);
            connection.open();
            // A file from an earlier version is brought up with a window that says so.
            bool older = false;
            try {
                older = SchemaUpgrade::needed(connection.store());
            } catch (const DataError&) {
                // Looked at again in place, where the user hears of what fails.
            }
            if (older) {
                splash->hide();
                if (auto outcome = UpgradeProgress::run(connection))
                    dataModule->setUpgradeOutcome(std::move(*outcome));
                splash->show();
            }
        }
        dataModule->SetDatasetsActive(true);
        followUpForm->FollowUp->setSort({"PersonID", "FUDate"});
        followUpForm->FollowUp->open();

        mainForm->detachPages();
        QApplication::setApplicationName("Vantrel (Belcarre)");
        mainForm->setWindowTitle("Vantrel (Belcarre)");

        retail = new TRetail(dataModule.get(), mainForm);
        w.Retail = retail;
        pickDateForm = new TPickDateForm(mainForm);
        w.PickDateForm = pickDateForm;
        followUpForm->setDatePicker(pickDateForm);
        duplicatesForm = new TDuplicatesForm(dataModule.get(), mainForm);
        w.DuplicatesForm = duplicatesForm;
        teamDatabaseForm = new TTeamDatabaseForm(mainForm);
        w.TeamDatabaseForm = teamDatabaseForm;
        // A merge or its undo moves activities and answers between people: the windows that hold
        // them for the current person read them again.
        auto readDetailsAgain = [this] {
            for (Dataset* ds : {followUpForm->FollowUp, retail->QMainTable})
                if (ds->isActive())
                    runQuietly([ds] { ds->refresh(); });
        };
        QObject::connect(duplicatesForm, &TDuplicatesForm::peopleChanged, readDetailsAgain);
        // A restored backup replaces everything: so do the windows that hold a person's rows.
        QObject::connect(backupsForm, &TBackupsForm::dataReplaced, readDetailsAgain);
    } catch (const DataError& e) {
        splash->hide();
        MessageBox::show(MessageBox::Icon::Stop,
                         QString("Vantrel cannot start.\n\n%1\n\nDatabase: %2")
                             .arg(e.text(), QDir::toNativeSeparators(database)));
        m_exitCode = 1;
        return false;
    }
    splash->hide();
    splash.reset();
    if (prepared.made) {
        QString text = QString("Vantrel keeps your data in your own folder:\n\n%1\n\nAt this first start an empty "
                               "database, Vantrel.vt, was made there. Help, \"About...\" names this folder again.")
                           .arg(QDir::toNativeSeparators(QFileInfo(database).absolutePath()));
        const QString beside = AppPaths::executableDir() + "Vantrel.vt";
        if (QFileInfo::exists(beside))
            text += QString("\n\nThe Vantrel.vt beside the program, in %1, which you may not change, is left as it is. "
                            "To go on with its people, close Vantrel and copy that file over the new one.")
                        .arg(QDir::toNativeSeparators(AppPaths::executableDir()));
        MessageBox::show(MessageBox::Icon::Information, text);
    }
    if (!dataModule->startupNotice().isEmpty())
        MessageBox::show(MessageBox::Icon::Warning, dataModule->startupNotice());
    // The whole file is checked beside the window, which never waits for it. A server checks its own.
    if (!m_onServer) {
        m_fileCheck = std::make_unique<FileCheck>();
        QObject::connect(m_fileCheck.get(), &FileCheck::finished, [this](bool ok, const QString& findings) {
            if (!ok)
                sayDamaged("A check of the whole file found:\n" + findings);
        });
        m_fileCheck->start(dataModule->MainADOConnection.databasePath());
    }
    if (m_quitRequested) {
        m_exitCode = 0;
        return false;
    }
    // The day's copy: at the first start of the day, or the first save of a day begun later.
    m_backupProgress = new BackupProgress(mainForm);
    QObject::connect(dailyBackup.get(), &DailyBackup::started, m_backupProgress, &BackupProgress::follow);
    // A team database is backed up on its server, by its administrator.
    if (!m_onServer) {
        QObject::connect(dataModule.get(), &TMainDataModule::personSaved, dailyBackup.get(), &DailyBackup::check);
        dailyBackup->check();
    }
    return true;
}

bool Program::madeOnRequest(const QString& database)
{
    // A file that was there before and has gone must not be replaced by an empty one unasked:
    // the user may have moved it, or may be about to put it back.
    const QString folder = QDir::toNativeSeparators(QFileInfo(database).absolutePath());
    MessageBox::Request ask;
    ask.icon = MessageBox::Icon::Warning;
    ask.text = QString("There is no Vantrel.vt in %1, %2.\n\nIf you have used Vantrel from this folder before, your "
                       "data has been moved, renamed or deleted: choose Cancel, and put Vantrel.vt back.\n\nChoose OK "
                       "to start with an empty Vantrel.vt made there.")
                   .arg(folder, AppPaths::dataBesideProgram() ? "the folder of the program" : "your data folder");
    ask.buttons = {MessageBox::Button::Ok, MessageBox::Button::Cancel};
    ask.defaultButton = MessageBox::Button::Cancel;
    ask.escapeButton = MessageBox::Button::Cancel;
    if (MessageBox::show(ask) != MessageBox::Button::Ok)
        return false;
    const AppPaths::Preparation made = AppPaths::makeDatabase();
    if (!made.error.isEmpty())
        throw DataError(made.error);
    return true;
}

void Program::sayDamaged(const QString& what)
{
    if (m_toldDamaged)
        return;
    m_toldDamaged = true;
    const QString file = dataModule->MainADOConnection.fileName();
    MessageBox::show(MessageBox::Icon::Warning,
                     QString("%1 is damaged. %2\n\nClose Vantrel and put back your latest backup copy of %1 (a copy of "
                             "the file made before the damage); until then, enter nothing you could not type again.")
                         .arg(file, what));
}

void Program::bringToFront(const QByteArray& activationToken)
{
    // Wayland lets a window come forward only with the token of the start that asked for it.
    if (!activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken);
    const bool mainShown = mainForm && mainForm->isVisible();
    if (mainShown && mainForm->isMinimized())
        mainForm->setWindowState(mainForm->windowState() & ~Qt::WindowMinimized);
    // A window that waits for an answer stands in front of the main window; during start-up the
    // main window comes to the front by itself when it is shown.
    QWidget* front = QApplication::activeModalWidget();
    if (!front && mainShown)
        front = mainForm;
    if (!front)
        return;
    front->raise();
    front->activateWindow();
}

int Program::exec()
{
    mainForm->show();
    m_exitCode = QApplication::exec();
    return m_exitCode;
}
