#include "Vocabulary.h"

namespace Vocabulary {

const QStringList& titles()
{
    static const QStringList l{"Dr.", "Miss", "Mr.", "Mrs.", "Ms.", "Prof."};
    return l;
}
const QStringList& genders()
{
    static const QStringList l{"Male", "Female"};
    return l;
}
const QStringList& personTypes()
{
    static const QStringList l{"Customer", "Prospect"};
    return l;
}
const QStringList& importances()
{
    static const QStringList l{"High", "Medium", "Low"};
    return l;
}
const QStringList& addressChoices()
{
    static const QStringList l{"Home", "Business"};
    return l;
}
const QStringList& households()
{
    static const QStringList l{"Single", "Married with no children", "Married with dependent children", "Divorced",
                               "Married with grown children", "Other"};
    return l;
}
const QStringList& educationLevels()
{
    static const QStringList l{"PhD", "Master's", "Bachelor's", "Certificate", "College", "Secondary", "Below secondary"};
    return l;
}
const QStringList& incomes()
{
    static const QStringList l{"< 15,000", "15,000 - 19,999", "20,000 - 29,999", "30,000 - 39,999",
                               "40,000 - 49,999", "50,000 - 59,999", "60,000 - 74,999", "75,000 - 99,999",
                               "100,000 - 124,999", "125,000 - 149,999", "150,000 - 174,999",
                               "175,000 - 199,999", "200,000 - 249,999", "> 250,000"};
    return l;
}
const QStringList& companySizes()
{
    static const QStringList l{"Small", "Small-medium", "Medium", "Medium-large", "Large", "Huge"};
    return l;
}
const QStringList& industries()
{
    static const QStringList l{"Advertising and Marketing", "Aerospace", "Agriculture", "Automotive", "Chemicals",
                               "Computers and Software", "Electronics", "Energy", "Entertainment", "Financial",
                               "Food and Beverage", "Government", "Health", "Human Resources", "Industrial",
                               "Internet", "Law", "Management", "Pharmaceuticals", "Retail", "Small Business",
                               "Telecommunications", "Transportation", "Travel and Tourism"};
    return l;
}
const QStringList& prospectingMethods()
{
    static const QStringList l{"Cold canvass", "Endless chain", "Center of influence", "Personal observation", "News",
                               "Bird dog", "Direct mail", "Telephone", "Past customer", "Present customer",
                               "Organization", "Seminar", "Networking", "Trade show", "Direct response advertising",
                               "Business directory", "Chamber of commerce", "Professional society",
                               "Academic society", "Other"};
    return l;
}

QString prospectingDescription(int position)
{
    static const QStringList texts{
        "Is calling on leads without gathering information about them in advance.",
        "Is asking your current prospects for contacts.",
        "Is asking a person having some influence to pass your name along to new prospects.",
        "Is keeping an eye on potential prospects.",
        "Is keeping yourself updated through TV, radio, newspapers, publications, trade journals, and others.",
        "Is someone that brings in new prospects against commission.",
        "Is sending letters to existing leads.",
        "Is contacting existing leads by telephone.",
        "The prospect is a past customer.",
        "The prospect is a present customer.",
        "Is participating in social events, clubs, and non-profit organizations like Rotary and Lions.",
        "Is contacting seminar, conference, or symposium attendees.",
        "Is sharing leads with other non-competing salespeople in related industries.",
        "Is gathering information through a booth in a show.",
        "Like a response coupon in a newspaper advertisement.",
        "Like the yellow pages.",
        "Usually issuing a directory containing listings of leads.",
        "Like the syndicates.",
        "Like the universities.",
        "Miscellaneous methods of prospecting."};
    return position >= 0 && position < texts.size() ? texts[position] : QString();
}

} // namespace Vocabulary
