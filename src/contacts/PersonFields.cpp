#include "PersonFields.h"

#include "widgets/FieldBinding.h"

#include <QHash>

namespace PersonFields {
namespace {
const QHash<QString, QString>& captions()
{
    static const QHash<QString, QString> table{
        {"Title", "Title"}, {"Name", "Name"}, {"Gender", "Gender"}, {"PersonType", "Type"},
        {"CustoemrImportance", "Importance"}, {"Birthday", "Birthday"}, {"Breminder", "Birthday reminder"},
        {"Language", "Language(s)"}, {"Income", "Income"}, {"EducationLevel", "Level of education"},
        {"Profession", "Profession"}, {"Household", "Household lifecycle position"}, {"Spouse", "Spouse/Partner"},
        {"Anniversary", "Anniversary"}, {"Children", "Children"}, {"Areminder", "Anniversary reminder"},
        {"HAStreet", "Home address: Street"}, {"HACity", "Home address: City"},
        {"HAState", "Home address: State/Province"}, {"HAPostalCode", "Home address: Postal/ZIP"},
        {"HACountry", "Home address: Country"}, {"HAPostOfficeBox", "Home address: P.O. box"},
        {"PrimaryTel", "Primary tel"}, {"Mobile", "Mobile"}, {"TelH1", "Home: Tel 1"}, {"TelH2", "Home: Tel 2"},
        {"FaxH", "Home: Fax"}, {"Email1", "Email 1"}, {"Telex", "Telex"}, {"Email2", "Email 2"},
        {"HomePage", "Home page"}, {"Company", "Company"}, {"CompanySize", "Company size"}, {"Industry", "Industry"},
        {"Department", "Department"}, {"JobTitle", "Job title"}, {"BAStreet", "Business address: Street"},
        {"BACity", "Business address: City"}, {"BAState", "Business address: State/Province"},
        {"BAPostalCode", "Business address: Postal/ZIP"}, {"BACountry", "Business address: Country"},
        {"BAPostOfficeBox", "Business address: P.O. box"}, {"MailingAddress", "Mailing address"},
        {"BillingAddress", "Billing address"}, {"AssistantName", "Assistant name"}, {"ManagerName", "Manager name"},
        {"Ethnic", "Ethnic interest"}, {"Hobbies", "Hobbies"}, {"Info", "Comments"}, {"TelMain", "Main tel"},
        {"TelCallback", "Callback"}, {"TelB1", "Business: Tel 1"}, {"TelB2", "Business: Tel 2"}, {"Ext", "Ext"},
        {"FaxB1", "Fax 1"}, {"FaxB2", "Fax 2"}, {"WebPage", "Web site"},
        {"ProspectingMethod", "Prospecting method used"}, {"OfferedSolution", "Offered solution"},
    };
    return table;
}
} // namespace

QString caption(const QString& column) { return captions().value(column, column); }

QString display(const QString& column, const QVariant& value)
{
    // A reminder never set is unticked on the page: it reads "No" there too.
    if (column == "Breminder" || column == "Areminder")
        return !value.isNull() && value.toBool() ? QString("Yes") : QString("No");
    if (value.isNull())
        return {};
    if (column == "Birthday" || column == "Anniversary")
        return DateFieldBinding::format(value);
    return value.toString();
}
} // namespace PersonFields
