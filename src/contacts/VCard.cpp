#include "VCard.h"

#include "CsvReader.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace VCard {
namespace {
constexpr int kFoldOctets = 75; // RFC 6350: lines SHOULD NOT be longer, line break excluded

bool isQuotedPrintable(const QByteArray& line)
{
    const int colon = int(line.indexOf(':'));
    const QByteArray head = (colon < 0 ? line : line.left(colon)).toUpper();
    return head.contains("QUOTED-PRINTABLE");
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(const QByteArray& in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '=' && i + 2 < in.size() + 0 && hexValue(in[i + 1]) >= 0 && hexValue(in[i + 2]) >= 0) {
            out += char(hexValue(in[i + 1]) * 16 + hexValue(in[i + 2]));
            i += 2;
        } else {
            out += c; // a stray '=' is kept as text rather than losing the value
        }
    }
    return out;
}

QString decodeText(const QByteArray& bytes)
{
    if (CsvReader::isValidUtf8(bytes.constData(), bytes.size()))
        return QString::fromUtf8(bytes);
    return CsvReader::fromWindows1252(bytes.constData(), bytes.size());
}

// Splits at a separator outside double quotes.
QList<QByteArray> splitOutsideQuotes(const QByteArray& text, char separator)
{
    QList<QByteArray> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == separator && !quoted) {
            parts << text.mid(start, i - start);
            start = i + 1;
        }
    }
    parts << text.mid(start);
    return parts;
}
} // namespace

QString escape(const QString& text)
{
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\\' || c == u',' || c == u';' || c == u'\n' || c == u'\r')
            break;
    }
    if (i == text.size())
        return text;
    QString out = text.left(i);
    out.reserve(text.size() + 8);
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case u'\\': out += QLatin1String("\\\\"); break;
        case u',': out += QLatin1String("\\,"); break;
        case u';': out += QLatin1String("\\;"); break;
        case u'\r':
            // A line break is one \n, whichever way it was written.
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += QLatin1String("\\n");
            break;
        case u'\n': out += QLatin1String("\\n"); break;
        default: out += c;
        }
    }
    return out;
}

QString unescape(QStringView value)
{
    if (!value.contains(u'\\'))
        return value.toString();
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar n = value[++i];
        switch (n.unicode()) {
        case u'n':
        case u'N': out += u'\n'; break;
        case u'\\':
        case u',':
        case u';':
        case u':': out += n; break;
        default: // not an escape: both characters stay
            out += c;
            out += n;
        }
    }
    return out;
}

QStringList split(QStringView value, QChar separator)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\') {
            ++i;
        } else if (value[i] == separator) {
            parts << unescape(value.sliced(start, i - start));
            start = i + 1;
        }
    }
    parts << unescape(value.sliced(std::min(start, value.size())));
    return parts;
}

void Writer::beginCard() { line("BEGIN:VCARD\r\nVERSION:4.0"); }
void Writer::endCard() { line("END:VCARD"); }

void Writer::property(const char* nameAndParameters, const QString& value)
{
    if (value.isEmpty())
        return;
    QByteArray text(nameAndParameters);
    text += ':';
    text += value.toUtf8();
    line(text);
}

void Writer::line(const QByteArray& text)
{
    if (text.size() <= kFoldOctets) {
        m_out += text;
        m_out += "\r\n";
        return;
    }
    qsizetype pos = 0;
    int room = kFoldOctets;
    while (pos < text.size()) {
        qsizetype end = std::min(text.size(), pos + room);
        // Never between the bytes of one character: back up to the start of a sequence.
        while (end < text.size() && end > pos && (uchar(text[end]) & 0xC0) == 0x80)
            --end;
        if (room != kFoldOctets)
            m_out += ' ';
        m_out.append(text.constData() + pos, end - pos);
        m_out += "\r\n";
        pos = end;
        room = kFoldOctets - 1; // the leading blank counts
    }
}

bool Property::hasType(const char* type) const
{
    for (const auto& [name, value] : parameters) {
        if (name != "TYPE")
            continue;
        for (QStringView t : QStringView(value).split(u','))
            if (t.trimmed().compare(QLatin1String(type), Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}

QString Property::parameter(const char* name) const
{
    for (const auto& [n, value] : parameters)
        if (n == name)
            return value;
    return {};
}

const Property* Card::first(const char* name) const
{
    for (const Property& p : properties)
        if (p.name == name)
            return &p;
    return nullptr;
}

Reader::Reader(const QString& path) : m_file(path) {}

void Reader::fail(Problem problem, int line, const QString& text)
{
    if (m_problem != Problem::None)
        return;
    m_problem = problem;
    m_errorLine = line;
    m_error = text;
}

bool Reader::open()
{
    if (QFileInfo(m_file.fileName()).isDir()) {
        fail(Problem::CannotRead, 0, QStringLiteral("It is a folder."));
        return false;
    }
    if (!m_file.open(QIODevice::ReadOnly)) {
        fail(Problem::CannotRead, 0, m_file.errorString());
        return false;
    }
    m_size = m_file.size();
    const QByteArray head = m_file.peek(4096);
    if (std::memchr(head.constData(), 0, size_t(head.size()))) {
        fail(Problem::NotText, 0, QStringLiteral("It holds binary data, not text."));
        return false;
    }
    if (head.startsWith("\xEF\xBB\xBF"))
        m_file.seek(3);
    return true;
}

double Reader::progress() const
{
    return m_size <= 0 ? 1.0 : std::min(1.0, double(m_file.pos()) / double(m_size));
}

bool Reader::nextLine(QByteArray& line, int& number)
{
    if (m_hasPending) {
        line = std::move(m_pending);
        number = m_pendingLine;
        m_hasPending = false;
        return true;
    }
    if (m_file.atEnd())
        return false;
    line = m_file.readLine();
    if (line.isEmpty() && m_file.error() != QFileDevice::NoError) {
        fail(Problem::CannotRead, m_line + 1, m_file.errorString());
        return false;
    }
    number = ++m_line;
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return true;
}

bool Reader::nextLogical(QByteArray& line, int& number)
{
    if (!nextLine(line, number))
        return false;
    const bool qp = isQuotedPrintable(line);
    QByteArray next;
    int nextNumber = 0;
    while (nextLine(next, nextNumber)) {
        const bool folded = !next.isEmpty() && (next[0] == ' ' || next[0] == '\t');
        if (qp && line.endsWith('=')) {
            // A soft line break of quoted-printable; some writers fold the next line as well.
            line.chop(1);
            line += folded ? next.mid(1) : next;
        } else if (folded) {
            line += next.mid(1);
        } else {
            m_pending = std::move(next);
            m_pendingLine = nextNumber;
            m_hasPending = true;
            break;
        }
    }
    return m_problem == Problem::None;
}

bool Reader::parse(const QByteArray& line, int lineNumber, Property& p)
{
    // The value begins at the first colon outside a quoted parameter value.
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0) {
        fail(Problem::BadCard, lineNumber, QStringLiteral("it has no colon between a property's name and its value."));
        return false;
    }
    p.line = lineNumber;
    p.parameters.clear();
    const QList<QByteArray> head = splitOutsideQuotes(line.left(colon), ';');
    QByteArray name = head[0].trimmed().toUpper();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.mid(dot + 1); // a group, as in item1.TEL
    p.name = name;
    bool qp = false;
    QByteArray charset;
    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArray& part = head[i];
        const qsizetype eq = part.indexOf('=');
        QByteArray key = eq < 0 ? QByteArray("TYPE") : part.left(eq).trimmed().toUpper();
        QByteArray value = eq < 0 ? part.trimmed() : part.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        if ((key == "ENCODING" || key == "TYPE") && value.compare("QUOTED-PRINTABLE", Qt::CaseInsensitive) == 0) {
            qp = true;
            continue;
        }
        if (key == "CHARSET") {
            charset = value;
            continue;
        }
        p.parameters.append({key, decodeText(value)});
    }
    QByteArray bytes = line.mid(colon + 1);
    if (qp)
        bytes = decodeQuotedPrintable(bytes);
    if (!charset.isEmpty() && charset.compare("UTF-8", Qt::CaseInsensitive) != 0) {
        if (charset.compare("WINDOWS-1252", Qt::CaseInsensitive) == 0) {
            p.value = CsvReader::fromWindows1252(bytes.constData(), bytes.size());
        } else {
            QStringDecoder decoder(charset.constData());
            if (!decoder.isValid()) {
                fail(Problem::BadCard, lineNumber,
                     QString("its character set \"%1\" is unknown.").arg(QString::fromLatin1(charset)));
                return false;
            }
            p.value = decoder.decode(bytes);
        }
    } else {
        p.value = decodeText(bytes);
    }
    return true;
}

bool Reader::read(Card& card)
{
    card.properties.clear();
    card.version.clear();
    card.line = 0;
    QByteArray line;
    int number = 0;
    bool inside = false;
    while (nextLogical(line, number)) {
        if (line.trimmed().isEmpty())
            continue;
        if (!inside) {
            if (line.trimmed().compare("BEGIN:VCARD", Qt::CaseInsensitive) != 0) {
                if (m_seenCard)
                    fail(Problem::BadCard, number, QStringLiteral("it stands outside a card."));
                else
                    fail(Problem::NotVCard, number, QStringLiteral("It is not a vCard file."));
                return false;
            }
            inside = true;
            m_seenCard = true;
            card.line = number;
            continue;
        }
        Property p;
        if (!parse(line, number, p))
            return false;
        if (p.name == "END") {
            if (p.value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) != 0)
                break;
            return true;
        }
        if (p.name == "BEGIN")
            break; // a card within a card: the first never ended
        if (p.name == "VERSION")
            card.version = p.value.trimmed().toLatin1();
        else
            card.properties.append(std::move(p));
    }
    if (m_problem != Problem::None)
        return false;
    if (inside) {
        fail(Problem::BadCard, card.line, QStringLiteral("the card that begins there has no END:VCARD."));
        return false;
    }
    if (!m_seenCard)
        fail(Problem::NotVCard, 0, QStringLiteral("It is not a vCard file."));
    return false;
}

} // namespace VCard
