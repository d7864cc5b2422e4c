#include "UpperCaseValidator.h"

QValidator::State UpperCaseValidator::validate(QString& input, int&) const
{
    input = upperCased(input);
    return Acceptable;
}

QString UpperCaseValidator::upperCased(const QString& text)
{
    QString result = text;
    QChar* out = result.data();
    const qsizetype size = result.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = out[i];
        if (c.isHighSurrogate() && i + 1 < size && out[i + 1].isLowSurrogate()) {
            const char32_t upper = QChar::toUpper(QChar::surrogateToUcs4(c, out[i + 1]));
            if (QChar::requiresSurrogates(upper)) {
                out[i] = QChar::highSurrogate(upper);
                out[i + 1] = QChar::lowSurrogate(upper);
            }
            ++i;
            continue;
        }
        const char32_t upper = QChar::toUpper(char32_t(c.unicode()));
        if (!QChar::requiresSurrogates(upper))
            out[i] = QChar(upper);
    }
    return result;
}
