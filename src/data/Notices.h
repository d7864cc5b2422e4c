#pragma once
#include <QString>

#include <functional>

// What the data layer has to tell or ask the user while it works. It shows no windows itself: the
// layer that does (the message boxes) installs itself here, and without it a warning goes to the
// log and a question is answered No.
namespace Notices {

struct Question {
    QString text;
    bool yesIsDefault = false; // Enter answers Yes; Escape always answers No
};

struct Presenter {
    std::function<void(const QString& text)> warn;
    std::function<void(const QString& text)> refuse; // a rule the user's input broke
    std::function<bool(const Question& question)> ask; // true: Yes
};

void install(Presenter presenter);
void warn(const QString& text);
void refuse(const QString& text);
bool ask(const Question& question);

} // namespace Notices
