#pragma once
#include <QString>
#include <stdexcept>

// An error of the data layer, with the text the user should see. The cause is the reason alone
// ("The disk that holds Vantrel.vt is full. ..."), for a caller that says in its own words what
// could not be done.
class DataError : public std::runtime_error {
public:
    explicit DataError(const QString& text, const QString& cause = QString())
        : std::runtime_error(text.toStdString()), m_text(text), m_cause(cause.isEmpty() ? text : cause)
    {
    }
    QString text() const { return m_text; }
    QString cause() const { return m_cause; }

private:
    QString m_text;
    QString m_cause;
};

// A silent abort: a before-handler refused the operation and has already told the user why.
struct Abort {};

// The user answered a question about another user's change by going on editing: the operation
// ends silently and the pending row stays as it is.
struct Declined : Abort {};
