#include "TextLimit.h"

namespace TextLimit {

int length(const QString& text)
{
    int n = 0;
    for (int i = 0; i < text.size(); ++i, ++n)
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    return n;
}

QString left(const QString& text, int characters)
{
    int i = 0;
    for (int n = 0; i < text.size() && n < characters; ++i, ++n)
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    return text.left(i);
}

QString oneLine(const QString& text, int* position)
{
    QString out;
    out.reserve(text.size());
    int pos = position ? *position : 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
            continue;
        }
        const bool drop = c.isSurrogate() || c.category() == QChar::Other_Control
                          || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
        if (drop) {
            if (i < (position ? *position : 0))
                --pos;
            continue;
        }
        out += c;
    }
    if (position)
        *position = pos;
    return out;
}

} // namespace TextLimit
