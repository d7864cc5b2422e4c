#include "TFollowUpForm.h"

#include "data/MainDataModule.h"

TFollowUpForm::TFollowUpForm(TMainDataModule* dataModule, QWidget* parent) : QDialog(parent)
{
    setObjectName("FollowUpForm");
    setWindowTitle("Follow-up Activities");
    FollowMethod = new Dataset("FollowMethod", &dataModule->MainADOConnection, this);
    FollowMethod->setTable("FollowUpMethod");
    FollowUp = new Dataset("FollowUp", &dataModule->MainADOConnection, this);
    FollowUp->setTable("PeopleFollowUp");
    FollowUp->setMaster(dataModule->PeopleCompanyDS, "PersonID");
    FollowUp->setDeferredLoad(true); // follows every move of the current person
    FollowUp->addLookup("FollowLookUp", "FUContactMethod", FollowMethod, "FUmethodID", "FUmethodName");
}
