#include "CsvReader.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {
constexpr qint64 kChunk = 64 * 1024;
constexpr qint64 kTextProbe = 4096; // looked at first, so that binary data is refused at once

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; its five unused codes keep their value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Validates UTF-8 across chunk boundaries: overlong forms, surrogates and code points past
// U+10FFFF are invalid, as is a sequence cut off at the end.
class Utf8Validator {
public:
    bool feed(const unsigned char* p, qsizetype n)
    {
        for (qsizetype i = 0; i < n; ++i) {
            const unsigned char b = p[i];
            if (m_need == 0) {
                if (b < 0x80)
                    continue;
                if (b >= 0xC2 && b <= 0xDF) {
                    m_need = 1;
                } else if (b == 0xE0) {
                    m_need = 2;
                    m_lo = 0xA0;
                } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
                    m_need = 2;
                } else if (b == 0xED) {
                    m_need = 2;
                    m_hi = 0x9F;
                } else if (b == 0xF0) {
                    m_need = 3;
                    m_lo = 0x90;
                } else if (b >= 0xF1 && b <= 0xF3) {
                    m_need = 3;
                } else if (b == 0xF4) {
                    m_need = 3;
                    m_hi = 0x8F;
                } else {
                    return false;
                }
                continue;
            }
            if (b < m_lo || b > m_hi)
                return false;
            m_lo = 0x80;
            m_hi = 0xBF;
            --m_need;
        }
        return true;
    }
    bool complete() const { return m_need == 0; }

private:
    int m_need = 0;
    unsigned char m_lo = 0x80, m_hi = 0xBF;
};
} // namespace

const QString& CsvReader::Record::field(int i) const
{
    static const QString none;
    return i >= 0 && i < m_kept ? m_fields[i] : none;
}

CsvReader::CsvReader(const QString& path) : m_path(path), m_file(path) {}

bool CsvReader::isValidUtf8(const char* data, qsizetype size)
{
    Utf8Validator v;
    return v.feed(reinterpret_cast<const unsigned char*>(data), size) && v.complete();
}

QString CsvReader::fromWindows1252(const char* data, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = static_cast<unsigned char>(data[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? kHighControls[b - 0x80] : char16_t(b);
    }
    return text;
}

namespace {
bool isSurrogateAt(const QString& text, qsizetype i, bool high)
{
    return i >= 0 && i < text.size() && (high ? text[i].isHighSurrogate() : text[i].isLowSurrogate());
}

// Text of the file, given in code units that start at p: whether one is NUL.
bool hasNulUnit(const char* p, qsizetype n)
{
    for (qsizetype i = 0; i + 1 < n; i += 2)
        if (p[i] == 0 && p[i + 1] == 0)
            return true;
    return false;
}
} // namespace

int CsvReader::replaceBroken(QString& text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && isSurrogateAt(text, i + 1, false)) {
            ++i; // a pair
        } else if (c.isSurrogate() || c.unicode() == 0) {
            text[i] = QChar(QChar::ReplacementCharacter);
            ++n;
        }
    }
    return n;
}

void CsvReader::fail(const QString& text)
{
    m_problem = Problem::CannotRead;
    m_error = text;
}

bool CsvReader::open()
{
    if (QFileInfo(m_path).isDir()) {
        fail(QStringLiteral("It is a folder."));
        return false;
    }
    if (!m_file.open(QIODevice::ReadOnly)) {
        fail(m_file.errorString());
        return false;
    }
    m_size = m_file.size();
    const QByteArray head = m_file.read(kTextProbe);
    if (head.isEmpty() && m_file.error() != QFileDevice::NoError) {
        fail(m_file.errorString());
        return false;
    }
    qint64 start = 0;
    if (head.startsWith("\xEF\xBB\xBF")) {
        start = 3;
    } else if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        // UTF-16 text is full of NUL bytes; its byte-order mark says what it is.
        m_encoding = head.startsWith("\xFF\xFE") ? Encoding::Utf16LE : Encoding::Utf16BE;
        m_decoder = QStringDecoder(m_encoding == Encoding::Utf16LE ? QStringConverter::Utf16LE
                                                                   : QStringConverter::Utf16BE);
        start = 2;
    }
    const bool utf16 = start == 2;
    auto binary = [this] {
        m_problem = Problem::NotText;
        m_error = QStringLiteral("It holds binary data, not text.");
        return false;
    };
    if (utf16 ? hasNulUnit(head.constData() + 2, head.size() - 2)
              : std::memchr(head.constData(), 0, size_t(head.size())) != nullptr)
        return binary();
    // One pass before anything is imported: it decides the encoding, and a NUL anywhere makes the
    // file binary data, of which nothing is imported.
    Utf8Validator v;
    bool valid = !utf16 && v.feed(reinterpret_cast<const unsigned char*>(head.constData()) + start, head.size() - start);
    QByteArray chunk;
    while (!m_file.atEnd()) {
        chunk = m_file.read(1024 * 1024); // an even size: UTF-16 units stay whole
        if (chunk.isEmpty()) {
            if (m_file.error() != QFileDevice::NoError) {
                fail(m_file.errorString());
                return false;
            }
            break;
        }
        if (utf16 ? hasNulUnit(chunk.constData(), chunk.size())
                  : std::memchr(chunk.constData(), 0, size_t(chunk.size())) != nullptr)
            return binary();
        valid = valid && v.feed(reinterpret_cast<const unsigned char*>(chunk.constData()), chunk.size());
        if (m_scanObserver && m_size > 0 && !m_scanObserver(double(m_file.pos()) / double(m_size))) {
            m_problem = Problem::Stopped;
            m_error = QStringLiteral("Stopped.");
            return false;
        }
    }
    if (!utf16) {
        valid = valid && v.complete();
        m_encoding = valid ? Encoding::Utf8 : Encoding::Windows1252;
        if (valid)
            m_decoder = QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    }
    if (!m_file.seek(start)) {
        fail(m_file.errorString());
        return false;
    }
    m_chunkStart = start;
    return true;
}

bool CsvReader::fill()
{
    if (m_atEnd || m_problem != Problem::None)
        return false;
    const bool utf16 = m_encoding == Encoding::Utf16LE || m_encoding == Encoding::Utf16BE;
    m_chunkStart += m_chunkBytes;
    const QByteArray bytes = m_file.read(kChunk);
    m_chunkBytes = bytes.size();
    m_pos = 0;
    m_broken.clear();
    m_nextBroken = 0;
    if (bytes.isEmpty()) {
        if (m_file.error() != QFileDevice::NoError)
            fail(m_file.errorString());
        m_atEnd = true;
        // What UTF-16 leaves unfinished at the end: a high surrogate, half a unit.
        m_text = m_carry;
        m_carry.clear();
        if (utf16 && m_utf16Bytes % 2 != 0)
            m_text += QChar(QChar::ReplacementCharacter);
    } else if (m_encoding == Encoding::Windows1252) {
        m_text = fromWindows1252(bytes.constData(), bytes.size());
        return true;
    } else {
        m_text = m_decoder.decode(bytes);
        if (!utf16)
            return true; // valid UTF-8, checked before
        m_utf16Bytes += bytes.size();
        // A pair may be split between two chunks.
        if (!m_carry.isEmpty()) {
            m_text.prepend(m_carry);
            m_carry.clear();
        }
        if (!m_text.isEmpty() && m_text.back().isHighSurrogate()) {
            m_carry = m_text.back();
            m_text.chop(1);
        }
    }
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const QChar c = m_text[i];
        if (c.isHighSurrogate() && isSurrogateAt(m_text, i + 1, false)) {
            ++i;
        } else if (c.isSurrogate()) {
            m_text[i] = QChar(QChar::ReplacementCharacter);
            m_broken.push_back(i);
        }
    }
    if (m_atEnd && utf16 && m_utf16Bytes % 2 != 0)
        m_broken.push_back(m_text.size() - 1);
    return !m_text.isEmpty() || !m_atEnd;
}

double CsvReader::progress() const
{
    if (m_size <= 0)
        return 1.0;
    double done = double(m_chunkStart);
    if (!m_text.isEmpty())
        done += double(m_chunkBytes) * double(m_pos) / double(m_text.size());
    else
        done += double(m_chunkBytes);
    return std::min(1.0, done / double(m_size));
}

bool CsvReader::read(Record& r)
{
    enum class State { FieldStart, Unquoted, Quoted, QuoteSeen };
    State state = State::FieldStart;
    bool started = false;   // the record has a character or a field
    bool lastWasCr = false; // inside quotes: a CR LF pair is one line break
    r.line = m_line + 1;
    r.openQuoteLine = 0;
    r.openQuoteField = -1;
    r.broken = 0;
    r.firstBrokenLine = 0;
    bool broken = false; // the character read stands for one that could not be read
    int quoteLine = 0;
    r.m_kept = 0;
    r.m_count = 0;
    QString* field = nullptr;
    bool* cut = nullptr;
    bool ignoredCut = false; // a field past the limit is read but not kept

    auto beginField = [&] {
        if (m_fieldLimit == 0 || r.m_count < m_fieldLimit) {
            if (r.m_fields.size() <= r.m_count) {
                r.m_fields.resize(r.m_count + 1);
                r.m_cut.resize(r.m_count + 1);
            }
            field = &r.m_fields[r.m_count];
            field->resize(0);
            cut = &r.m_cut[r.m_count];
            *cut = false;
        } else {
            field = nullptr;
            cut = &ignoredCut;
        }
    };
    auto endField = [&] {
        if (field)
            r.m_kept = r.m_count + 1;
        ++r.m_count;
        field = nullptr;
    };
    auto append = [&](QChar c) {
        if (!field)
            return;
        if (m_lengthLimit == 0 || field->size() < m_lengthLimit)
            field->append(c);
        else
            *cut = true;
        if (broken && !r.broken++)
            r.firstBrokenLine = m_line + 1;
    };

    for (;;) {
        if (m_pos >= m_text.size()) {
            if (!fill())
                break;
            if (m_pos >= m_text.size())
                continue;
        }
        broken = m_nextBroken < m_broken.size() && m_broken[m_nextBroken] == m_pos;
        if (broken)
            ++m_nextBroken;
        const QChar c = m_text.at(m_pos++);
        const char16_t u = c.unicode();
        if (m_skipLineFeed) {
            m_skipLineFeed = false;
            if (u == u'\n')
                continue;
        }
        if (!started) {
            started = u != u'\r' && u != u'\n';
            if (started)
                beginField();
        }
        switch (state) {
        case State::Quoted:
            if (u == u'"') {
                state = State::QuoteSeen;
            } else {
                if (u == u'\r' || (u == u'\n' && !lastWasCr))
                    ++m_line;
                append(c);
            }
            lastWasCr = u == u'\r';
            continue;
        case State::FieldStart:
            if (u == u'"') {
                state = State::Quoted;
                quoteLine = m_line + 1;
                lastWasCr = false;
                continue;
            }
            break;
        case State::QuoteSeen:
            if (u == u'"') { // a doubled quote stands for one
                append(c);
                state = State::Quoted;
                continue;
            }
            break;
        case State::Unquoted:
            break;
        }
        // Outside quotes.
        if (u == u',') {
            endField();
            beginField();
            state = State::FieldStart;
        } else if (u == u'\r' || u == u'\n') {
            m_skipLineFeed = u == u'\r';
            ++m_line;
            if (started)
                endField();
            return true;
        } else {
            append(c); // text after a closing quote, or a quote inside an unquoted field, is text
            state = State::Unquoted;
        }
    }
    if (!started)
        return false;
    if (state == State::Quoted) {
        r.openQuoteLine = quoteLine;
        r.openQuoteField = r.m_count;
    }
    endField(); // the last line had no line break, or a quote was never closed
    ++m_line;
    return m_problem == Problem::None;
}
