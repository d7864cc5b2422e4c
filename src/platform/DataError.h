#pragma once
#include <QString>
#include <stdexcept>

// An error of the data layer, with the text the user should see.
class DataError : public std::runtime_error {
public:
    explicit DataError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

private:
    QString m_text;
};

// A silent abort: a before-handler refused the operation and has already told the user why.
struct Abort {};

// The user answered a question about another user's change by going on editing: the operation
// ends silently and the pending row stays as it is.
struct Declined : Abort {};
