#pragma once
// Test labels ("Prüfplakette") as plain data: what a label of an appliance
// says (its Inventar-Nr., the month of its next test, the test date, the
// tester's company; for an appliance that failed the test "GESPERRT – nicht
// benutzen" with the row it failed), what its code holds for a scanner, and
// the label formats with where each label lies on a page. The drawing is in
// render/labelpaint.* and render/labeldoc.*.
#include <QDate>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <vector>

#include "core/barcode.h"

struct ReportRecord;

namespace Labels {

struct LabelData {
  QString InventarNr;
  QString Customer;  // "Auftraggeber"
  QString Company;   // the tester's company: "Auftragnehmer" of the report
  QDate TestDate;
  QDate NextTest;    // invalid when the report has no test date
  bool Failed = false;
  QString Reason;    // the row the appliance failed ("R-ISO 0.215 MOhm, Grenzwert 1.00")
};

// The label of a report: its verdict decides between the test label and the
// "gesperrt" label, as the printed report does (both inspections and every
// shown row passed).
LabelData FromReport(const ReportRecord& report);
// The same for many reports (a visit, the record list's rows, stored tests).
std::vector<LabelData> FromReports(const std::vector<ReportRecord>& reports);

// What the code holds: the Inventar-Nr. alone (so a scanner typing it back
// finds the appliance), or the Inventar-Nr., the customer and the month of the
// next test, separated by ";".
enum class Content { Inventar, InventarKundeDatum };
QString CodeText(const LabelData& label, Content content);
// The Inventar-Nr. a scanned code stands for: the text up to its first ";".
QString InventarOfCode(const QString& scanned);

// The texts a label shows.
extern const char* const kBlocked;  // "GESPERRT – nicht benutzen"
QString NextTestLine(const LabelData& label);  // "06/2027"
QString TestDateLine(const LabelData& label);  // "Geprüft am 12.06.2026"
QString InventarLine(const LabelData& label);  // "Inv.-Nr. INV-0001"

// A label format: a label printer's label or tape (one label a page), or a
// sheet of labels (A4 with columns x rows). Sizes in millimetres, the page as
// the label is read.
struct Format {
  QString key;   // "62x40", "a4-3x8", ... (the command line, the user's choice)
  QString name;  // shown to the user
  double pageWidth = 0, pageHeight = 0;
  int columns = 1, rows = 1;
  double labelWidth = 0, labelHeight = 0;
  double left = 0, top = 0;      // the first label's top left corner on the page
  double pitchX = 0, pitchY = 0;  // from one label's corner to the next one's
  int PerPage() const { return columns * rows; }
  bool Sheet() const { return PerPage() > 1; }
};

// The formats offered, in the order offered.
const std::vector<Format>& Formats();
// A format by its key; a size of the user's own is written "BxH" in mm
// ("50x30"). False when the key names none.
bool FormatByKey(const QString& key, Format* format);
// A label of the user's own size (one a page).
Format Custom(double widthMm, double heightMm);
// The sizes a label of the user's own may have (mm).
constexpr double kCustomMin = 10, kCustomMax = 300;

// Where label i of `count` goes: its page (from 0) and its rectangle on the
// page (mm). On a sheet the first label takes position `start` (1 for the top
// left, counted along the rows), so a sheet used before is filled up.
struct Slot {
  int page = 0;
  QRectF rect;
};
std::vector<Slot> Place(const Format& format, int count, int start = 1);
int PageCount(const Format& format, int count, int start = 1);

}  // namespace Labels
