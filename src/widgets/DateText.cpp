#include "DateText.h"

#include "platform/Platform.h"

#include <QLocale>
#include <QRegularExpression>
#include <QVariant>

#include <algorithm>

namespace DateText {
namespace {
QString shortFormat()
{
    QString f = QLocale::system().dateFormat(QLocale::ShortFormat);
    if (!f.contains("yyyy"))
        f.replace("yy", "yyyy");
    return f;
}
} // namespace

QString format(const QDate& date)
{
    if (!date.isValid())
        return {};
    return QLocale::system().toString(date, shortFormat());
}

QString formatValue(const QVariant& value)
{
    if (value.isNull())
        return {};
    if (value.metaType().id() == QMetaType::QDate)
        return format(value.toDate());
    if (value.metaType().id() == QMetaType::QDateTime)
        return format(value.toDateTime().date());
    return value.toString();
}

QDate parse(const QString& text)
{
    const QString t = text.trimmed();
    static const QRegularExpression iso(R"(^(\d{4})-(\d{1,2})-(\d{1,2})$)");
    if (const auto m = iso.match(t); m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());

    static const QRegularExpression numbers(R"(^(\d{1,4})[^\d]+(\d{1,4})[^\d]+(\d{1,4})[^\d]*$)");
    const auto m = numbers.match(t);
    if (!m.hasMatch()) {
        // A format with month names, for instance.
        const QDate d = QLocale::system().toDate(t, shortFormat());
        return d.isValid() ? d : QLocale::system().toDate(t, QLocale::ShortFormat);
    }
    // The order of day, month and year in the user's format.
    const QString f = shortFormat();
    struct Part { char kind; qsizetype at; };
    Part order[3] = {{'d', f.indexOf('d')}, {'M', f.indexOf('M')}, {'y', f.indexOf('y')}};
    for (const Part& p : order)
        if (p.at < 0)
            return {};
    std::sort(std::begin(order), std::end(order), [](const Part& a, const Part& b) { return a.at < b.at; });
    int day = 0, month = 0, year = 0;
    for (int i = 0; i < 3; ++i) {
        const QString digits = m.captured(i + 1);
        const int value = digits.toInt();
        switch (order[i].kind) {
        case 'd':
            if (digits.size() > 2)
                return {};
            day = value;
            break;
        case 'M':
            if (digits.size() > 2)
                return {};
            month = value;
            break;
        default:
            if (digits.size() == 3)
                return {};
            if (digits.size() <= 2) {
                const int now = Clock::today().year();
                year = (now - 50) / 100 * 100 + value;
                if (year < now - 50)
                    year += 100;
            } else {
                year = value;
            }
        }
    }
    return QDate(year, month, day);
}
} // namespace DateText
