#include "ImportUndo.h"

#include "PeopleTransfer.h"
#include "data/DataError.h"
#include "data/MainDataModule.h"
#include "data/Trash.h"
#include "platform/ErrorDisplay.h"
#include "widgets/WaitCursor.h"

namespace ImportUndo {
namespace {
// Enough names to find the people in the list; the rest are counted.
constexpr int kNamesShown = 10;

QString nameList(const QStringList& names)
{
    QStringList shown = names.mid(0, kNamesShown);
    for (QString& n : shown)
        n = n.trimmed().isEmpty() ? QString("(no name)") : n;
    QString text = shown.join(", ");
    if (names.size() > kNamesShown)
        text += QString(" and %1 more").arg(names.size() - kNamesShown);
    return text;
}
} // namespace

void run(TMainDataModule& data, qint64 importId)
{
    Dataset* people = data.PeopleCompanyDet;
    // The person on screen is settled first, as a move would: her edit may be one of the changes.
    if (!runCommand([&] { people->settle(); }))
        return;
    Trash::Undo undo;
    if (!runCommand([&] {
            WaitCursor wait; // a large import takes seconds
            undo = Trash::undoImport(data.MainADOConnection, importId);
        }))
        return;
    if (undo.alreadyUndone) {
        MessageBox::show(MessageBox::Icon::Information, "This import has been taken back already.");
        return;
    }
    if (!undo.changed.isEmpty()) {
        MessageBox::show(MessageBox::Icon::Warning,
                         QString("The import was not taken back, because %1 of the people it added %2 been changed "
                                 "since: %3. Nothing was changed.")
                             .arg(undo.changed.size())
                             .arg(undo.changed.size() == 1 ? "has" : "have")
                             .arg(nameList(undo.changed)));
        return;
    }
    runCommand([&] {
        WaitCursor wait;
        data.PeopleTakenBack();
    });
    MessageBox::show(MessageBox::Icon::Information,
                     QString("%1 record(s) taken back. \"Deleted people...\" under \"Record\" can bring them back.")
                         .arg(undo.taken));
}

bool report(TMainDataModule& data, MessageBox::Icon icon, const QString& text, qint64 importId, int likely)
{
    if (importId == 0)
        return PeopleTransfer::closingMessage(icon, text, likely);
    MessageBox::Request tell;
    tell.icon = icon;
    if (likely > 0) {
        // One question for both: look at the likely duplicates now, or not, or take it all back.
        tell.text = text + "\n\n" + PeopleTransfer::likelyNote(likely) + " Look at them in the duplicate window now?";
        tell.buttons = {MessageBox::Button::Yes, MessageBox::Button::No, MessageBox::Button::UndoImport};
        tell.defaultButton = MessageBox::Button::Yes;
        tell.escapeButton = MessageBox::Button::No;
    } else {
        tell.text = text;
        tell.buttons = {MessageBox::Button::Ok, MessageBox::Button::UndoImport};
        tell.defaultButton = MessageBox::Button::Ok;
        tell.escapeButton = MessageBox::Button::Ok;
    }
    const MessageBox::Button answer = MessageBox::show(tell);
    if (answer == MessageBox::Button::UndoImport)
        run(data, importId);
    return answer == MessageBox::Button::Yes;
}

} // namespace ImportUndo
