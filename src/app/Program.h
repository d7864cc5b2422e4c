#pragma once
#include <QByteArray>
#include <QString>

#include <memory>

class TSplashForm;
class TMainDataModule;
class TDataEntryForm;
class THelpForm;
class TFollowUpForm;
class TPipelineForm;
class TRemindersForm;
class TFilters;
class TAboutForm;
class TRetail;
class TTeamDatabaseForm;
class TPickDateForm;
class TDeletedForm;
class THistoryForm;
class TDuplicatesForm;
class FileCheck;
class DailyBackup;
class BackupProgress;
class TBackupsForm;

// The program from its start to its end: splash and display checks, every window created once
// in a fixed order, the database opened, the main window reduced to the People page.
class Program {
public:
    Program();
    static void setUpApplication(); // the look every window is laid out for
    ~Program();
    bool start();     // everything before the event loop; false when the program must end
    int exec();       // shows the main window and runs the event loop
    // Another start on the same database asked for this copy's window.
    void bringToFront(const QByteArray& activationToken = {});
    int exitCode() const { return m_exitCode; }
    bool quitRequested() const { return m_quitRequested; }
    FileCheck* fileCheck() const { return m_fileCheck.get(); } // after start(); may be null

    std::unique_ptr<TMainDataModule> dataModule;
    TDataEntryForm* mainForm = nullptr;
    THelpForm* helpForm = nullptr;
    TFollowUpForm* followUpForm = nullptr;
    TPipelineForm* pipelineForm = nullptr;
    TRemindersForm* remindersForm = nullptr;
    TFilters* filters = nullptr;
    TAboutForm* aboutForm = nullptr;
    TRetail* retail = nullptr;
    TPickDateForm* pickDateForm = nullptr;
    TDeletedForm* deletedForm = nullptr;
    THistoryForm* historyForm = nullptr;
    TBackupsForm* backupsForm = nullptr;
    std::unique_ptr<DailyBackup> dailyBackup; // after start(); checked at the start and every save
    TDuplicatesForm* duplicatesForm = nullptr;
    TTeamDatabaseForm* teamDatabaseForm = nullptr;

private:
    bool madeOnRequest(const QString& database); // false: the user chose to make none
    void sayDamaged(const QString& what); // once a run, whichever finds the damage first
    std::unique_ptr<FileCheck> m_fileCheck;
    BackupProgress* m_backupProgress = nullptr;
    bool m_toldDamaged = false;
    int m_exitCode = 0;
    bool m_quitRequested = false;
    bool m_onServer = false; // Vantrel.connection named a team database: no file of ours is opened
};
