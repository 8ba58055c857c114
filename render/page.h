#pragma once
// The report page ("Prüfprotokoll") as a sequence of drawing operations on a
// Surface. The page's input is built from a ReportRecord (InputFor); the form
// places it and adds what only its controls know. The verdict is the report's
// own (Report::Passed); the page draws it and changes nothing.
#include <QRect>
#include <QString>
#include <array>

#include "core/layout.h"
#include "render/surface.h"

struct ReportRecord;

namespace Page {

constexpr int kRows = 8;
constexpr int kFields = Layout::kFieldCount;

// Page fonts: character heights in layout units.
inline const PageFont FontSmall{8, 400, false};
inline const PageFont FontBody{12, 400, false};
inline const PageFont FontBold{12, 700, false};
inline const PageFont FontLarge{16, 400, true};
inline const PageFont FontField{12, 700, false};

// The horizontal bands of the page; a rule runs 2 units above each of the first nine.
inline constexpr std::array<int, 10> kBands = Layout::kBands;

struct Input {
  int originX = 0;
  int originY = 0;
  int pageWidth = Layout::kPageWidth;
  int pageHeight = Layout::kPageHeight;
  bool printing = false;
  int standard = 1;  // VdePruefgrundlage
  std::array<bool, kRows> rowActive{};
  std::array<QString, kRows> messText;
  std::array<QString, kRows> grenzText;
  std::array<QString, kRows> label;   // caption of the row
  std::array<QString, kRows> method;  // range / method text
  std::array<QString, kRows> unit;
  std::array<bool, kRows> okChecked{};
  bool sichtpruefung = false;      // box 2000
  bool funktionspruefung = false;  // box 2001
  bool passed = false;             // the report's verdict, drawn as the result sentence
  std::array<QString, kFields> fields;  // texts of the 31 fields (print layer)
  // The month of the next test ("06/2027"), printed after the value of
  // "Prüfintervall"; nothing when empty.
  QString nextTest;
  // The page of a standard in force today (codes 6..8) says more: each row's
  // value of the appliance's previous test and whether the value moved
  // towards its limit, the reason and scope of the test, what the limits
  // follow from, and the previous test's date with the warnings.
  std::array<QString, kRows> previous;
  std::array<bool, kRows> warn{};
  QString anlass;
  QString scope;
  QString limitsBasis;
  QString previousTest;
};

// The texts of each row that the report itself does not hold: the caption,
// the method and the unit.
struct RowTexts {
  std::array<QString, kRows> label;
  std::array<QString, kRows> method;
  std::array<QString, kRows> unit;
};

// The page's input for a report with the given row texts, at the origin and
// in screen mode: its standard, rows, boxes, fields and its verdict.
Input InputFor(const ReportRecord& report, const RowTexts& texts);

struct Result {
  std::array<bool, kRows> okShown{};  // the rows drawn, whose OK box stands beside them
  bool passed = false;                // which verdict sentence was drawn
};

// Lines 2 and 3 of the heading for a standard index; "???" for unknown ones.
QString HeadingLine2(int standard);
QString HeadingLine3(int standard);

// The field's first line, at most 98 characters, as the print layer draws it.
QString FirstLine(const QString& text);

// Draws the whole page; `rect` only bounds the white fill when `erase` is set.
// A standard in force today gets the page of PaintCurrent.
Result Paint(Surface& surface, const Input& input, bool erase, const QRect& rect);
// The page of the standards in force today (render/currentpage.cpp): the
// same page with a column for the previous values and the lines of the
// reason, scope, limits and the previous test where rows 4..7 would stand.
Result PaintCurrent(Surface& surface, const Input& input, bool erase, const QRect& rect);

// The lower part both pages share, from "Funktionsprüfung" down: labels,
// the verdict (into `result`), signature lines, the frame and its band
// lines, and on paper the field values.
void PaintLowerPart(Surface& surface, const Input& input, Result* result);

// The print-only layer: field values and box states as text.
void PaintFieldValues(Surface& surface, const Input& input);

// "Nächste Prüfung: 06/2027" for a month text.
QString NextTestText(const QString& month);

}  // namespace Page
