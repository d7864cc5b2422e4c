#pragma once

class QWidget;
class TMainDataModule;

// The import of people from a vCard file (versions 3.0 and 4.0): asks for the file, adds each
// person not on file yet, as the CSV import does, and reports how many were added. True when the
// user asked, at the end, to see the likely duplicates among the people added.
namespace VCardImport {

bool run(QWidget* parent, TMainDataModule& data);

} // namespace VCardImport
