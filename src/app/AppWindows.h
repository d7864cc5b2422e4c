#pragma once

class TMainDataModule;
class TDataEntryForm;
class THelpForm;
class TFollowUpForm;
class TPipelineForm;
class TRemindersForm;
class TFilters;
class TAboutForm;
class TRetail;
class TPickDateForm;
class TDeletedForm;
class THistoryForm;
class TBackupsForm;
class TDuplicatesForm;
class TTeamDatabaseForm;

// The program-wide references to the single instance of each long-lived window.
struct AppWindows {
    TMainDataModule* MainDataModule = nullptr;
    TDataEntryForm* DataEntryForm = nullptr;
    THelpForm* HelpForm = nullptr;
    TFollowUpForm* FollowUpForm = nullptr;
    TPipelineForm* PipelineForm = nullptr;
    TRemindersForm* RemindersForm = nullptr;
    TFilters* Filters = nullptr;
    TAboutForm* AboutForm = nullptr;
    TRetail* Retail = nullptr;
    TPickDateForm* PickDateForm = nullptr;
    TDeletedForm* DeletedForm = nullptr;
    THistoryForm* HistoryForm = nullptr;
    TBackupsForm* BackupsForm = nullptr;
    TDuplicatesForm* DuplicatesForm = nullptr;
    TTeamDatabaseForm* TeamDatabaseForm = nullptr;
};

AppWindows& appWindows();
