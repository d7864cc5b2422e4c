#pragma once
#include <QString>

// Column widths count characters as the database does: a character outside the Basic
// Multilingual Plane (an emoji) is one character, though it takes two UTF-16 units.
namespace TextLimit {
int length(const QString& text);
QString left(const QString& text, int characters); // never cuts inside a character
// What a one-line field keeps of typed or pasted text: no line breaks, NUL or other control
// characters, no half of a surrogate pair. *position follows the characters before it.
QString oneLine(const QString& text, int* position = nullptr);
}
