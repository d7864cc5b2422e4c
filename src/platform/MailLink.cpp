#include "MailLink.h"

#include <QUrl>

namespace MailLink {

QString target(const QString& address, const QString& subject)
{
    // Everything but unreserved characters and "@" is encoded, "?", "&", "," and "%" included.
    QString link = "mailto:" + QString::fromLatin1(QUrl::toPercentEncoding(address.trimmed(), "@"));
    if (!subject.isEmpty())
        link += "?subject=" + QString::fromLatin1(QUrl::toPercentEncoding(subject));
    return link;
}

} // namespace MailLink
