#include "Duplicates.h"

#include "Connection.h"
#include "RowReader.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace Duplicates {
namespace {

// First names common enough that two people sharing one say nothing, folded as names are.
// Several languages, since a salesperson's people come from everywhere.
const QSet<QString>& commonFirstNames()
{
    static const QSet<QString> names = [] {
        const char* list[] = {
            "aaron", "adam", "adrian", "agnes", "ahmed", "alan", "albert", "alberto", "alejandro", "alex",
            "alexander", "alexandra", "alexandre", "ali", "alice", "alina", "amanda", "amelie", "amy", "ana",
            "andre", "andrea", "andreas", "andrew", "angela", "anita", "ann", "anna", "anne", "annette",
            "anton", "antonio", "arne", "astrid", "barbara", "ben", "benjamin", "bernd", "bettina", "bianca",
            "birgit", "bob", "brian", "bruno", "carl", "carla", "carlos", "carmen", "caroline", "catherine",
            "charles", "charlotte", "chris", "christian", "christina", "christine", "christoph", "christopher",
            "claire", "clara", "claudia", "daniel", "daniela", "david", "dennis", "diana", "dieter", "dirk",
            "dominik", "dorothea", "edward", "elena", "elisabeth", "elizabeth", "ellen", "emil", "emilia", "emily",
            "emma", "eric", "erik", "eva", "fabian", "felix", "florian", "francesca", "francesco", "frank",
            "franz", "frederic", "friedrich", "gabriel", "gabriele", "george", "georg", "gerhard", "giovanni",
            "giuseppe", "grace", "gunter", "hana", "hannah", "hans", "harald", "harry", "heike", "heinz",
            "helen", "helena", "helga", "helmut", "henrik", "henry", "herbert", "hugo", "ian", "ida", "ines",
            "ingrid", "irene", "isabel", "isabella", "jack", "jacob", "jakob", "james", "jan", "jana", "jane",
            "janet", "jason", "jean", "jennifer", "jens", "jessica", "joachim", "johan", "johann", "johanna",
            "johannes", "john", "jonas", "jonathan", "jorg", "jose", "joseph", "josef", "juan", "julia",
            "julian", "juliane", "jurgen", "karen", "karin", "karl", "katharina", "kathrin", "katrin", "kevin",
            "klaus", "kristin", "lars", "laura", "lea", "lena", "leon", "linda", "lisa", "louis", "luca",
            "lucas", "lucia", "luis", "lukas", "magnus", "manfred", "manuel", "marco", "marcus", "maria",
            "marie", "marina", "mario", "mark", "markus", "marta", "martin", "martina", "mary", "mathias",
            "matthew", "matthias", "max", "maximilian", "melanie", "mia", "michael", "michal", "michel",
            "michelle", "mike", "monika", "nadine", "nicole", "niklas", "nina", "noah", "olga", "oliver",
            "olivia", "oscar", "otto", "pablo", "patrick", "paul", "paula", "peter", "petra", "philipp",
            "pierre", "rachel", "rainer", "ralf", "rebecca", "richard", "robert", "roberto", "roland", "ronald",
            "rosa", "ruth", "sabine", "sandra", "sara", "sarah", "sebastian", "sergio", "simon", "simone",
            "sofia", "sophia", "sophie", "stefan", "stefanie", "steffen", "stephan", "stephanie", "steve",
            "steven", "susan", "susanne", "sven", "tanja", "thomas", "tim", "timo", "tobias", "tom", "torsten",
            "ulrich", "ursula", "uwe", "valentina", "vanessa", "vera", "victor", "viktor", "walter", "werner",
            "william", "wolfgang", "yvonne"};
        QSet<QString> s;
        for (const char* n : list)
            s.insert(foldedName(QString::fromLatin1(n)));
        return s;
    }();
    return names;
}

// Forms of address and degrees written into the name box; they tell nobody apart.
bool isTitleWord(const QString& w)
{
    static const QSet<QString> titles{"dr",   "mr",  "mrs", "ms",  "miss", "prof", "herr", "frau", "mme",
                                      "mlle", "sir", "jr",  "sr",  "ing",  "dipl", "mag",  "phd", "md"};
    return titles.contains(w);
}

// A letter or digit folded: lower case, the accent dropped; ß, æ and a few letters that carry no
// separable accent written out. Empty: a separator. "\x01": nothing at all (an apostrophe, so
// O'Brien and OBrien agree).
void foldChar(QChar c, QString& out, bool* separator)
{
    const char16_t u = c.unicode();
    *separator = false;
    if (u < 128) {
        if (u >= 'A' && u <= 'Z')
            out += QChar(u + 32);
        else if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
            out += c;
        else if (u == '\'' || u == '`')
            return;
        else
            *separator = true;
        return;
    }
    switch (u) {
    case 0xDF: case 0x1E9E: out += u"ss"; return;
    case 0xC6: case 0xE6: out += u"ae"; return;
    case 0x152: case 0x153: out += u"oe"; return;
    case 0xD8: case 0xF8: out += u'o'; return;
    case 0x141: case 0x142: out += u'l'; return;
    case 0x110: case 0x111: case 0xD0: case 0xF0: out += u'd'; return;
    case 0xDE: case 0xFE: out += u"th"; return;
    case 0x131: out += u'i'; return;
    case 0x2018: case 0x2019: case 0xB4: case 0x2BC: return;
    default: break;
    }
    if (c.isMark())
        return; // a combining accent of a decomposed letter
    if (!c.isLetterOrNumber()) {
        *separator = true;
        return;
    }
    QChar base = c;
    const QString d = c.decomposition();
    if (!d.isEmpty() && d.at(0).isLetter())
        base = d.at(0);
    out += base.toCaseFolded();
}

// ä, ö and ü are written ae, oe and ue where umlauts cannot be typed, and a, o and u where
// they are simply left out: all three forms come to the plain vowel.
void foldVowelPairs(QString& w)
{
    int to = 0;
    for (int i = 0; i < w.size(); ++i) {
        const QChar c = w.at(i);
        if (c == u'e' && to > 0) {
            const QChar before = w.at(to - 1);
            if (before == u'a' || before == u'o' || before == u'u')
                continue;
        }
        w[to++] = c;
    }
    w.truncate(to);
}

// At most one letter added, dropped, changed, or two neighbours swapped.
bool oneEditApart(const QString& a, const QString& b)
{
    const qsizetype n = a.size(), m = b.size();
    if (std::abs(n - m) > 1)
        return false;
    qsizetype i = 0;
    while (i < n && i < m && a.at(i) == b.at(i))
        ++i;
    if (i == n && i == m)
        return true;
    if (n == m) {
        if (QStringView(a).mid(i + 1) == QStringView(b).mid(i + 1))
            return true;
        return i + 1 < n && a.at(i) == b.at(i + 1) && a.at(i + 1) == b.at(i)
               && QStringView(a).mid(i + 2) == QStringView(b).mid(i + 2);
    }
    return n > m ? QStringView(a).mid(i + 1) == QStringView(b).mid(i) : QStringView(a).mid(i) == QStringView(b).mid(i + 1);
}

// A word two names agreeing in it says something about: neither an initial nor a common first name.
bool telling(const QString& w) { return w.size() >= 2 && !isCommonFirstName(w); }

enum class Names { Apart, Similar, Same };

// Each word of the shorter name must meet its own word of the other: the same word, an initial
// of it, or for longer words one typing slip away; and one word that meets its equal must tell.
Names relation(const Person& a, const Person& b)
{
    if (a.words.isEmpty() || b.words.isEmpty())
        return Names::Apart;
    const bool same = a.name == b.name;
    const QStringList& s = a.words.size() <= b.words.size() ? a.words : b.words;
    const QStringList& l = a.words.size() <= b.words.size() ? b.words : a.words;
    if (l.size() > 16)
        return same && std::any_of(s.begin(), s.end(), telling) ? Names::Same : Names::Apart;
    std::vector<char> used(l.size(), 0), met(s.size(), 0);
    bool anchor = false;
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 0; i < s.size(); ++i) {
            if (met[i])
                continue;
            const QString& w = s.at(i);
            for (int j = 0; j < l.size(); ++j) {
                if (used[j])
                    continue;
                const QString& v = l.at(j);
                bool ok = false;
                if (pass == 0)
                    ok = w == v;
                else if (pass == 1)
                    ok = (w.size() == 1 && v.startsWith(w)) || (v.size() == 1 && w.startsWith(v));
                else
                    ok = w.size() >= 5 && v.size() >= 5 && oneEditApart(w, v);
                if (ok) {
                    used[j] = met[i] = 1;
                    if (pass == 0 && telling(w))
                        anchor = true;
                    break;
                }
            }
        }
    }
    if (!anchor || std::find(met.begin(), met.end(), 0) != met.end())
        return Names::Apart;
    return same ? Names::Same : Names::Similar;
}

bool phonesMeet(const QString& a, bool ai, const QString& b, bool bi)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (ai == bi)
        return a == b;
    // +49 171 ... and 0171 ...: the international number is the country code and the national one.
    const QString& intl = ai ? a : b;
    const QString& national = ai ? b : a;
    const qsizetype extra = intl.size() - national.size();
    return extra >= 1 && extra <= 3 && intl.endsWith(national);
}

Person makePerson(qint64 id, const QStringView* v)
{
    Person p;
    p.id = id;
    p.shown = v[0].toString();
    p.words = nameWords(v[0]);
    p.name = p.words.join(u' ');
    for (int i = 0; i < 3; ++i)
        p.emails[i] = foldedEmail(v[1 + i]);
    p.mobile = phoneDigits(v[4], &p.mobileIntl);
    for (int i = 0; i < 3; ++i)
        p.phones[i] = phoneDigits(v[5 + i], &p.phonesIntl[i]);
    p.company = foldedName(v[8]);
    return p;
}

struct Keys {
    std::vector<std::pair<quint64, int>> entries; // key, person index
    void add(char kind, QStringView text, int person)
    {
        entries.emplace_back((quint64(qHash(text, 0x5eed)) << 8) ^ quint64(uchar(kind)) ^ (quint64(text.size()) << 56),
                             person);
    }
};

// Blocks larger than these are addresses and numbers shared by many (a switchboard, an office's
// mailbox) or names too common to say anything: they bring nobody together.
int blockLimit(char kind)
{
    switch (kind) {
    case 'n': return 6;
    case 'c': return 40;
    default: return 8;
    }
}

QString tail(const QString& digits) { return digits.right(6); }

quint64 pairKey(qint64 a, qint64 b) { return a < b ? (quint64(a) << 32) | quint64(b) : (quint64(b) << 32) | quint64(a); }

std::vector<Person> readPeople(Connection& connection, const QVariant& companyId)
{
    QStringList quoted;
    for (const QString& c : columns())
        quoted << Connection::quote(c);
    RowReader r(connection,
                "SELECT \"PersonID\", " + quoted.join(", ") + " FROM \"People\" WHERE "
                    + connection.store().sameAs("\"CompanyID\"", "?") + " ORDER BY \"PersonID\"",
                {companyId});
    std::vector<Person> people;
    QStringView values[9];
    while (r.next()) {
        for (int i = 0; i < 9; ++i)
            values[i] = r.text(i + 1);
        people.push_back(makePerson(r.integer(0), values));
    }
    return people;
}

QVector<QPair<qint64, qint64>> readMarked(Connection& connection)
{
    QVector<QPair<qint64, qint64>> marked;
    RowReader r(connection, "SELECT \"PersonID1\", \"PersonID2\" FROM \"NotDuplicates\"", {});
    while (r.next())
        marked.append({r.integer(0), r.integer(1)});
    return marked;
}
} // namespace

QString reasonText(Reason reason)
{
    switch (reason) {
    case SameEmail: return QStringLiteral("same e-mail address");
    case SameMobile: return QStringLiteral("same mobile number");
    case SameNameAndCompany: return QStringLiteral("same name and company");
    case SimilarNameAndTelephone: return QStringLiteral("similar name and same telephone number");
    case SimilarNameAndCompany: return QStringLiteral("similar name and same company");
    case SameName: return QStringLiteral("same name");
    }
    return {};
}

QString reasonsText(unsigned reasons)
{
    QStringList texts;
    for (unsigned bit = 1; bit <= SameName; bit <<= 1)
        if (reasons & bit)
            texts << reasonText(Reason(bit));
    return texts.join(", ");
}

int strength(unsigned reasons)
{
    static const int score[] = {100, 95, 85, 80, 70, 60};
    int best = 0, count = 0;
    for (int i = 0; i < 6; ++i) {
        if (reasons & (1u << i)) {
            best = std::max(best, score[i]);
            ++count;
        }
    }
    return best == 0 ? 0 : best + 3 * (count - 1);
}

QStringList nameWords(QStringView name)
{
    QStringList words;
    QString word;
    auto flush = [&] {
        if (word.isEmpty())
            return;
        foldVowelPairs(word);
        if (!isTitleWord(word))
            words << word;
        word.clear();
    };
    for (QChar c : name) {
        bool separator;
        foldChar(c, word, &separator);
        if (separator)
            flush();
    }
    flush();
    std::sort(words.begin(), words.end());
    return words;
}

QString foldedName(QStringView name) { return nameWords(name).join(u' '); }

QString foldedEmail(QStringView email)
{
    QStringView e = email.trimmed();
    if (e.startsWith(u"mailto:", Qt::CaseInsensitive))
        e = e.sliced(7);
    const qsizetype at = e.indexOf(u'@');
    if (at <= 0 || at == e.size() - 1)
        return {};
    return e.toString().toCaseFolded();
}

QString phoneDigits(QStringView number, bool* international)
{
    QString digits;
    bool intl = false, started = false;
    for (QChar c : number) {
        if (c.isDigit()) {
            digits += QChar(u'0' + c.digitValue());
            started = true;
        } else if (!started && c == u'+') {
            intl = true;
        } else if (started && c.isLetter()) {
            break; // an extension follows
        }
    }
    if (digits.startsWith(u"00")) {
        digits.remove(0, 2);
        intl = true;
    } else if (!intl && digits.startsWith(u'0')) {
        digits.remove(0, 1);
    }
    if (digits.size() < 6)
        digits.clear();
    if (international)
        *international = intl && !digits.isEmpty();
    return digits;
}

bool samePhone(QStringView a, QStringView b)
{
    bool ai, bi;
    const QString da = phoneDigits(a, &ai), db = phoneDigits(b, &bi);
    return phonesMeet(da, ai, db, bi);
}

bool isCommonFirstName(const QString& foldedWord) { return commonFirstNames().contains(foldedWord); }

const QStringList& columns()
{
    static const QStringList c{"Name", "Email1", "Email2", "Email", "Mobile", "PrimaryTel", "TelH1", "TelH2", "Company"};
    return c;
}

Person person(qint64 id, const QVector<QString>& values)
{
    QStringView v[9];
    for (int i = 0; i < 9; ++i)
        v[i] = i < values.size() ? QStringView(values[i]) : QStringView();
    return makePerson(id, v);
}

unsigned compare(const Person& a, const Person& b)
{
    unsigned r = 0;
    for (const QString& e : a.emails)
        if (!e.isEmpty() && (e == b.emails[0] || e == b.emails[1] || e == b.emails[2]))
            r |= SameEmail;
    if (phonesMeet(a.mobile, a.mobileIntl, b.mobile, b.mobileIntl))
        r |= SameMobile;
    const Names names = relation(a, b);
    if (names == Names::Apart)
        return r;
    if (!a.company.isEmpty() && a.company == b.company)
        r |= names == Names::Same ? SameNameAndCompany : SimilarNameAndCompany;
    if (!(r & SameMobile)) {
        const QString* pa[4] = {&a.mobile, &a.phones[0], &a.phones[1], &a.phones[2]};
        const bool ia[4] = {a.mobileIntl, a.phonesIntl[0], a.phonesIntl[1], a.phonesIntl[2]};
        const QString* pb[4] = {&b.mobile, &b.phones[0], &b.phones[1], &b.phones[2]};
        const bool ib[4] = {b.mobileIntl, b.phonesIntl[0], b.phonesIntl[1], b.phonesIntl[2]};
        for (int i = 0; i < 4 && !(r & SimilarNameAndTelephone); ++i)
            for (int j = 0; j < 4; ++j)
                if (phonesMeet(*pa[i], ia[i], *pb[j], ib[j])) {
                    r |= SimilarNameAndTelephone;
                    break;
                }
    }
    // A shared name alone needs two words, one of them telling.
    if (names == Names::Same && !(r & SameNameAndCompany) && a.words.size() >= 2
        && std::any_of(a.words.begin(), a.words.end(), telling))
        r |= SameName;
    return r;
}

QVector<Group> find(const std::vector<Person>& people, const QVector<QPair<qint64, qint64>>& notDuplicates)
{
    Keys keys;
    keys.entries.reserve(people.size() * 4);
    for (int i = 0; i < int(people.size()); ++i) {
        const Person& p = people[i];
        for (int e = 0; e < 3; ++e) {
            const QString& mail = p.emails[e];
            if (!mail.isEmpty() && (e == 0 || (mail != p.emails[0] && (e < 2 || mail != p.emails[1]))))
                keys.add('e', mail, i);
        }
        if (!p.mobile.isEmpty())
            keys.add('m', tail(p.mobile), i);
        QSet<QString> tails;
        for (const QString* t : {&p.mobile, &p.phones[0], &p.phones[1], &p.phones[2]})
            if (!t->isEmpty())
                tails.insert(tail(*t));
        for (const QString& t : std::as_const(tails))
            keys.add('t', t, i);
        if (p.words.size() >= 2)
            keys.add('n', p.name, i);
        if (!p.company.isEmpty()) {
            QSet<QString> seen;
            for (const QString& w : p.words)
                if (telling(w) && !seen.contains(w)) {
                    seen.insert(w);
                    keys.add('c', p.company + u'\x1f' + w, i);
                }
        }
    }
    std::sort(keys.entries.begin(), keys.entries.end());

    std::unordered_set<quint64> candidates;
    for (size_t from = 0; from < keys.entries.size();) {
        size_t to = from + 1;
        while (to < keys.entries.size() && keys.entries[to].first == keys.entries[from].first)
            ++to;
        const char kind = char(keys.entries[from].first & 0xff);
        const size_t n = to - from;
        if (n >= 2 && n <= size_t(blockLimit(kind)))
            for (size_t i = from; i < to; ++i)
                for (size_t j = i + 1; j < to; ++j)
                    if (keys.entries[i].second != keys.entries[j].second)
                        candidates.insert(pairKey(keys.entries[i].second, keys.entries[j].second));
        from = to;
    }

    std::unordered_set<quint64> marked;
    for (const auto& m : notDuplicates)
        marked.insert(pairKey(m.first, m.second));
    // A group holds only people who are each like every other one in it: joining through chains
    // (A like B by mobile, B like C by name) would put people who share nothing side by side.
    // The strongest pairs found their groups first; a person joins a group only when she is like
    // all of its members, and belongs to one group at most.
    struct Found {
        int a, b, strength;
        unsigned reasons;
    };
    std::vector<Found> found;
    std::unordered_set<quint64> alike;
    for (quint64 c : candidates) {
        const int i = int(c >> 32), j = int(c & 0xffffffffu);
        const Person& a = people[i];
        const Person& b = people[j];
        if (marked.count(pairKey(a.id, b.id)))
            continue;
        const unsigned r = compare(a, b);
        if (!r)
            continue;
        found.push_back({i, j, strength(r), r});
        alike.insert(pairKey(i, j));
    }
    std::sort(found.begin(), found.end(), [&](const Found& x, const Found& y) {
        if (x.strength != y.strength)
            return x.strength > y.strength;
        return std::pair(people[x.a].id, people[x.b].id) < std::pair(people[y.a].id, people[y.b].id);
    });
    std::vector<int> groupOfPerson(people.size(), -1);
    std::vector<std::vector<int>> members;
    auto likeAll = [&](int who, const std::vector<int>& group) {
        return std::all_of(group.begin(), group.end(), [&](int m) { return alike.count(pairKey(who, m)) > 0; });
    };
    for (const Found& f : found) {
        int& ga = groupOfPerson[f.a];
        int& gb = groupOfPerson[f.b];
        if (ga < 0 && gb < 0) {
            ga = gb = int(members.size());
            members.push_back({f.a, f.b});
        } else if (ga >= 0 && gb < 0 && likeAll(f.b, members[ga])) {
            gb = ga;
            members[ga].push_back(f.b);
        } else if (gb >= 0 && ga < 0 && likeAll(f.a, members[gb])) {
            ga = gb;
            members[gb].push_back(f.a);
        }
    }
    QVector<Group> groups(int(members.size()));
    for (int g = 0; g < int(members.size()); ++g)
        for (int i : members[g]) {
            groups[g].people.append(people[i].id);
            groups[g].names.append(people[i].shown);
        }
    for (const Found& f : found) // the reasons and strength of the pairs within each group
        if (groupOfPerson[f.a] >= 0 && groupOfPerson[f.a] == groupOfPerson[f.b]) {
            Group& g = groups[groupOfPerson[f.a]];
            g.reasons |= f.reasons;
            g.strength = std::max(g.strength, f.strength);
        }
    for (Group& g : groups) {
        // In order of their numbers, each name with its person.
        std::vector<std::pair<qint64, QString>> members;
        for (int k = 0; k < g.people.size(); ++k)
            members.emplace_back(g.people[k], g.names[k]);
        std::sort(members.begin(), members.end());
        for (int k = 0; k < g.people.size(); ++k) {
            g.people[k] = members[k].first;
            g.names[k] = members[k].second;
        }
    }
    std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) {
        if (a.strength != b.strength)
            return a.strength > b.strength;
        if (a.people.size() != b.people.size())
            return a.people.size() > b.people.size();
        return a.people.first() < b.people.first();
    });
    return groups;
}

QVector<Group> find(Connection& connection, const QVariant& companyId)
{
    const QVector<QPair<qint64, qint64>> marked = readMarked(connection);
    return find(readPeople(connection, companyId), marked);
}

// Whether a stored person can be like the wanted one at all, tested on the stored text without
// folding it whole: every reason needs a shared address, the tail of a shared number or a shared
// telling word of the name. Buffers are the caller's, so a pass over every person allocates little.
struct Prefilter {
    explicit Prefilter(const Person& wanted) : wanted(wanted)
    {
        for (const QString& w : wanted.words)
            if (telling(w))
                words.insert(w);
        for (const QString* t : {&wanted.mobile, &wanted.phones[0], &wanted.phones[1], &wanted.phones[2]})
            if (!t->isEmpty())
                tails.insert(tail(*t));
    }
    bool mayMatch(const RowReader& r)
    {
        for (int i = 2; i <= 4; ++i) {
            const QStringView e = r.text(i).trimmed();
            if (e.isEmpty())
                continue;
            for (const QString& w : wanted.emails)
                if (!w.isEmpty() && e.endsWith(w, Qt::CaseInsensitive))
                    return true;
        }
        if (!tails.isEmpty()) {
            for (int i = 5; i <= 8; ++i) {
                const QStringView t = r.text(i);
                if (t.isEmpty())
                    continue;
                digits.clear();
                for (QChar c : t) {
                    if (c.isDigit())
                        digits += c;
                    else if (!digits.isEmpty() && c.isLetter())
                        break; // an extension follows
                }
                if (digits.size() >= 6 && tails.contains(digits.right(6)))
                    return true;
            }
        }
        if (words.isEmpty())
            return false;
        word.clear();
        bool separator;
        auto told = [&] {
            if (word.isEmpty())
                return false;
            foldVowelPairs(word);
            const bool hit = words.contains(word);
            word.clear();
            return hit;
        };
        for (QChar c : r.text(1)) {
            foldChar(c, word, &separator);
            if (separator && told())
                return true;
        }
        return told();
    }

    const Person& wanted;
    QSet<QString> words, tails;
    QString word, digits;
};

Match bestMatch(Connection& connection, const QVariant& companyId, const QVector<QString>& values, qint64 exceptId)
{
    const Person wanted = person(0, values);
    Prefilter filter(wanted);
    QStringList quoted;
    for (const QString& c : columns())
        quoted << Connection::quote(c);
    RowReader r(connection, "SELECT \"PersonID\", " + quoted.join(", ") + " FROM \"People\" WHERE "
                                + connection.store().sameAs("\"CompanyID\"", "?"),
                {companyId});
    Match best;
    int bestStrength = 0;
    QStringView v[9];
    while (r.next()) {
        if (r.integer(0) == exceptId || !filter.mayMatch(r))
            continue;
        for (int i = 0; i < 9; ++i)
            v[i] = r.text(i + 1);
        const Person p = makePerson(r.integer(0), v);
        const unsigned reasons = compare(wanted, p);
        const int s = strength(reasons);
        if (s > bestStrength || (s == bestStrength && s > 0 && p.id < best.id)) {
            bestStrength = s;
            best = {p.id, reasons};
        }
    }
    return best;
}

int countFrom(const QVector<Group>& groups, qint64 fromId)
{
    int n = 0;
    for (const Group& g : groups)
        for (qint64 id : g.people)
            if (id >= fromId)
                ++n;
    return n;
}

} // namespace Duplicates
