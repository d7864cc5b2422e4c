#include "AddressLinks.h"

#include "platform/MailLink.h"

#include <QRegularExpression>
#include <QUrl>

namespace AddressLinks {

QString webTarget(const QString& fieldText)
{
    const QString text = fieldText.trimmed();
    if (text.isEmpty())
        return {};
    static const QRegularExpression unsafe(R"([\s\x00-\x1f\x7f"<>\\^`{|}])");
    if (text.contains(unsafe))
        return {};
    static const QRegularExpression scheme(R"(^https?://[^/?#@:]+(:\d+)?([/?#].*)?$)",
                                           QRegularExpression::CaseInsensitiveOption);
    if (scheme.match(text).hasMatch())
        return QUrl(text, QUrl::StrictMode).isValid() ? text : QString();
    // A bare host name such as www.example.com, optionally with a port and a path.
    static const QRegularExpression bareHost(
        R"(^[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?(?:\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)+(:\d+)?([/?#].*)?$)");
    if (bareHost.match(text).hasMatch()) {
        const QString url = "http://" + text;
        return QUrl(url, QUrl::StrictMode).isValid() ? url : QString();
    }
    return {};
}

QString mailtoTarget(const QString& fieldText) { return MailLink::target(fieldText); }

} // namespace AddressLinks
