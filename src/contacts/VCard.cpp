#include "VCard.h"

#include "CsvReader.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <optional>

namespace VCard {
namespace {
constexpr int kFoldOctets = 75; // RFC 6350: lines SHOULD NOT be longer, line break excluded

bool isQuotedPrintable(const QByteArray& line)
{
    const qsizetype colon = line.indexOf(':');
    const qsizetype end = colon < 0 ? line.size() : colon;
    for (qsizetype i = 0; i + 16 <= end; ++i)
        if ((line[i] == 'Q' || line[i] == 'q') && qstrnicmp(line.constData() + i, "QUOTED-PRINTABLE", 16) == 0)
            return true;
    return false;
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

// The characters that a decoder of the named character set could not read, each made U+FFFD.
// The UTF-16 and UTF-32 decoders put U+FFFD for a unit cut off at the end; the others put U+001A
// for a byte of no character, or drop a character cut off at the end.
int brokenInDecoded(QString& text, bool error, std::optional<QStringConverter::Encoding> encoding, qsizetype bytes)
{
    using E = QStringConverter::Encoding;
    if (encoding == E::Utf16 || encoding == E::Utf16LE || encoding == E::Utf16BE)
        return bytes % 2 != 0;
    if (encoding == E::Utf32 || encoding == E::Utf32LE || encoding == E::Utf32BE)
        return bytes % 4 != 0;
    if (!error)
        return 0;
    int n = 0;
    for (QChar& c : text) {
        if (c.unicode() == 0x1A) {
            c = QChar(QChar::ReplacementCharacter);
            ++n;
        }
    }
    if (n == 0) {
        text += QChar(QChar::ReplacementCharacter);
        n = 1;
    }
    return n;
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

void Writer::beginCard() { m_out += "BEGIN:VCARD\r\nVERSION:4.0\r\n"; }
void Writer::endCard() { m_out += "END:VCARD\r\n"; }

void Writer::property(QByteArrayView nameAndParameters, const QString& value)
{
    if (value.isEmpty())
        return;
    const qsizetype start = m_out.size();
    m_out += nameAndParameters;
    m_out += ':';
    bool ascii = true;
    for (QChar c : value)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        const qsizetype at = m_out.size();
        m_out.resize(at + value.size());
        char* out = m_out.data() + at;
        for (QChar c : value)
            *out++ = char(c.unicode());
    } else {
        m_out += value.toUtf8();
    }
    if (m_out.size() - start > kFoldOctets)
        fold(start);
    m_out += "\r\n";
}

void Writer::fold(qsizetype start)
{
    m_line = m_out.mid(start);
    m_out.truncate(start);
    const QByteArray& text = m_line;
    qsizetype pos = 0;
    int room = kFoldOctets;
    while (pos < text.size()) {
        qsizetype end = std::min(text.size(), pos + room);
        // Never between the bytes of one character: back up to the start of a sequence.
        while (end < text.size() && end > pos && (uchar(text[end]) & 0xC0) == 0x80)
            --end;
        if (room != kFoldOctets)
            m_out += "\r\n ";
        m_out.append(text.constData() + pos, end - pos);
        pos = end;
        room = kFoldOctets - 1; // the leading blank counts
    }
}

QByteArrayView Property::keyOf(const Parameter& p) const
{
    return p.keyLength < 0 ? QByteArrayView("TYPE") : QByteArrayView(m_head).sliced(p.key, p.keyLength);
}

bool Property::hasType(const char* type) const
{
    const QByteArrayView wanted(type);
    for (const Parameter& p : m_parameters) {
        if (keyOf(p).compare("TYPE", Qt::CaseInsensitive) != 0)
            continue;
        const QByteArrayView value = valueOf(p);
        qsizetype start = 0;
        for (qsizetype i = 0; i <= value.size(); ++i) {
            if (i < value.size() && value[i] != ',')
                continue;
            if (value.sliced(start, i - start).trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
                return true;
            start = i + 1;
        }
    }
    return false;
}

QByteArrayView Property::rawParameter(const char* name) const
{
    for (const Parameter& p : m_parameters)
        if (keyOf(p).compare(name, Qt::CaseInsensitive) == 0)
            return valueOf(p);
    return {};
}

QString Property::parameter(const char* name) const
{
    for (const Parameter& p : m_parameters)
        if (keyOf(p).compare(name, Qt::CaseInsensitive) == 0)
            return decodeText(valueOf(p).toByteArray());
    return {};
}

const Property* Card::first(const char* name) const
{
    for (const Property& p : *this)
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
    // A NUL byte anywhere: binary data, refused before anything is read, as the CSV import
    // refuses it. The look is a plain search, at the speed the disk gives the file; one that
    // appears while the file is read stops the reading where it stands.
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (qint64 n; (n = m_file.read(block.data(), block.size())) > 0;) {
        if (std::memchr(block.constData(), 0, size_t(n))) {
            fail(Problem::NotText, 0, QStringLiteral("It holds binary data, not text."));
            return false;
        }
        if (m_observer && !m_observer(0.0)) {
            fail(Problem::Stopped, 0, QStringLiteral("Stopped."));
            return false;
        }
    }
    if (m_file.error() != QFileDevice::NoError || !m_file.seek(0)) {
        fail(Problem::CannotRead, 0, m_file.errorString());
        return false;
    }
    const QByteArray head = m_file.peek(3);
    if (head.startsWith("\xEF\xBB\xBF")) {
        m_file.seek(3);
        m_consumed = 3;
    }
    return true;
}

double Reader::progress() const
{
    return m_size <= 0 ? 1.0 : std::min(1.0, double(m_consumed + m_pos) / double(m_size));
}

bool Reader::fill()
{
    if (m_binaryAhead) {
        fail(Problem::NotText, m_line + 1, QStringLiteral("it holds binary data, not text."));
        return false;
    }
    if (m_eof || m_problem != Problem::None)
        return false;
    constexpr qint64 kBlock = 64 * 1024;
    m_consumed += m_buffer.size();
    m_buffer.resize(kBlock);
    m_pos = 0;
    const qint64 n = m_file.read(m_buffer.data(), kBlock);
    m_buffer.resize(std::max<qint64>(n, 0));
    if (n < 0)
        fail(Problem::CannotRead, m_line + 1, m_file.errorString());
    if (n <= 0) {
        m_eof = true;
        return false;
    }
    if (const void* nul = std::memchr(m_buffer.constData(), 0, size_t(n))) {
        m_buffer.truncate(static_cast<const char*>(nul) - m_buffer.constData());
        m_binaryAhead = true; // what comes before it is read first
    }
    if (m_observer && !m_observer(progress())) {
        fail(Problem::Stopped, m_line + 1, QStringLiteral("Stopped."));
        return false;
    }
    return !m_buffer.isEmpty() || fill();
}

bool Reader::appendLine(QByteArray& to, bool& cut)
{
    bool any = false;
    m_tail[0] = m_tail[1] = 0;
    for (;;) {
        if (m_pos >= m_buffer.size() && !fill()) {
            if (any)
                ++m_line;
            break;
        }
        const char* start = m_buffer.constData() + m_pos;
        const qsizetype available = m_buffer.size() - m_pos;
        const char* end = static_cast<const char*>(std::memchr(start, '\n', size_t(available)));
        const qsizetype n = end ? end - start : available;
        m_scanned += end ? n + 1 : n;
        m_pos += end ? n + 1 : n;
        any = true;
        if (n > 0) {
            const qsizetype room = std::max<qsizetype>(0, kPropertyBytes - to.size());
            to.append(start, std::min(n, room));
            cut = cut || n > room;
            m_tail[0] = n >= 2 ? start[n - 2] : m_tail[1];
            m_tail[1] = start[n - 1];
        }
        if (end) {
            ++m_line;
            break;
        }
    }
    if (m_tail[1] == '\r') {
        if (!cut && to.endsWith('\r'))
            to.chop(1);
        m_tail[1] = m_tail[0];
    }
    return any;
}

int Reader::peek()
{
    if (m_pos >= m_buffer.size() && !fill())
        return -1;
    return uchar(m_buffer[m_pos]);
}

bool Reader::nextLogical(int& number)
{
    m_logical.resize(0);
    m_logicalCut = false;
    if (!appendLine(m_logical, m_logicalCut) || m_problem != Problem::None)
        return false;
    number = m_line;
    const bool qp = isQuotedPrintable(m_logical);
    for (;;) {
        // At the end, or where binary data begins, the line is whole; the next call meets the problem.
        const int next = peek();
        const bool folded = next == ' ' || next == '\t';
        // A soft line break of quoted-printable; some writers fold the next line as well.
        const bool soft = qp && m_tail[1] == '=' && next >= 0;
        if (!folded && !soft)
            break;
        if (soft && !m_logicalCut && m_logical.endsWith('='))
            m_logical.chop(1);
        if (folded)
            ++m_pos; // the blank that marks the fold
        if (!appendLine(m_logical, m_logicalCut) || m_problem != Problem::None)
            return m_problem == Problem::None;
    }
    return true;
}

bool Reader::parse(int lineNumber, Property& p)
{
    const QByteArray& line = m_logical;
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
        fail(Problem::BadCard, lineNumber,
             m_logicalCut && colon < 0
                 ? QStringLiteral("its first 64 KB hold no colon between a property's name and its value.")
                 : QStringLiteral("it has no colon between a property's name and its value."));
        return false;
    }
    p.line = lineNumber;
    p.cut = m_logicalCut;
    p.broken = 0;
    p.m_parameters.clear();
    p.m_head.resize(0);
    p.m_head.append(line.constData(), colon);
    bool qp = false;
    QByteArrayView charset;
    // The name, then the parameters, separated by semicolons outside quotes.
    qsizetype start = 0;
    bool first = true;
    quoted = false;
    for (qsizetype i = 0; i <= colon; ++i) {
        if (i < colon && line[i] == '"')
            quoted = !quoted;
        if (i < colon && (line[i] != ';' || quoted))
            continue;
        QByteArrayView part = QByteArrayView(p.m_head.constData() + start, i - start).trimmed();
        start = i + 1;
        if (first) {
            first = false;
            if (const qsizetype dot = part.lastIndexOf('.'); dot >= 0)
                part = part.sliced(dot + 1); // a group, as in item1.TEL
            p.name.resize(0);
            p.name.append(part);
            for (char& c : p.name)
                if (c >= 'a' && c <= 'z')
                    c = char(c - 'a' + 'A');
            continue;
        }
        const qsizetype eq = part.indexOf('=');
        QByteArrayView key = eq < 0 ? QByteArrayView("TYPE") : part.first(eq).trimmed();
        QByteArrayView value = eq < 0 ? part : part.sliced(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.sliced(1, value.size() - 2);
        if ((key.compare("TYPE", Qt::CaseInsensitive) == 0 || key.compare("ENCODING", Qt::CaseInsensitive) == 0)
            && value.compare("QUOTED-PRINTABLE", Qt::CaseInsensitive) == 0) {
            qp = true;
            continue;
        }
        if (key.compare("CHARSET", Qt::CaseInsensitive) == 0) {
            charset = value;
            continue;
        }
        const char* head = p.m_head.constData();
        p.m_parameters.append({eq < 0 ? 0 : key.data() - head, eq < 0 ? -1 : key.size(), value.data() - head, value.size()});
    }
    QByteArrayView bytes(line.constData() + colon + 1, line.size() - colon - 1);
    if (qp) {
        m_scratch = decodeQuotedPrintable(bytes.toByteArray());
        bytes = m_scratch;
    }
    if (!charset.isEmpty() && charset.compare("UTF-8", Qt::CaseInsensitive) != 0) {
        if (charset.compare("WINDOWS-1252", Qt::CaseInsensitive) == 0) {
            p.value = CsvReader::fromWindows1252(bytes.data(), bytes.size());
        } else {
            const QByteArray name = charset.toByteArray();
            QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
            if (!decoder.isValid()) {
                fail(Problem::BadCard, lineNumber,
                     QString("its character set \"%1\" is unknown.").arg(QString::fromLatin1(charset)));
                return false;
            }
            p.value = decoder.decode(bytes);
            p.broken = brokenInDecoded(p.value, decoder.hasError(), QStringConverter::encodingForName(name.constData()),
                                       bytes.size());
        }
        p.broken += CsvReader::replaceBroken(p.value);
        return true;
    }
    bool ascii = true;
    for (char c : bytes)
        ascii = ascii && uchar(c) < 0x80;
    if (ascii) {
        // Most values: widened in place, without a new string.
        p.value.resize(bytes.size());
        char16_t* out = reinterpret_cast<char16_t*>(p.value.data());
        for (char c : bytes)
            *out++ = char16_t(uchar(c));
    } else {
        p.value = decodeText(bytes.toByteArray());
    }
    if (qp) // a NUL written as =00
        p.broken += CsvReader::replaceBroken(p.value);
    return true;
}

bool Reader::read(Card& card)
{
    // What a large card left behind is given back, so that memory does not add up from card to card.
    const qsizetype used = std::min<qsizetype>(qsizetype(card.m_properties.size()), card.m_count + 1);
    for (qsizetype i = 0; i < used; ++i) {
        Property& p = card.m_properties[size_t(i)];
        if (p.value.capacity() > 4096)
            p.value = QString();
        if (p.m_head.capacity() > 4096)
            p.m_head = QByteArray();
    }
    if (card.m_properties.size() > 256) {
        card.m_properties.resize(256);
        card.m_properties.shrink_to_fit();
    }
    card.m_count = 0;
    card.version.clear();
    card.line = 0;
    int number = 0;
    bool inside = false;
    qsizetype kept = 0; // bytes of the card's lines
    qsizetype held = 0; // bytes of its properties in memory
    while (nextLogical(number)) {
        const QByteArrayView trimmed = QByteArrayView(m_logical).trimmed();
        if (trimmed.isEmpty())
            continue;
        if (!inside) {
            if (trimmed.compare("BEGIN:VCARD", Qt::CaseInsensitive) != 0) {
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
        // A person's card holds some hundred properties of a few kilobytes in all.
        kept += m_logical.size();
        if (card.m_count >= kCardProperties || kept > kCardBytes) {
            fail(Problem::BadCard, card.line,
                 QStringLiteral("the card that begins there is far larger than any person's: more than 10,000 "
                                "properties or 4 MB of text."));
            return false;
        }
        if (card.m_count == int(card.m_properties.size()))
            card.m_properties.emplace_back();
        Property& p = card.m_properties[card.m_count];
        if (!parse(number, p))
            return false;
        held += qsizetype(sizeof(Property)) + p.m_head.capacity() + p.name.capacity()
                + p.value.capacity() * qsizetype(sizeof(QChar));
        m_peakKept = std::max(m_peakKept, held + m_buffer.capacity() + m_logical.capacity() + m_scratch.capacity());
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
            ++card.m_count;
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
