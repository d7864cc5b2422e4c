#pragma once
#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QVector>

#include <functional>
#include <vector>

// Reads a comma-separated file one record at a time, so memory stays bounded whatever the size
// of the file. Quoting follows RFC 4180: a field that begins with a double quote may hold
// commas, doubled quotes and line breaks; a quote anywhere else is plain text, so a line without
// quotes is split at every comma. A carriage return, a line feed or the pair ends a line; a line
// break at the very end adds no empty line.
//
// Encoding: a file that is valid UTF-8 is read as UTF-8, any other as Windows-1252, so accented
// names survive either kind of export. A byte-order mark is dropped; one of UTF-16 is honoured.
// A NUL anywhere makes the file binary data, refused before its first record.
class CsvReader {
public:
    enum class Encoding { Utf8, Utf16LE, Utf16BE, Windows1252 };
    enum class Problem { None, CannotRead, NotText, Stopped };

    class Record {
    public:
        int line = 0; // the line of the file on which the record begins, from 1
        // A quote that opens a field and is never closed takes the rest of the file into that
        // field: the line on which that quote stands, and the field's index; 0 and -1: none.
        int openQuoteLine = 0;
        int openQuoteField = -1;
        // Characters of the kept fields that could not be read (a lone UTF-16 surrogate), each
        // now U+FFFD, and the line of the first.
        int broken = 0;
        int firstBrokenLine = 0;

        int fieldCount() const { return m_count; } // every field, also those past the limit
        bool isEmptyLine() const { return m_count == 0; }
        const QString& field(int i) const; // empty for a field the line does not have
        bool isCut(int i) const { return i < m_kept && m_cut[i]; } // longer than the length limit

    private:
        friend class CsvReader;
        QVector<QString> m_fields; // reused from record to record
        QVector<bool> m_cut;
        int m_kept = 0;
        int m_count = 0;
    };

    explicit CsvReader(const QString& path);
    // Fields past this many are counted but not kept; 0 keeps all.
    void setFieldLimit(int fields) { m_fieldLimit = fields; }
    // A field is kept to this many UTF-16 units and marked cut beyond; 0 keeps it whole.
    void setLengthLimit(int units) { m_lengthLimit = units; }

    // Before the first record the whole file is read once to tell its encoding. The observer sees
    // the share of it done after each megabyte, and stops the opening by answering false.
    void setScanObserver(std::function<bool(double)> observer) { m_scanObserver = std::move(observer); }
    bool open(); // false: problem() and errorString() say why
    Problem problem() const { return m_problem; }
    QString errorString() const { return m_error; }
    Encoding encoding() const { return m_encoding; }

    // The next record; false at the end of the file or on a read error (errorString() is set).
    bool read(Record& record);
    int linesRead() const { return m_line; } // line breaks passed, plus a last unterminated line
    double progress() const;                 // share of the file's bytes read, 0 to 1

    static bool isValidUtf8(const char* data, qsizetype size);
    static QString fromWindows1252(const char* data, qsizetype size);
    // Makes each lone surrogate and each NUL U+FFFD, which the database would otherwise take
    // with the character after it or cut the text at; returns how many there were.
    static int replaceBroken(QString& text);

private:
    bool fill(); // decodes the next chunk; false at the end or on an error
    void fail(const QString& text);

    QString m_path;
    QFile m_file;
    Problem m_problem = Problem::None;
    QString m_error;
    Encoding m_encoding = Encoding::Utf8;
    QStringDecoder m_decoder;
    std::function<bool(double)> m_scanObserver;
    int m_fieldLimit = 0;
    int m_lengthLimit = 0;

    QString m_text;          // the decoded chunk
    std::vector<qsizetype> m_broken; // where m_text has a U+FFFD put for a broken character
    size_t m_nextBroken = 0;
    QString m_carry;         // UTF-16: a high surrogate at the end of a chunk, for the next one
    qint64 m_utf16Bytes = 0;
    qsizetype m_pos = 0;     // next character of m_text
    qint64 m_chunkStart = 0; // bytes of the file before the chunk
    qint64 m_chunkBytes = 0;
    qint64 m_size = 0;
    bool m_atEnd = false;
    bool m_skipLineFeed = false; // a carriage return ended the last line
    int m_line = 0;
};
