#pragma once
// The one page layout of the report ("Prüfprotokoll"), in layout units: the
// page size, the bands, the columns, and the 31 text fields with their data
// record keys, page labels, rectangles and typing limits. The form's controls,
// the page drawing and the data record file all take it from here.
#include <QRect>
#include <QString>
#include <array>

namespace Layout {

constexpr int kPageWidth = 630;
constexpr int kPageHeight = 810;
// The horizontal bands of the page; a rule runs 2 units above each of the first nine.
inline constexpr std::array<int, 10> kBands{60, 210, 320, 390, 420, 620, 650, 690, 720, 750};
// Columns: left label, left field, right label (half the page plus 5), right field.
constexpr int kColLeftLabel = 5;
constexpr int kColLeftField = 120;
constexpr int kColRightLabel = kPageWidth / 2 + 5;
constexpr int kColRightField = kColRightLabel + 105;
constexpr int kFieldWidth = 170;
constexpr int kFieldHeight = 15;

constexpr int kFieldCount = 31;
struct Field {
  const char* key;    // key in the data record file
  const char* label;  // the page's label, UTF-8
  int x, y, width;    // the edit's rectangle (height kFieldHeight)
  int limit;          // characters the user may type
};
extern const std::array<Field, kFieldCount> kFields;

inline QRect FieldRect(int index) {
  const Field& f = kFields[index];
  return QRect(f.x, f.y, f.width, kFieldHeight);
}
inline QString FieldLabel(int index) { return QString::fromUtf8(kFields[index].label); }
inline QString FieldKey(int index) { return QString::fromLatin1(kFields[index].key); }

// Field indexes the program writes itself.
constexpr int kFieldSchutzklasse = 19;
constexpr int kFieldMessgeraet = 22;
constexpr int kFieldAuswertung = 27;
constexpr int kFieldUnternehmer = 29;
constexpr int kFieldPruefer = 30;

// The OK box of measurement row r.
inline QRect OkBoxRect(int row) { return QRect(595, kBands[4] + 20 + 20 * row, 12, 12); }

}  // namespace Layout
