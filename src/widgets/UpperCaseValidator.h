#pragma once
#include <QString>
#include <QValidator>

// Turns letters into capitals while they are typed, for text boxes whose columns are kept in
// capitals. Letter by letter, so the text keeps its length and the cursor its place: a letter
// without a single capital (such as ß) stays as it is.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;

    static QString upperCased(const QString& text);
};
