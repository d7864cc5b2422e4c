#pragma once
#include <QObject>

// Application-wide: a letter or digit typed with Alt that no menu or button took as its Alt
// key is dropped, so it never lands in a field, picks a list item or starts a new person.
class AltLetterGuard : public QObject {
public:
    using QObject::QObject;
    static void install(); // once per application

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
