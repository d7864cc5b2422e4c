#pragma once

class QWidget;
class TMainDataModule;

// The export of the dates that matter to a calendar program, as one iCalendar file (RFC 5545):
// each birthday and anniversary whose reminder is on, yearly, and each follow-up and expected
// order from today on, all-day. Every event keeps its UID from export to export, so a calendar
// that takes the file again updates its events instead of doubling them.
namespace CalendarExport {

void run(QWidget* parent, TMainDataModule& data);

} // namespace CalendarExport
