#pragma once
#include "VCard.h"
#include "data/Column.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <vector>

// How a person's columns become a vCard and back. Standard properties carry what vCard has a
// property for; every other column travels as X-VANTREL-<column>, and the stored answers to the
// questionnaire as X-VANTREL-ANSWERS, so that a round trip through this program keeps all.
namespace VCardPeople {

const QStringList& columns();  // the People columns a card fills, in the order of values
const QStringList& captions(); // what a message calls each of them

// Writes one card; value(i) is the person's value of columns()[i]; answers may be null.
void write(VCard::Writer& out, const std::function<QVariant(int)>& value, const QVector<int>* answers);

// What a card gave beyond its values.
struct Origin {
    std::vector<int> lines; // the line of the property that gave each value, 0 for none
    int unreadable = 0;     // values that could not be read (a birthday that is no date) and stay empty
    int firstUnreadable = 0; // the line of the first of them
    int cutLine = 0;         // a property read whose value is far longer than any field, or 0
    int broken = 0;          // characters of the values that could not be read, now U+FFFD
    int firstBroken = 0;     // the line of the first of them
};

// Fills values (one text per column, empty for none) and answers (empty when the card has none).
// A card without a full name or name parts is named after its organisation.
void read(const VCard::Card& card, std::vector<QString>& values, QVector<int>& answers, Origin* origin = nullptr);

} // namespace VCardPeople
