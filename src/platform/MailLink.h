#pragma once
#include <QString>

// The "mailto:" link handed to the desktop for an address and an optional subject. Both are
// percent-encoded, so a stored address cannot add headers, recipients or attachments.
namespace MailLink {
QString target(const QString& address, const QString& subject = QString()); // "mailto:" alone for no address
}
