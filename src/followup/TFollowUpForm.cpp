#include "TFollowUpForm.h"

#include "TPickDateForm.h"
#include "data/MainDataModule.h"
#include "data/DataError.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"
#include "widgets/WaitCursor.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

namespace {
constexpr int kGridWidth = 772;
const char* const kPersonUnsaved = "This person has not been saved yet because the name is missing, so no activity "
                                   "can be saved for them.\nClose this window, type the name and save the person, "
                                   "then add the activity.";

QList<GridColumn> peopleColumns()
{
    return {{"Title", "Title", 30},
            {"Name", "Name", 100},
            {"Gender", "Gender", 40},
            {"PersonType", "Type", 55},
            {"CustoemrImportance", "Importance", 60},
            {"Language", "Language(s)", 65},
            {"EducationLevel", "Education", 55},
            {"Profession", "Profession", 55},
            {"Company", "Company", 100},
            {"JobTitle", "Job title", 55},
            {"Income", "Income", 117}};
}

QList<GridColumn> activityColumns()
{
    using E = GridColumn::Editor;
    return {{"FUDate", "Follow-up date", 80, E::Date},
            {"ContactMethod", "Contact method", 80, E::PickList, {"Visit", "Telephone", "Fax", "Email", "SMS", "Other"}},
            {"ProductsInterestedIn", "Offered solution", 105},
            {"ExpextedOrderValue", "Expected order value", 110, E::WholeNumber},
            {"ExpectedOrderDate", "Expected order date", 110, E::Date},
            {"FUDescription", "Description", 252}};
}
} // namespace

TFollowUpForm::TFollowUpForm(TMainDataModule* dataModule, QWidget* parent) : QDialog(parent), m_dataModule(dataModule)
{
    setObjectName("FollowUpForm");
    setWindowTitle("Follow-up Activities");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    FollowMethod = new Dataset("FollowMethod", &dataModule->MainADOConnection, this);
    FollowMethod->setTable("FollowUpMethod");
    FollowUp = new Dataset("FollowUp", &dataModule->MainADOConnection, this);
    FollowUp->setTable("PeopleFollowUp");
    FollowUp->setMaster(dataModule->PeopleCompanyDS, "PersonID");
    FollowUp->setDeferredLoad(true); // follows every move of the current person
    FollowUp->addLookup("FollowLookUp", "FUContactMethod", FollowMethod, "FUmethodID", "FUmethodName");
    FollowUpDS = new DataSource("FollowUpDS", FollowUp, this);
    // An activity of a person another program deleted would belong to nobody, a new one or an
    // edited one alike; one of a person not saved yet has no person to belong to either.
    FollowUp->events.beforePost = [this](Dataset& ds) {
        if (personUnsaved())
            throw DataError(kPersonUnsaved);
        if (!m_dataModule->personStored(ds.value("PersonID")))
            throw DataError("This person was deleted by another user.");
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    DBGridFollowUp = new DBGrid(dataModule->PeopleCompanyDS, peopleColumns(), DBGrid::Mode::ReadOnlyRows, this);
    DBGridFollowUp->setObjectName("DBGridFollowUp");
    DBGridFollowUp->setFixedSize(kGridWidth, 214);
    layout->addWidget(DBGridFollowUp);

    Label1 = new QLabel("Follow-up activities, history, and milestones", this);
    Label1->setObjectName("Label1");
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    layout->addSpacing(2);
    layout->addWidget(Label1);

    DBGrid1 = new DBGrid(FollowUpDS, activityColumns(), DBGrid::Mode::Editable, this);
    DBGrid1->setObjectName("DBGrid1");
    DBGrid1->setFixedSize(kGridWidth, 196);
    layout->addWidget(DBGrid1);

    DBNavigator1 = new DBNavigator(FollowUpDS, this);
    DBNavigator1->setObjectName("DBNavigator1");
    layout->addWidget(DBNavigator1, 0, Qt::AlignLeft);
    setTabOrder(DBGridFollowUp, DBGrid1);

    // Another person is selected only once the activity being typed is in and saved; a save
    // that fails keeps both lists where they are, with the activity still being edited.
    DBGridFollowUp->canMove = [this] {
        if (!DBGrid1->commitEditor(true))
            return false;
        // The activity of a person deleted elsewhere cannot be kept: it goes, with a word, and
        // the user moves on. That of a person not saved yet stays, as the person does.
        if (!personUnsaved() && dropUnkeepable())
            return true;
        return runCommand([this] {
            WaitCursor busy;
            FollowUp->settle();
        });
    };
    connect(DBGrid1, &DBGrid::editButtonClicked, this, &TFollowUpForm::DBGrid1EditButtonClick);
    DBNavigator1->commitPending = [this] { return DBGrid1->commitEditor(true); };
    DBNavigator1->discardPending = [this] { DBGrid1->discardEditor(); };
    DBNavigator1->finished = [this] {
        // A new activity is typed from its first cell, whatever the mouse clicked last.
        if (FollowUp->state() == DatasetState::Insert && !DBGrid1->focusInside()) {
            DBGrid1->setFocus(Qt::OtherFocusReason);
            DBGrid1->setCurrentIndex(DBGrid1->model()->index(DBGrid1->currentIndex().row(), 0));
        }
        DBGrid1->showCellEditor();
    };

    setFixedSize(sizeHint());
}

void TFollowUpForm::showEvent(QShowEvent* event)
{
    // Attached only while shown: a hidden window does not follow every move of the person.
    DBGridFollowUp->setAttached(true);
    DBGrid1->setAttached(true);
    QDialog::showEvent(event);
    Screen::centre(this);
    DBGridFollowUp->setFocus();
    DBGridFollowUp->scrollTo(DBGridFollowUp->currentIndex(), QAbstractItemView::PositionAtCenter);
}

void TFollowUpForm::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    DBGrid1->setAttached(false);
    DBGridFollowUp->setAttached(false);
}

void TFollowUpForm::pickInto(const QString& column)
{
    if (!m_picker || Modal::exec(m_picker) != QDialog::Accepted)
        return;
    const QDate date = m_picker->date();
    runCommand([&] {
        if (!FollowUp->isEditing())
            FollowUp->edit(); // a person without activities gets a new one
        FollowUp->setValue(column, date);
    });
}

void TFollowUpForm::DBGrid1EditButtonClick()
{
    if (DBGrid1->selectedField() == "ExpectedOrderDate")
        pickInto("ExpectedOrderDate");
    if (DBGrid1->selectedField() == "FUDate")
        pickInto("FUDate");
}

bool TFollowUpForm::FormCloseQuery()
{
    if (!DBGrid1->commitEditor(true))
        return false;
    if (!FollowUp->isEditing())
        return true;
    if (dropUnkeepable())
        return true; // nothing the user could do would keep it: the window does not hold them
    QString reason;
    try {
        WaitCursor busy;
        FollowUp->settle(); // an untouched new activity is dropped, not saved empty
        return true;
    } catch (const Abort&) {
        return false;
    } catch (const DataError& e) {
        reason = e.cause(); // the reason alone: the sentence below says what could not be done
    } catch (const std::exception& e) {
        reason = QString::fromStdString(e.what());
    }
    // Closing would lose the activity: say why and keep it on screen to be mended or cancelled.
    MessageBox::show(MessageBox::Icon::Error,
                     "Your changes to the current activity could not be saved:\n" + reason
                         + "\n\nThe window stays open: correct the activity and close it again, or drop "
                           "the changes with the Cancel edit button.");
    DBGrid1->setFocus();
    DBGrid1->showCellEditor();
    return false;
}

bool TFollowUpForm::dropUnkeepable()
{
    if (!FollowUp->isEditing())
        return false;
    QString why;
    if (personUnsaved())
        why = "This person has not been saved yet because the name is missing, so the activity you typed cannot be "
              "saved and is dropped.\nType the name and save the person, then add the activity again.";
    else if (!m_dataModule->personStored(FollowUp->value("PersonID")))
        why = "This person was deleted by another user, so the activity you typed cannot be saved and is dropped.";
    else
        return false;
    if (FollowUp->isModified())
        MessageBox::show(MessageBox::Icon::Information, why);
    DBGrid1->discardEditor();
    runCommand([this] { FollowUp->cancel(); });
    return true;
}

bool TFollowUpForm::personUnsaved() const
{
    return m_dataModule->PeopleCompanyDet->state() == DatasetState::Insert;
}

void TFollowUpForm::reject()
{
    if (FormCloseQuery())
        QDialog::reject();
}
