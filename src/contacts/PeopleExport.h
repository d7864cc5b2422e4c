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

// One CSV field, quoted where it needs to be (RFC 4180).
void appendCsvField(QByteArray& line, const QString& value);

} // namespace PeopleExport
