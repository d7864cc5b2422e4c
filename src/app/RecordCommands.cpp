// The People page's record commands, the show/hide command and the web and e-mail buttons.
#include "app/TDataEntryForm.h"

#include "contacts/AddressLinks.h"
#include "contacts/PeoplePage.h"
#include "contacts/Vocabulary.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "data/Dataset.h"
#include "data/DuplicateMerge.h"
#include "data/Duplicates.h"
#include "data/MainDataModule.h"
#include "widgets/WaitCursor.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
constexpr int kCollapsedWidth = 430;
constexpr int kExpandedWidth = 799;

// A deleting question: Escape always answers No.
MessageBox::Button askWarning(const QString& text, const QList<MessageBox::Button>& buttons,
                              MessageBox::Button defaultButton)
{
    MessageBox::Request ask;
    ask.icon = MessageBox::Icon::Warning;
    ask.text = text;
    ask.buttons = buttons;
    ask.defaultButton = defaultButton;
    ask.escapeButton = MessageBox::Button::No;
    return MessageBox::show(ask);
}
} // namespace

bool TDataEntryForm::confirmNewPerson()
{
    Dataset* ds = people();
    if (ds->state() != DatasetState::Insert || !ds->isModified())
        return true;
    Duplicates::Match match;
    QString onFile;
    QVector<QString> values;
    for (const QString& column : Duplicates::columns())
        values << (column == "Name" && m_dataModule->nameText ? m_dataModule->nameText() : ds->value(column).toString());
    // A file that cannot be read for the test does not keep the person from being saved.
    runQuietly([&] {
        Dataset* companies = m_dataModule->CompaniesTable;
        const QVariant company =
            companies->recordCount() > 0 ? companies->valueAt(0, companies->columnIndex("CompanyID")) : QVariant();
        match = Duplicates::bestMatch(m_dataModule->MainADOConnection, company, values);
        if (!match.id)
            return;
        const auto stored = DuplicateMerge::read(m_dataModule->MainADOConnection, {match.id});
        if (stored.isEmpty()) {
            match = {};
            return;
        }
        QStringList details{stored[0].values.value("Name").toString()};
        for (const char* column : {"Company", "Email1", "Mobile"})
            if (!stored[0].values.value(column).toString().trimmed().isEmpty())
                details << stored[0].values.value(column).toString();
        onFile = details.join(", ");
    });
    if (!match.id)
        return true;
    MessageBox::Request ask;
    ask.icon = MessageBox::Icon::Warning;
    ask.text = QString("This person may be on file already: %1 (%2).\n\nOpen that person (what you typed here is not "
                       "saved), save this one as a new person, or cancel to go on editing?")
                   .arg(onFile, Duplicates::reasonsText(match.reasons));
    ask.buttons = {MessageBox::Button::Yes, MessageBox::Button::No, MessageBox::Button::Cancel};
    ask.texts = {"&Open that person", "&Save as a new person", "Cancel"};
    ask.defaultButton = MessageBox::Button::Cancel;
    ask.escapeButton = MessageBox::Button::Cancel;
    const MessageBox::Button answer = MessageBox::show(ask);
    if (answer == MessageBox::Button::No)
        return true;
    if (answer == MessageBox::Button::Yes) {
        runCommand([&] {
            ds->cancel();
            ds->locate({"PersonID"}, {match.id});
            DBComboBox4Change();
        });
        focusShowHide();
    }
    return false;
}

void TDataEntryForm::SpeedButton4Click()
{
    if (!confirmNewPerson())
        return;
    runCommand([this] {
        people()->insert();
        DBComboBox4Change();
        focusShowHide();
    });
}

void TDataEntryForm::SpeedButton3Click()
{
    if (askWarning("This will delete the current record. Proceed?", {MessageBox::Button::Yes, MessageBox::Button::No},
                   MessageBox::Button::Yes)
        == MessageBox::Button::Yes) {
        if (!runCommand([this] { people()->remove(); }))
            return;
    }
    DBComboBox4Change();
    focusShowHide();
}

void TDataEntryForm::SpeedButton1Click()
{
    // A new person nobody typed into is dropped without a word; one with typed values stays
    // unsaved until the answer.
    Dataset* ds = people();
    if (ds->state() == DatasetState::Insert && !ds->isModified())
        ds->cancel();
    if (askWarning("This will delete ALL records in your database. Proceed?",
                   {MessageBox::Button::No, MessageBox::Button::YesToAll}, MessageBox::Button::None)
        == MessageBox::Button::YesToAll) {
        const bool ok = runCommand([&] {
            // Everything goes: a pending change is dropped, not saved first (and a blank name
            // in it cannot stop the deletion).
            ds->cancelUpdates();
            // Every person of the company goes to the trash in one transaction, people other
            // programs added included: all of them or, when the file refuses, none.
            WaitCursor wait;
            m_dataModule->MoveAllPeopleToTrash();
        });
        if (!ok)
            return;
    }
    DBComboBox4Change();
}

void TDataEntryForm::SpeedButton2Click()
{
    if (!people()->isEditing())
        return; // nothing pending: nothing to say, and the focus stays
    if (!confirmNewPerson())
        return;
    // A refusal of the database is said in plain words; the edit stays on screen to be saved again.
    const bool saved = runCommand([this] {
        people()->post();
        DBComboBox4Change();
    });
    if (saved)
        focusShowHide();
}

void TDataEntryForm::SpeedButton5Click()
{
    runCommand([this] {
        people()->cancelUpdates();
        DBComboBox4Change();
    });
}

void TDataEntryForm::SpeedButton6Click()
{
    runCommand([this] {
        people()->refresh();
        DBComboBox4Change();
    });
}

void TDataEntryForm::runMove(const std::function<void(Dataset&)>& step)
{
    // A move first saves the person on screen; when the database refuses, the user is told and
    // the person stays, with the edit.
    if (!confirmNewPerson())
        return;
    runCommand([&] {
        step(*people());
        DBComboBox4Change();
    });
    focusShowHide();
}

void TDataEntryForm::SpeedButton7Click() { runMove([](Dataset& d) { d.first(); }); }
void TDataEntryForm::SpeedButton8Click() { runMove([](Dataset& d) { d.prior(); }); }
void TDataEntryForm::SpeedButton9Click() { runMove([](Dataset& d) { d.next(); }); }
void TDataEntryForm::SpeedButton10Click() { runMove([](Dataset& d) { d.last(); }); }

void TDataEntryForm::Button7Click()
{
    const int screenWidth = Screen::metrics().width;
    const int top = frameGeometry().top();
    if (!BusinessInfoShown) {
        setOuterWidth(kExpandedWidth);
        QMainWindow::move((screenWidth - outerWidth()) / 2, top);
        People->setBusinessHalfShown(true);
        People->Button7->setText("<<< Hide business and other info");
        ShowHidebusinessandotherinfo1->setText("Hide &business and other info");
        BusinessInfoShown = true;
    } else {
        setOuterWidth(kCollapsedWidth);
        QMainWindow::move((screenWidth - kCollapsedWidth) / 2, top);
        People->setBusinessHalfShown(false);
        People->Button7->setText(">>> Show business and other info");
        ShowHidebusinessandotherinfo1->setText("Show &business and other info");
        BusinessInfoShown = false;
    }
}

void TDataEntryForm::SpeedButton17Click()
{
    const QString target = AddressLinks::webTarget(People->WebPageEdit->text());
    if (!target.isEmpty())
        Desktop::open(target);
}

void TDataEntryForm::SpeedButton18Click()
{
    const QString target = AddressLinks::webTarget(People->HomePageEdit->text());
    if (!target.isEmpty())
        Desktop::open(target);
}

void TDataEntryForm::SpeedButton19Click() { Desktop::open(AddressLinks::mailtoTarget(People->Email1Edit->text())); }
void TDataEntryForm::SpeedButton16Click() { Desktop::open(AddressLinks::mailtoTarget(People->Email2Edit->text())); }

void TDataEntryForm::DBComboBox4Change()
{
    People->Memo2->setPlainText(Vocabulary::prospectingDescription(People->DBComboBox4->currentIndex()));
}
