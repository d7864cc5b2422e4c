#pragma once
#include <QStringList>

// The fixed item lists of the profile's choice controls, in display order. A choice is stored as
// the item's text.
namespace Vocabulary {
const QStringList& titles();
const QStringList& genders();
const QStringList& personTypes();
const QStringList& importances();
const QStringList& addressChoices();
const QStringList& households();
const QStringList& educationLevels();
const QStringList& incomes();
const QStringList& companySizes();
const QStringList& industries();
const QStringList& prospectingMethods();
// The description of the prospecting method at a list position; empty for none.
QString prospectingDescription(int position);
}
