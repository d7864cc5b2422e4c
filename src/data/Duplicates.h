#pragma once
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>
#include <QVector>

#include <vector>

class Connection;

// Finding people who are likely the same person. Names are compared after folding letter case,
// accents (ü and ue, ß and ss, é and e), spacing, punctuation and word order; e-mail addresses
// without regard to case; telephone numbers by their digits, a leading country code standing for
// the trunk 0. People are brought together only by blocking keys (an address, the tail of a
// number, a name, a company with a rare word of the name), never by comparing every pair, so a
// file of a million people is searched in seconds. Two people whose names agree only in common
// first names are never a pair.
namespace Duplicates {

// Why two people look alike, strongest first.
enum Reason : unsigned {
    SameEmail = 1u << 0,
    SameMobile = 1u << 1,
    SameNameAndCompany = 1u << 2,
    SimilarNameAndTelephone = 1u << 3,
    SimilarNameAndCompany = 1u << 4,
    SameName = 1u << 5,
};
QString reasonText(Reason reason); // "same e-mail address", ...
QString reasonsText(unsigned reasons); // the reasons in that order, joined by ", "
int strength(unsigned reasons);        // higher is stronger; 0: no reason

// A name as its words are compared: folded, in sorted order, titles such as "Dr" left out.
QStringList nameWords(QStringView name);
QString foldedName(QStringView name); // the words joined by one blank
QString foldedEmail(QStringView email); // empty when it is no address
// A telephone number as it is compared: its digits, without a leading 00 or trunk 0; empty when
// too short to tell anyone apart. international: it began with + or 00, so it leads with a
// country code.
QString phoneDigits(QStringView number, bool* international = nullptr);
bool samePhone(QStringView a, QStringView b);
bool isCommonFirstName(const QString& foldedWord);

// The columns of a person that the comparison reads, in this order.
const QStringList& columns();

// One person's values of columns(), with their folded forms.
struct Person {
    qint64 id = 0;
    QString shown;         // the name as stored
    QStringList words;     // nameWords
    QString name;          // the words joined
    QString emails[3];     // Email1, Email2, Email
    QString mobile;        // phoneDigits, and whether international
    bool mobileIntl = false;
    QString phones[3];     // PrimaryTel, TelH1, TelH2
    bool phonesIntl[3] = {};
    QString company;       // foldedName
};
Person person(qint64 id, const QVector<QString>& values); // values in the order of columns()

// Why a and b look alike (a combination of Reason), 0 when they do not.
unsigned compare(const Person& a, const Person& b);

struct Group {
    QVector<qint64> people; // ascending PersonID
    QStringList names;      // of each, as stored
    unsigned reasons = 0;   // of every pair in the group
    int strength = 0;       // of its strongest pair
};

// Every group of likely duplicates among the people of a company, strongest first, leaving out
// pairs marked as not duplicates. Throws DataError.
QVector<Group> find(Connection& connection, const QVariant& companyId);
// The same over people given directly (for a batch that is not in the file yet); marked pairs
// as (smaller id, larger id).
QVector<Group> find(const std::vector<Person>& people, const QVector<QPair<qint64, qint64>>& notDuplicates = {});

// The person of the company most like the one described by values (in the order of columns()),
// other than exceptId; id 0 when nobody is. Throws DataError.
struct Match {
    qint64 id = 0;
    unsigned reasons = 0;
};
Match bestMatch(Connection& connection, const QVariant& companyId, const QVector<QString>& values,
                qint64 exceptId = 0);

// How many of the people with PersonID >= fromId are in a group of likely duplicates.
int countFrom(const QVector<Group>& groups, qint64 fromId);

} // namespace Duplicates
