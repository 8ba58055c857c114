#pragma once
// The user's own template of the report: what every report of a visit shares
// (the contractor, the measuring instrument and its calibration, the
// signature lines), remembered across restarts in the user's settings folder
// (Places: "Kelvara" in the XDG config folder), so that a new visit starts
// filled. Saved as every file is (complete or not at all, checked); a file
// that cannot be read as a template is said to be damaged, moved aside and
// named, never dropped in silence.
#include <QDate>
#include <QString>
#include <vector>

#include "core/reportrecord.h"

namespace ReportTemplate {

// The report's fields the template keeps, in record order.
const std::vector<int>& Fields();
// The template's file ("vorlage.ini" in the user's settings folder).
QString File();

struct Loaded {
  enum class Status { None, Ok, Damaged, Unreadable } status = Status::None;
  QString message;  // for Damaged and Unreadable: what happened and where the file is now (German)
};
// Puts the template's fields into `report`. A signature line made on an
// earlier day ("Köln, 12.03.2025, Herr Groß") gets today's date.
Loaded Load(ReportRecord* report, const QDate& today);
// Writes the template's fields of `report`; false with *error (German) when
// the file could not be written (the former file is then as it was).
bool Save(const ReportRecord& report, QString* error);
// Whether the template's fields of two reports are the same.
bool SameFields(const ReportRecord& a, const ReportRecord& b);

}  // namespace ReportTemplate
