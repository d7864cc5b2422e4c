#pragma once
#include <QString>
#include <stdexcept>

// Why something the database was asked to do failed, in the terms the user is told: the storage
// sorts its own failure codes into these, so that the layers above decide what to do (wait and
// try again, refuse to save, say the file is damaged) without knowing which database said it.
enum class FailureReason {
    Other,
    Busy,         // another program holds a lock; it passes by itself
    ReadOnly,     // the database, or the folder that holds its journal, cannot be written
    Full,         // no room on the disk
    WriteFailed,  // the disk would not take what was written
    CantOpen,     // the file or its folder cannot be opened
    NoRights,     // the user may not make this change
    Damaged,      // not a database this program can read
    TooLong,      // a value longer than its column holds
    Refused,      // another rule of the schema refused a value
    Interrupted,  // stopped on purpose
    Unreachable,  // the database server could not be reached, or would not take the connection
    WrongPassword, // the server asked for a password, and none or a wrong one was given
    ConnectionLost, // the connection to the server broke in the middle of work
};

// An error of the storage and data layers, with the text the user should see. The cause is the
// reason alone ("The disk that holds Vantrel.vt is full. ..."), for a caller that says in its own
// words what could not be done.
class DataError : public std::runtime_error {
public:
    explicit DataError(const QString& text, const QString& cause = QString(),
                       FailureReason reason = FailureReason::Other)
        : std::runtime_error(text.toStdString()), m_text(sentence(text)),
          m_cause(sentence(cause.isEmpty() ? text : cause)), m_reason(reason)
    {
    }
    DataError(const QString& text, FailureReason reason) : DataError(text, QString(), reason) {}
    QString text() const { return m_text; }
    QString cause() const { return m_cause; }
    FailureReason reason() const { return m_reason; }

    // A message may begin with the database's name, which on a server is "the team database
    // ...": a sentence begins with a capital all the same.
    static QString sentence(QString text)
    {
        if (text.startsWith(QLatin1String("the ")))
            text[0] = QLatin1Char('T');
        return text;
    }

private:
    QString m_text;
    QString m_cause;
    FailureReason m_reason;
};
