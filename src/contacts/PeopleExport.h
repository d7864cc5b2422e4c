#pragma once
#include <QByteArray>
#include <QString>

class QWidget;
class TMainDataModule;

// The export of every person of the list, in the list's order, to a file the user names: a CSV
// file in the layout the CSV import reads, or a vCard file.
namespace PeopleExport {

enum class Format { Csv, VCard };

void run(QWidget* parent, TMainDataModule& data, Format format);

// One CSV field, quoted where it needs to be (RFC 4180). A value that a spreadsheet would run
// as a formula (beginning with =, +, -, @, a tab or a carriage return) is written after an
// apostrophe, in quotes, so that it opens as text; so is a value beginning with an apostrophe,
// so that the import can tell the two apart.
void appendCsvField(QByteArray& line, const QString& value);
// The value a field of such a file stands for: a guarding apostrophe taken off again.
inline bool isGuardedCsvField(QStringView field)
{
    if (field.size() < 2 || field[0] != u'\'')
        return false;
    const char16_t c = field[1].unicode();
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r' || c == u'\'';
}
inline QStringView csvFieldValue(QStringView field) { return isGuardedCsvField(field) ? field.sliced(1) : field; }

} // namespace PeopleExport
