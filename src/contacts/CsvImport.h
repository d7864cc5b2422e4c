#pragma once
#include <QStringList>

#include <functional>

class QProgressDialog;
class QWidget;
class TMainDataModule;

// The import of people from a comma-separated file with the fixed header line: asks for the
// file, adds each person not on file yet and reports how many were added.
namespace CsvImport {

const QStringList& headerNames();  // the 35 names of the header line, in field order
const QStringList& peopleColumns(); // the People column of each field
QString headerLine();

// True when the user asked, at the end, to see the likely duplicates among the people added.
bool run(QWidget* parent, TMainDataModule& data);

// The open database or one of its companion files, under any name: no import reads it and no
// export writes it.
bool isDatabaseFile(const QString& path, const QString& database);

// The same settings as PeopleTransfer's, which every import and export shares. For tests.
void setProgressDelay(int milliseconds);
void setProgressObserver(std::function<void(QProgressDialog&)> observer);

} // namespace CsvImport
