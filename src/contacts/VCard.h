#pragma once
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The vCard text format: writing version 4.0 (RFC 6350) and reading 3.0 and 4.0 as phones and
// mail programs write them. Knows nothing of people or the database.
namespace VCard {

// Text with backslashes, commas, semicolons and line breaks escaped, for a property value.
QString escape(const QString& text);
// Splits a value at its unescaped separators (';' between the parts of N and ADR, ',' between
// list items) and undoes the escaping of each part.
QStringList split(QStringView value, QChar separator);
QString unescape(QStringView value);

// Builds a file of cards: each content line is folded at 75 octets without cutting a UTF-8
// character, and lines end in CR LF.
class Writer {
public:
    void beginCard();
    void endCard();
    // One content line; value is written as given, so escape text first. Nothing for an empty value.
    void property(QByteArrayView nameAndParameters, const QString& value);
    QByteArray& bytes() { return m_out; }

private:
    void fold(qsizetype start); // folds the line that begins at start, the last in m_out
    QByteArray m_out, m_line;
};

struct Property {
    int line = 0;         // where the property begins in the file, from 1
    QByteArray name;      // upper case, without a group
    QString value;        // decoded (quoted-printable, character set), still escaped
    // The value went on past what the reader keeps of one property (Reader::kPropertyBytes):
    // value holds its beginning only, which no field of a person can take whole.
    bool cut = false;
    // Characters of the value that could not be read (a lone UTF-16 surrogate, a NUL, a byte
    // of no character in the character set named), each now U+FFFD.
    int broken = 0;
    bool hasType(const char* type) const; // among the TYPE values, letter case ignored
    QString parameter(const char* name) const; // name in capitals; a bare 2.1 value counts as TYPE
    QByteArrayView rawParameter(const char* name) const; // as written, valid while the property is

private:
    friend class Reader;
    struct Parameter {
        qsizetype key, keyLength; // in head; keyLength -1: a bare value, a TYPE
        qsizetype value, valueLength;
    };
    QByteArray m_head;              // the name and parameters as written
    QList<Parameter> m_parameters;  // kept from line to line, so reading allocates little
    QByteArrayView keyOf(const Parameter& p) const;
    QByteArrayView valueOf(const Parameter& p) const { return QByteArrayView(m_head).sliced(p.value, p.valueLength); }
};

struct Card {
    int line = 0; // of BEGIN:VCARD
    QByteArray version;
    const Property* first(const char* name) const;
    const Property* begin() const { return m_properties.data(); }
    const Property* end() const { return m_properties.data() + m_count; }
    int size() const { return m_count; }

private:
    friend class Reader;
    std::vector<Property> m_properties; // reused from card to card, so reading allocates little
    int m_count = 0;
};

// Reads the cards of a file one at a time, each byte looked at once, so time grows with the file's
// size and memory stays bounded whatever the file holds: of a property only the first
// kPropertyBytes are kept, and a card of more than kCardProperties properties or kCardBytes of
// them is refused.
class Reader {
public:
    enum class Problem { None, CannotRead, NotText, NotVCard, BadCard, Stopped };
    static constexpr qsizetype kPropertyBytes = 64 * 1024; // some 50 times the widest field, encoded
    static constexpr int kCardProperties = 10000;
    static constexpr qsizetype kCardBytes = 4 * 1024 * 1024;

    explicit Reader(const QString& path);
    // Sees the share of the file read after each block of it, also inside a card, and stops the
    // reading by answering false (problem() is then Stopped).
    void setObserver(std::function<bool(double)> observer) { m_observer = std::move(observer); }
    bool open(); // false: problem() and errorString() say why
    // The next card; false at the end or on a problem (a card that cannot be read: errorLine()).
    bool read(Card& card);
    Problem problem() const { return m_problem; }
    QString errorString() const { return m_error; }
    int errorLine() const { return m_errorLine; }
    double progress() const; // share of the file's bytes read, 0 to 1

    // What the reading cost so far: the bytes looked at for line ends, and the most bytes of
    // properties kept at one time, buffers included.
    qint64 bytesScanned() const { return m_scanned; }
    qsizetype peakKeptBytes() const { return m_peakKept; }

private:
    bool fill();                                   // the next block; false at the end or on a problem
    bool appendLine(QByteArray& to, bool& cut);    // one line, without its break, kept to kPropertyBytes
    int peek();                                    // the next byte, -1 at the end
    bool nextLogical(int& number);                 // into m_logical, unfolded
    bool parse(int lineNumber, Property& p);
    void fail(Problem problem, int line, const QString& text);

    QFile m_file;
    std::function<bool(double)> m_observer;
    Problem m_problem = Problem::None;
    QString m_error;
    int m_errorLine = 0;
    int m_line = 0; // physical lines read
    QByteArray m_buffer; // one block of the file
    qsizetype m_pos = 0;
    qint64 m_consumed = 0; // bytes of the file before the block
    bool m_eof = false;
    bool m_binaryAhead = false; // the block ends where a NUL byte stands
    char m_tail[2] = {0, 0};    // the last two bytes of the line read last
    QByteArray m_logical, m_scratch;
    bool m_logicalCut = false;
    qint64 m_size = 0;
    qint64 m_scanned = 0;
    qsizetype m_peakKept = 0;
    bool m_seenCard = false;
};

} // namespace VCard
