// Commands of the main window that open the other windows.
#include "TDataEntryForm.h"

#include "AppWindows.h"
#include "TTeamDatabaseForm.h"
#include "contacts/CsvImport.h"
#include "contacts/PeopleExport.h"
#include "contacts/TDeletedForm.h"
#include "contacts/TDuplicatesForm.h"
#include "contacts/THistoryForm.h"
#include "contacts/TBackupsForm.h"
#include "data/MainDataModule.h"
#include "contacts/VCardImport.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "data/Dataset.h"
#include "data/DataError.h"
#include "filters/TFilters.h"
#include "followup/CalendarExport.h"
#include "followup/TFollowUpForm.h"
#include "followup/TPipelineForm.h"
#include "followup/TRemindersForm.h"
#include "help/THelpForm.h"
#include "profile/TRetail.h"

void TDataEntryForm::openModalOverPeople(QWidget* window, const QString& emptyMessage,
                                         const std::function<bool()>& ready)
{
    // Save the current person first. The name check does not keep the window shut; a save the
    // database refuses does, with its reason, so the edit is neither lost nor worked on unsaved.
    if (people()->isEditing()) {
        try {
            people()->post();
        } catch (const Declined&) {
            return;
        } catch (const Abort&) {
        } catch (const DataError& e) {
            MessageBox::show(MessageBox::Icon::Error, e.text());
            return;
        }
    }
    // The window works on the list as it is in the file: what other programs saved is taken in,
    // and a current person deleted meanwhile gives way to the next.
    if (!people()->isEditing() && !runCommand([this] { people()->refresh(); }))
        return;
    // A new person whose name check failed is not on file: it does not make the list non-empty.
    const int pending = people()->state() == DatasetState::Insert ? 1 : 0;
    if (people()->recordCount() - pending <= 0) {
        MessageBox::show(emptyMessage == "No record selected." ? MessageBox::Icon::Error
                                                              : MessageBox::Icon::Information,
                         emptyMessage);
        return;
    }
    if (ready && !ready())
        return;
    if (auto* dialog = qobject_cast<QDialog*>(window))
        Modal::exec(dialog);
}

bool TDataEntryForm::savePendingEdit()
{
    if (!people()->isEditing())
        return true;
    try {
        people()->post();
    } catch (const Abort&) {
        return false;
    } catch (const DataError& e) {
        MessageBox::show(MessageBox::Icon::Error, e.text());
        return false;
    }
    return true;
}

void TDataEntryForm::DeletedPeople1Click()
{
    TDeletedForm* form = appWindows().DeletedForm;
    if (!form)
        return;
    // The person on screen is saved first, as before the other windows; the trash opens also
    // when nobody is left in the list.
    if (!savePendingEdit())
        return;
    Modal::exec(form);
    DBComboBox4Change(); // a restored person may be current now
}

void TDataEntryForm::History1Click()
{
    // The history is the one of the person on file: a pending edit is saved first, as before the
    // other windows, and a new person nobody saved has none.
    openModalOverPeople(appWindows().HistoryForm, "No record selected.", [this] {
        if (people()->state() != DatasetState::Insert)
            return true;
        MessageBox::show(MessageBox::Icon::Information, "This person is not saved yet, so has no history.");
        return false;
    });
    DBComboBox4Change(); // a value put back may be the prospecting method
}

void TDataEntryForm::RestoreBackup1Click()
{
    TBackupsForm* form = appWindows().BackupsForm;
    if (!form)
        return;
    if (m_dataModule->MainADOConnection.onServer()) {
        MessageBox::show(MessageBox::Icon::Information, TBackupsForm::serverText());
        return;
    }
    // The list opens also when nobody is in the list: that may be why the user is here.
    if (!savePendingEdit())
        return;
    Modal::exec(form);
    DBComboBox4Change(); // another person may be current after a restore
}

void TDataEntryForm::RetailButtonClick() { openModalOverPeople(appWindows().Retail, "No record selected."); }

void TDataEntryForm::BitBtn8Click()
{
    openModalOverPeople(appWindows().Filters, "The database is empty.");
    // A run leaves the first person current: the method's description follows it.
    DBComboBox4Change();
}

void TDataEntryForm::BitBtn7Click() { openModalOverPeople(appWindows().FollowUpForm, "The database is empty."); }

void TDataEntryForm::Findduplicates1Click()
{
    openModalOverPeople(appWindows().DuplicatesForm, "The database is empty.");
    DBComboBox4Change(); // a merge makes the kept person current
}

// Where the next start opens the people: nothing of the current session changes, so nothing
// pending needs saving first.
void TDataEntryForm::TeamDatabase1Click()
{
    TTeamDatabaseForm* form = appWindows().TeamDatabaseForm;
    if (!form)
        return;
    form->load();
    Modal::exec(form);
}

void TDataEntryForm::PipelineClick()
{
    TPipelineForm* pipeline = appWindows().PipelineForm;
    if (!pipeline)
        return;
    openModalOverPeople(pipeline, "The database is empty.", [pipeline] { return pipeline->FormLoad(); });
    // The due list may have made another person current.
    DBComboBox4Change();
}

// The People page's show handler, run once while the main window is first shown: the day's
// reminders come up before the main window, and the first person is current afterwards.
void TDataEntryForm::PeopleTabSheetShow()
{
    focusShowHide();
    DBComboBox4Change();
    TRemindersForm* reminders = appWindows().RemindersForm;
    if (!reminders || !people()->isActive())
        return;
    runCommand([&] {
        people()->first();
        if (reminders->computeReminders(*people(), Clock::today()) > 0)
            Modal::exec(reminders);
        people()->first();
    });
}

void TDataEntryForm::SpeedButton14Click()
{
    const bool lookAtDuplicates = CsvImport::run(this, *m_dataModule);
    DBComboBox4Change(); // the import may have made another person current
    if (lookAtDuplicates)
        Findduplicates1Click();
}

void TDataEntryForm::VCardfile1Click()
{
    const bool lookAtDuplicates = VCardImport::run(this, *m_dataModule);
    DBComboBox4Change(); // the import may have made another person current
    if (lookAtDuplicates)
        Findduplicates1Click();
}

void TDataEntryForm::CSVfile2Click() { PeopleExport::run(this, *m_dataModule, PeopleExport::Format::Csv); }

void TDataEntryForm::VCardfile2Click() { PeopleExport::run(this, *m_dataModule, PeopleExport::Format::VCard); }

void TDataEntryForm::Calendarfile2Click() { CalendarExport::run(this, *m_dataModule); }

void TDataEntryForm::BitBtn5Click()
{
    THelpForm* help = appWindows().HelpForm;
    if (!help)
        return;
    // Showing runs the window's show handler only when it was hidden: a second command neither
    // moves nor reloads it, it only comes to the front, ready for the keyboard.
    help->show();
    help->raise();
    help->activateWindow();
}
