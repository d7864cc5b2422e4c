#pragma once
#include <QString>

// What the "Go to URL" and "Send email" buttons hand to the desktop. Only web addresses are
// opened, so a value typed or imported into a web field can never start a program, and the
// e-mail address is percent-encoded so it cannot add headers, recipients or attachments.
namespace AddressLinks {
QString webTarget(const QString& fieldText);   // empty: open nothing
QString mailtoTarget(const QString& fieldText); // "mailto:" alone for an empty field
}
