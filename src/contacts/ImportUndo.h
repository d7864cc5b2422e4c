#pragma once
#include "platform/MessageBox.h"

#include <QString>

class TMainDataModule;

// Taking back an import: from its closing message and from its entry among the deleted people.
namespace ImportUndo {

// Moves every person the import added to the trash, together, unless one of them was changed
// since; then names them and changes nothing. Tells the user either way.
void run(TMainDataModule& data, qint64 importId);

// The closing message of an import. When the import added people (importId is not 0) it offers
// "Undo this import" beside OK, which stays the default and the answer to Escape. When some of
// the people added look like people on file, it asks instead whether to look at them in the
// duplicate window (Yes, the default; No) or to undo the import; returns true for Yes.
bool report(TMainDataModule& data, MessageBox::Icon icon, const QString& text, qint64 importId, int likely = 0);

} // namespace ImportUndo
