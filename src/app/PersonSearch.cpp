// The search by name and the two date buttons of the People page.
#include "app/TDataEntryForm.h"

#include "contacts/PeoplePage.h"
#include "app/AppWindows.h"
#include "platform/ErrorDisplay.h"
#include "platform/Platform.h"
#include "data/MainDataModule.h"
#include "followup/TPickDateForm.h"

#include <QDialog>
#include <QLineEdit>

void TDataEntryForm::Edit1Change()
{
    runCommand([this] {
        // Moving the companies dataset settles the current person first, as a move does.
        Dataset* companies = m_dataModule->CompaniesTable;
        companies->first();
        const int companyId = companies->value("CompanyID").toInt();
        // The typed text is compared as data, in memory: no character can change a query.
        people()->locateLowest({"CompanyID", "Name"}, {companyId, People->Edit1->text()}, LocateOptions{true, true},
                               "Name");
        people()->refresh();
    });
}

void TDataEntryForm::pickDate(const QString& column)
{
    TPickDateForm* picker = appWindows().PickDateForm;
    if (!picker || Modal::exec(picker) != QDialog::Accepted)
        return;
    runCommand([&] {
        people()->edit();
        people()->setValue(column, picker->date());
    });
}

void TDataEntryForm::Button2Click() { pickDate("Birthday"); }
void TDataEntryForm::Button6Click() { pickDate("Anniversary"); }
