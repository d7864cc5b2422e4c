#include "VCardPeople.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QUrl>

#include <algorithm>

namespace VCardPeople {
namespace {

// Every People column but the keys, in table order, with what a message calls it. The X name is
// set for a column that vCard has no property for.
struct ColumnInfo {
    const char* column;
    const char* caption;
    bool extension; // travels as X-VANTREL-<column in capitals>
    ColumnType type = ColumnType::Text; // what a value must be to be stored; text: of its width
};
constexpr ColumnInfo kColumns[] = {
    {"Name", "Name", false}, {"Title", "Title", false}, {"Gender", "Gender", false},
    {"PersonType", "Type", true}, {"CustoemrImportance", "Importance", true}, {"Language", "Language(s)", true},
    {"Income", "Income", true}, {"EducationLevel", "Level of education", true},
    {"Profession", "Profession", false}, {"Birthday", "Birthday", false, ColumnType::Date},
    {"Breminder", "Birthday reminder", true, ColumnType::Boolean},
    {"Household", "Household lifecycle position", true}, {"Spouse", "Spouse/Partner", false},
    {"Anniversary", "Anniversary", false, ColumnType::Date},
    {"Areminder", "Anniversary reminder", true, ColumnType::Boolean},
    {"Children", "Children", true}, {"HAStreet", "Home Street", false}, {"HACity", "Home City", false},
    {"HAState", "Home State", false}, {"HAPostalCode", "Home ZIP", false}, {"HACountry", "Home Country", false},
    {"HAPostOfficeBox", "Home PO Box", false}, {"PrimaryTel", "Primary Tel", false}, {"Mobile", "Mobile", false},
    {"TelH1", "Home Tel 1", false}, {"TelH2", "Home Tel 2", false}, {"FaxH", "Home Fax", false},
    {"Email1", "Email 1", false}, {"Email2", "Email 2", false}, {"Telex", "Telex", false},
    {"HomePage", "Home page", false}, {"Company", "Company", false}, {"CompanySize", "Company size", true},
    {"Industry", "Industry", true}, {"Department", "Department", false}, {"JobTitle", "Job Title", false},
    {"BAStreet", "Business Street", false}, {"BACity", "Business City", false},
    {"BAState", "Business State", false}, {"BAPostalCode", "Business ZIP", false},
    {"BACountry", "Business Country", false}, {"BAPostOfficeBox", "Business PO Box", false},
    {"MailingAddress", "Mailing address", true}, {"BillingAddress", "Billing address", true},
    {"TelMain", "Main Tel", false}, {"TelCallback", "Callback Tel", false}, {"TelB1", "Business Tel 1", false},
    {"TelB2", "Business Tel 2", false}, {"Ext", "Ext", true}, {"FaxB1", "Business Fax 1", false},
    {"FaxB2", "Business Fax 2", false}, {"WebPage", "Company Web Site", false},
    {"AssistantName", "Assistant Name", true}, {"ManagerName", "Manager Name", true},
    {"ProspectingMethod", "Prospecting method", true}, {"OfferedSolution", "Offered solution", true},
    {"Ethnic", "Ethnic interest", true}, {"Hobbies", "Hobbies", true}, {"Info", "Comments", false},
    {"Address", "Address", true}, {"Email", "Email", true}, {"ReferredBy", "Referred by", true},
    {"ProspectingData", "Prospecting data", true}, {"ProfessionID", "Profession number", true, ColumnType::Integer}};
constexpr int kCount = int(sizeof kColumns / sizeof kColumns[0]);

int indexOf(const char* column)
{
    for (int i = 0; i < kCount; ++i)
        if (qstrcmp(kColumns[i].column, column) == 0)
            return i;
    return -1;
}

// Indexes used below, checked once against the table.
struct Index {
    int name = indexOf("Name"), title = indexOf("Title"), gender = indexOf("Gender"),
        profession = indexOf("Profession"), birthday = indexOf("Birthday"), spouse = indexOf("Spouse"),
        anniversary = indexOf("Anniversary"), email1 = indexOf("Email1"), email2 = indexOf("Email2"),
        homePage = indexOf("HomePage"), company = indexOf("Company"), department = indexOf("Department"),
        jobTitle = indexOf("JobTitle"), webPage = indexOf("WebPage"), info = indexOf("Info");
    int home[6] = {indexOf("HAPostOfficeBox"), indexOf("HAStreet"), indexOf("HACity"), indexOf("HAState"),
                   indexOf("HAPostalCode"), indexOf("HACountry")};
    int business[6] = {indexOf("BAPostOfficeBox"), indexOf("BAStreet"), indexOf("BACity"), indexOf("BAState"),
                       indexOf("BAPostalCode"), indexOf("BACountry")};
};
const Index& ix()
{
    static const Index i;
    return i;
}

// The telephones: the column, its line's name and parameters, and the kinds by which a card from
// elsewhere finds the column (the first free one of a kind wins).
struct Phone {
    const char* column;
    const char* property;
};
constexpr Phone kPhones[] = {
    {"PrimaryTel", "TEL;TYPE=voice;PREF=1;X-VANTREL-COLUMN=PrimaryTel"},
    {"Mobile", "TEL;TYPE=cell;X-VANTREL-COLUMN=Mobile"},
    {"TelH1", "TEL;TYPE=home,voice;X-VANTREL-COLUMN=TelH1"},
    {"TelH2", "TEL;TYPE=home,voice;X-VANTREL-COLUMN=TelH2"},
    {"FaxH", "TEL;TYPE=home,fax;X-VANTREL-COLUMN=FaxH"},
    {"TelMain", "TEL;TYPE=work,voice;X-VANTREL-COLUMN=TelMain"},
    {"TelCallback", "TEL;TYPE=voice;X-VANTREL-COLUMN=TelCallback"},
    {"TelB1", "TEL;TYPE=work,voice;X-VANTREL-COLUMN=TelB1"},
    {"TelB2", "TEL;TYPE=work,voice;X-VANTREL-COLUMN=TelB2"},
    {"FaxB1", "TEL;TYPE=work,fax;X-VANTREL-COLUMN=FaxB1"},
    {"FaxB2", "TEL;TYPE=work,fax;X-VANTREL-COLUMN=FaxB2"},
    {"Telex", "TEL;TYPE=x-telex;X-VANTREL-COLUMN=Telex"}};

const QByteArray& extensionName(int i)
{
    static const std::vector<QByteArray> names = [] {
        std::vector<QByteArray> l;
        for (const ColumnInfo& c : kColumns)
            l.push_back("X-VANTREL-" + QByteArray(c.column).toUpper());
        return l;
    }();
    return names[i];
}

// A date as vCard writes it; one stored without a year goes out without one (--MMDD), as phones
// write it, so that it comes back the same.
QString dateText(const QVariant& v)
{
    if (v.metaType().id() == QMetaType::QDate) {
        const QDate d = v.toDate();
        return d.toString(d.year() == kNoYear ? "--MMdd" : "yyyyMMdd");
    }
    if (v.metaType().id() == QMetaType::QDateTime) {
        const QDateTime t = v.toDateTime();
        return t.toString(t.date().year() == kNoYear ? "--MMdd'T'HHmmss" : "yyyyMMdd'T'HHmmss");
    }
    return {};
}

// A date as phones and mail programs write it, as the database stores it; empty when it is not
// a date with at least a month and a day. A date without a year (--MMDD in 4.0, --MM-DD in 3.0)
// takes the year that stands for none.
QString storedDate(QStringView written)
{
    written = written.trimmed();
    QString yearless;
    if (written.startsWith(u"--") && written.size() > 2 && written[2] != u'-') {
        yearless = QString::number(kNoYear) + u'-' + written.sliced(2).toString();
        written = yearless;
    }
    QStringView text = written;
    // Digits only, separators dropped: yyyymmdd, then the time's hhmmss if there is one.
    int digits[14] = {};
    int n = 0;
    bool inTime = false;
    for (QChar c : text) {
        if (c.isDigit()) {
            if (n == 14)
                return {};
            digits[n++] = c.digitValue();
        } else if (c == u'T' || c == u't') {
            if (n != 8 || inTime)
                return {};
            inTime = true;
        } else if (c == u'Z' || c == u'+' || (c == u'-' && inTime)) {
            break; // a zone: the time is kept as written
        } else if (c != u'-' && c != u':') {
            return {};
        }
    }
    auto number = [&](int from, int count) {
        int v = 0;
        for (int i = from; i < from + count; ++i)
            v = v * 10 + digits[i];
        return v;
    };
    const QDate d(number(0, 4), number(4, 2), number(6, 2));
    if (n < 8 || !d.isValid())
        return {};
    const QTime t = n >= 14 ? QTime(number(8, 2), number(10, 2), number(12, 2))
                  : n >= 12 ? QTime(number(8, 2), number(10, 2))
                            : QTime(0, 0);
    if (!t.isValid() || t == QTime(0, 0))
        return d.toString(Qt::ISODate);
    return QDateTime(d, t).toString(Qt::ISODate);
}

QString nameFromParts(const QStringList& n)
{
    // Family; given; additional; prefix; suffix: a name reads given, additional, family, suffix.
    QStringList parts;
    for (int i : {1, 2, 0, 4})
        if (i < n.size() && !n[i].trimmed().isEmpty())
            parts << n[i].trimmed();
    return parts.join(u' ');
}

// The first of the columns that is still empty.
int firstFree(const std::vector<QString>& values, std::initializer_list<const char*> candidates)
{
    for (const char* c : candidates) {
        const int i = indexOf(c);
        if (i >= 0 && values[i].isEmpty())
            return i;
    }
    return -1;
}

int columnParameter(const VCard::Property& p)
{
    const QByteArrayView c = p.rawParameter("X-VANTREL-COLUMN");
    if (c.isEmpty())
        return -1;
    for (int i = 0; i < kCount; ++i)
        if (c == QByteArrayView(kColumns[i].column))
            return i;
    return -1;
}

int phoneColumn(const VCard::Property& p, const std::vector<QString>& values)
{
    const bool home = p.hasType("home"), work = p.hasType("work");
    if (p.hasType("fax"))
        return home ? firstFree(values, {"FaxH", "FaxB1", "FaxB2"}) : firstFree(values, {"FaxB1", "FaxB2", "FaxH"});
    if (p.hasType("cell") || p.hasType("mobile") || p.hasType("iphone"))
        return firstFree(values, {"Mobile", "PrimaryTel", "TelH1", "TelH2", "TelB1", "TelB2"});
    if (p.hasType("x-telex") || p.hasType("tlx"))
        return firstFree(values, {"Telex"});
    if (p.hasType("main"))
        return firstFree(values, {"TelMain", "TelB1", "TelB2"});
    if (home)
        return firstFree(values, {"TelH1", "TelH2", "PrimaryTel"});
    if (work)
        return firstFree(values, {"TelB1", "TelB2", "TelMain", "PrimaryTel"});
    return firstFree(values, {"PrimaryTel", "TelH1", "TelH2", "TelB1", "TelB2", "TelMain", "TelCallback"});
}

// A telephone written as a URI (tel:+1-555-555-5555;ext=123) becomes the number alone; the
// extension goes to ext. The URI's other parameters (isub, phone-context) are not dialled.
void takeTelUri(QString& number, QString& ext)
{
    if (!number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        return;
    auto decoded = [](QStringView part) {
        return part.contains(u'%') ? QUrl::fromPercentEncoding(part.toUtf8()) : part.toString();
    };
    const QStringView uri = QStringView(number).sliced(4);
    qsizetype end = uri.indexOf(u';');
    QString found;
    for (qsizetype start = end; start >= 0 && start < uri.size();) {
        qsizetype next = uri.indexOf(u';', start + 1);
        const QStringView parameter = uri.sliced(start + 1, (next < 0 ? uri.size() : next) - start - 1);
        if (parameter.startsWith(QLatin1String("ext="), Qt::CaseInsensitive) && found.isEmpty())
            found = decoded(parameter.sliced(4)).trimmed();
        start = next;
    }
    ext = found;
    number = decoded(end < 0 ? uri : uri.first(end)).trimmed();
}

bool isPreferred(const VCard::Property& p) { return p.hasType("pref") || !p.parameter("PREF").isEmpty(); }

// What each property is to the mapping, found with one look-up: the if-chain below compares kinds.
enum class K { Other, Fn, N, Gender, Date, Org, Title, Role, Adr, Tel, Email, Url, Related, Spouse, Assistant, Manager,
               Note, Answers, Extension };
const QHash<QByteArray, std::pair<K, int>>& kinds()
{
    static const QHash<QByteArray, std::pair<K, int>> h = [] {
        QHash<QByteArray, std::pair<K, int>> k;
        const Index& x = ix();
        for (const auto& [name, kind] : std::initializer_list<std::pair<const char*, K>>{
                 {"FN", K::Fn}, {"N", K::N}, {"GENDER", K::Gender}, {"ORG", K::Org}, {"TITLE", K::Title},
                 {"ROLE", K::Role}, {"ADR", K::Adr}, {"TEL", K::Tel}, {"EMAIL", K::Email}, {"URL", K::Url},
                 {"RELATED", K::Related}, {"X-SPOUSE", K::Spouse}, {"X-EVOLUTION-SPOUSE", K::Spouse},
                 {"X-MS-SPOUSE", K::Spouse}, {"X-ASSISTANT", K::Assistant}, {"X-EVOLUTION-ASSISTANT", K::Assistant},
                 {"X-MS-ASSISTANT", K::Assistant}, {"X-MANAGER", K::Manager}, {"X-EVOLUTION-MANAGER", K::Manager},
                 {"X-MS-MANAGER", K::Manager}, {"NOTE", K::Note}, {"X-VANTREL-ANSWERS", K::Answers}})
            k.insert(name, {kind, -1});
        k.insert("BDAY", {K::Date, x.birthday});
        for (const char* name : {"ANNIVERSARY", "X-ANNIVERSARY", "X-EVOLUTION-ANNIVERSARY", "X-MS-ANNIVERSARY"})
            k.insert(name, {K::Date, x.anniversary});
        for (int i = 0; i < kCount; ++i)
            if (kColumns[i].extension)
                k.insert(extensionName(i), {K::Extension, i});
        return k;
    }();
    return h;
}

} // namespace

const QStringList& columns()
{
    static const QStringList l = [] {
        QStringList c;
        for (const ColumnInfo& i : kColumns)
            c << QString::fromLatin1(i.column);
        return c;
    }();
    return l;
}

const QStringList& captions()
{
    static const QStringList l = [] {
        QStringList c;
        for (const ColumnInfo& i : kColumns)
            c << QString::fromLatin1(i.caption);
        return c;
    }();
    return l;
}

void write(VCard::Writer& out, const std::function<QVariant(int)>& value, const QVector<int>* answers)
{
    const Index& x = ix();
    auto text = [&](int i) { return value(i).toString(); };
    out.beginCard();
    const QString name = text(x.name);
    out.property("FN", VCard::escape(name));
    {
        // Other programs sort by the family name: "Berg, Anna" and "Anna Berg" both give Berg.
        QString family = name.trimmed(), given;
        if (const qsizetype comma = family.indexOf(u','); comma > 0) {
            given = family.mid(comma + 1).trimmed();
            family = family.left(comma).trimmed();
        } else if (const qsizetype blank = family.lastIndexOf(u' '); blank > 0) {
            given = family.left(blank).trimmed();
            family = family.mid(blank + 1);
        }
        out.property("N", VCard::escape(family) + u';' + VCard::escape(given) + QLatin1String(";;") + VCard::escape(text(x.title))
                              + u';');
    }
    const QString gender = text(x.gender);
    if (gender == QLatin1String("Male"))
        out.property("GENDER", "M");
    else if (gender == QLatin1String("Female"))
        out.property("GENDER", "F");
    else if (!gender.isEmpty())
        out.property("GENDER", "O;" + VCard::escape(gender));
    for (const auto& [column, property] : {std::pair{x.birthday, "BDAY"}, std::pair{x.anniversary, "ANNIVERSARY"}}) {
        const QVariant v = value(column);
        const QString date = dateText(v);
        if (!date.isEmpty())
            out.property(property, date);
        else if (!v.toString().isEmpty()) // a text the database holds that is no date
            out.property(QByteArray(property) + ";VALUE=text", VCard::escape(v.toString()));
    }
    const QString company = text(x.company), department = text(x.department);
    if (!company.isEmpty() || !department.isEmpty())
        out.property("ORG", VCard::escape(company) + (department.isEmpty() ? QString() : ";" + VCard::escape(department)));
    out.property("TITLE", VCard::escape(text(x.jobTitle)));
    out.property("ROLE", VCard::escape(text(x.profession)));
    for (const auto& [parts, property] :
         {std::pair{x.home, "ADR;TYPE=home;X-VANTREL-COLUMN=HAStreet"}, std::pair{x.business, "ADR;TYPE=work;X-VANTREL-COLUMN=BAStreet"}}) {
        QString adr;
        bool any = false;
        // Post office box; extended address; street; locality; region; postal code; country.
        for (int i = 0; i < 6; ++i) {
            const QString t = text(parts[i]);
            any = any || !t.isEmpty();
            adr += VCard::escape(t);
            adr += i == 0 ? QLatin1String(";;") : i < 5 ? QLatin1String(";") : QLatin1String("");
        }
        if (any)
            out.property(property, adr);
    }
    for (const Phone& p : kPhones)
        out.property(p.property, VCard::escape(text(indexOf(p.column))));
    out.property("EMAIL;PREF=1;X-VANTREL-COLUMN=Email1", VCard::escape(text(x.email1)));
    out.property("EMAIL;X-VANTREL-COLUMN=Email2", VCard::escape(text(x.email2)));
    out.property("URL;TYPE=work;X-VANTREL-COLUMN=WebPage", VCard::escape(text(x.webPage)));
    out.property("URL;TYPE=home;X-VANTREL-COLUMN=HomePage", VCard::escape(text(x.homePage)));
    out.property("RELATED;TYPE=spouse;VALUE=text", VCard::escape(text(x.spouse)));
    out.property("NOTE", VCard::escape(text(x.info)));
    for (int i = 0; i < kCount; ++i) {
        if (!kColumns[i].extension)
            continue;
        const QVariant v = value(i);
        if (v.metaType().id() == QMetaType::Bool)
            out.property(extensionName(i), v.toBool() ? "1" : "0");
        else
            out.property(extensionName(i), VCard::escape(v.toString()));
    }
    if (answers && !answers->isEmpty()) {
        QString a;
        for (int v : *answers) {
            if (!a.isEmpty())
                a += u' ';
            a += QString::number(v);
        }
        out.property("X-VANTREL-ANSWERS", a);
    }
    out.endCard();
}

void read(const VCard::Card& card, std::vector<QString>& values, QVector<int>& answers, Origin* origin)
{
    const Index& x = ix();
    values.assign(kCount, QString());
    answers.clear();
    std::vector<int> ownLines;
    std::vector<int>& lines = origin ? origin->lines : ownLines;
    lines.assign(kCount, 0);
    int unreadable = 0;
    int firstUnreadable = 0;
    auto notRead = [&](int at) {
        if (!unreadable++ || at < firstUnreadable)
            firstUnreadable = at;
    };
    int cutLine = 0;
    int line = 0;   // of the property being read
    int broken = 0; // its characters that could not be read
    std::vector<std::pair<int, int>> sources(kCount); // the line and broken characters behind each value
    auto put = [&](int i, const QString& v) {
        values[i] = v;
        lines[i] = line;
        sources[i] = {line, broken};
    };
    auto setIfEmpty = [&](int i, const QString& v) {
        if (i >= 0 && values[i].isEmpty())
            put(i, v);
    };
    QString structuredName;
    int structuredLine = 0, structuredBroken = 0;
    QString ext; // from a telephone's URI
    int extLine = 0, extBroken = 0;
    struct Email {
        QString address;
        int line, broken;
    };
    QList<Email> emails; // preferred first
    for (const VCard::Property& p : card) {
        line = p.line;
        broken = p.broken;
        const auto [kind, arg] = kinds().value(p.name);
        // A value far longer than any field is no value of a person's.
        if (kind != K::Other && p.cut && !cutLine)
            cutLine = p.line;
        if (kind == K::Fn) {
            setIfEmpty(x.name, VCard::unescape(p.value).trimmed().isEmpty() ? QString() : VCard::unescape(p.value));
        } else if (kind == K::N) {
            const QStringList parts = VCard::split(p.value, u';');
            structuredName = nameFromParts(parts);
            structuredLine = line;
            structuredBroken = broken;
            if (parts.size() > 3)
                setIfEmpty(x.title, parts[3]);
        } else if (kind == K::Gender) {
            const QStringList parts = VCard::split(p.value, u';');
            const QString sex = parts.value(0).trimmed().toUpper();
            setIfEmpty(x.gender, sex == "M" ? QString("Male") : sex == "F" ? QString("Female") : parts.value(1));
        } else if (kind == K::Date) {
            // The column holds a date, so a value typed as text is stored only when it is one.
            const int column = arg;
            if (values[column].isEmpty()) {
                const bool text = p.parameter("VALUE").compare(QLatin1String("text"), Qt::CaseInsensitive) == 0;
                const QString written = text ? VCard::unescape(p.value) : p.value;
                const QString date = storedDate(written);
                if (date.isEmpty() && !written.trimmed().isEmpty())
                    notRead(p.line);
                setIfEmpty(column, date);
            }
        } else if (kind == K::Org) {
            const QStringList parts = VCard::split(p.value, u';');
            setIfEmpty(x.company, parts.value(0));
            setIfEmpty(x.department, parts.mid(1).join(u' '));
        } else if (kind == K::Title) {
            setIfEmpty(x.jobTitle, VCard::unescape(p.value));
        } else if (kind == K::Role) {
            setIfEmpty(x.profession, VCard::unescape(p.value));
        } else if (kind == K::Adr) {
            const int own = columnParameter(p);
            const bool home = own >= 0 ? own == indexOf("HAStreet") : p.hasType("home") || (!p.hasType("work") && values[x.home[1]].isEmpty() && values[x.home[2]].isEmpty());
            const int* target = home ? x.home : x.business;
            bool free = true;
            for (int i = 0; i < 6; ++i)
                free = free && values[target[i]].isEmpty();
            if (!free)
                continue;
            const QStringList parts = VCard::split(p.value, u';');
            for (int i = 0; i < 6; ++i)
                put(target[i], parts.value(i == 0 ? 0 : i + 1));
        } else if (kind == K::Tel) {
            const int own = columnParameter(p);
            int column = own;
            if (column < 0 || !values[column].isEmpty())
                column = phoneColumn(p, values);
            QString number = VCard::unescape(p.value), extension;
            // Our own cards and values typed as text hold the number as it was stored, "tel:"
            // included; only a URI is taken apart.
            if (own < 0 && p.parameter("VALUE").compare(QLatin1String("text"), Qt::CaseInsensitive) != 0)
                takeTelUri(number, extension);
            if (column >= 0)
                put(column, number);
            if (column >= 0 && !extension.isEmpty() && ext.isEmpty()) {
                ext = extension;
                extLine = line;
                extBroken = broken;
            }
        } else if (kind == K::Email) {
            const int column = columnParameter(p);
            const QString address = VCard::unescape(p.value);
            if ((column == x.email1 || column == x.email2) && values[column].isEmpty())
                put(column, address);
            else if (isPreferred(p))
                emails.prepend({address, line, broken});
            else
                emails.append({address, line, broken});
        } else if (kind == K::Url) {
            const int column = columnParameter(p);
            const QString url = VCard::unescape(p.value);
            if (column == x.webPage || column == x.homePage)
                setIfEmpty(column, url);
            else if (p.hasType("home"))
                setIfEmpty(values[x.homePage].isEmpty() ? x.homePage : x.webPage, url);
            else
                setIfEmpty(values[x.webPage].isEmpty() ? x.webPage : x.homePage, url);
        } else if (kind == K::Related) {
            if (p.hasType("spouse"))
                setIfEmpty(x.spouse, VCard::unescape(p.value));
        } else if (kind == K::Spouse) {
            setIfEmpty(x.spouse, VCard::unescape(p.value));
        } else if (kind == K::Assistant) {
            setIfEmpty(indexOf("AssistantName"), VCard::unescape(p.value));
        } else if (kind == K::Manager) {
            setIfEmpty(indexOf("ManagerName"), VCard::unescape(p.value));
        } else if (kind == K::Note) {
            setIfEmpty(x.info, VCard::unescape(p.value));
        } else if (kind == K::Answers) {
            const QStringList a = p.value.split(u' ', Qt::SkipEmptyParts);
            answers.clear();
            bool ok = a.size() == 24;
            for (qsizetype i = 0; ok && i < a.size(); ++i)
                answers << a[i].toInt(&ok);
            if (!ok) {
                answers.clear();
                notRead(p.line);
            }
        } else if (kind == K::Extension) {
            setIfEmpty(arg, VCard::unescape(p.value));
        }
        // Every other property (photos, instant messaging, categories...) has no column.
    }
    line = structuredLine;
    broken = structuredBroken;
    if (values[x.name].trimmed().isEmpty() && !structuredName.isEmpty())
        put(x.name, structuredName);
    // A company's own card (phones write them) has no person's name: the organisation is the name.
    if (values[x.name].trimmed().isEmpty()) {
        const int from = !values[x.company].trimmed().isEmpty() ? x.company : x.department;
        line = sources[from].first;
        broken = sources[from].second;
        put(x.name, values[from].trimmed().isEmpty() ? QString() : values[from]);
    }
    // An extension the card names as such (X-VANTREL-EXT) comes before one inside a number.
    line = extLine;
    broken = extBroken;
    setIfEmpty(indexOf("Ext"), ext);
    for (const Email& e : emails) {
        line = e.line;
        broken = e.broken;
        if (values[x.email1].isEmpty())
            put(x.email1, e.address);
        else if (values[x.email2].isEmpty())
            put(x.email2, e.address);
    }
    // A reminder is on or off, a profession number a number: anything else is left empty.
    for (int i = 0; i < kCount; ++i) {
        const ColumnType type = kColumns[i].type;
        if (values[i].isEmpty() || (type != ColumnType::Boolean && type != ColumnType::Integer))
            continue;
        const QString v = values[i].trimmed();
        bool ok = false;
        if (type == ColumnType::Boolean)
            ok = v == u'0' || v == u'1';
        else
            v.toInt(&ok);
        values[i] = ok ? v : QString();
        if (!ok)
            notRead(lines[i]);
    }
    // Characters that could not be read, in the values kept; a property that gave several (an
    // address) counts once.
    std::vector<std::pair<int, int>> brokenSources;
    for (int i = 0; i < kCount; ++i)
        if (sources[i].second > 0 && !values[i].isEmpty())
            brokenSources.push_back(sources[i]);
    std::sort(brokenSources.begin(), brokenSources.end());
    brokenSources.erase(std::unique(brokenSources.begin(), brokenSources.end()), brokenSources.end());
    if (origin) {
        origin->unreadable = unreadable;
        origin->firstUnreadable = firstUnreadable;
        origin->cutLine = cutLine;
        origin->broken = 0;
        for (const auto& [at, n] : brokenSources)
            origin->broken += n;
        origin->firstBroken = brokenSources.empty() ? 0 : brokenSources.front().first;
    }
}

} // namespace VCardPeople
