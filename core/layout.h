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
// On paper (the printer, the preview and a batch's PDF files) the page stands
// at this origin of the logical printer page and is taller.
constexpr int kPrintOriginX = 60;
constexpr int kPrintOriginY = 60;
constexpr int kPrintPageHeight = 900;
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

// The fields by name, as indexes into kFields (record order).
constexpr int kFieldAuftraggeber = 0;
constexpr int kFieldAGAnschrift = 1;
constexpr int kFieldAGPlzStadt = 2;
constexpr int kFieldAGTel = 3;
constexpr int kFieldAGFax = 4;
constexpr int kFieldAGKontaktperson = 5;
constexpr int kFieldAuftragsnummer = 6;
constexpr int kFieldAuftragnehmer = 7;
constexpr int kFieldANAnschrift = 8;
constexpr int kFieldANPlzStadt = 9;
constexpr int kFieldANTel = 10;
constexpr int kFieldANFax = 11;
constexpr int kFieldANKontaktperson = 12;
constexpr int kFieldGeraetArt = 13;
constexpr int kFieldHersteller = 14;
constexpr int kFieldSeriennummer = 15;
constexpr int kFieldStandort = 16;
constexpr int kFieldIdentnummer = 17;
constexpr int kFieldPruefintervall = 18;
constexpr int kFieldSchutzklasse = 19;
constexpr int kFieldLeistung = 20;
constexpr int kFieldSchutzleiter = 21;
constexpr int kFieldMessgeraet = 22;
constexpr int kFieldSeriennummerMess = 23;
constexpr int kFieldNaechsteKalibrierung = 24;
constexpr int kFieldPruefungAm = 25;
constexpr int kFieldDruckAm = 26;
constexpr int kFieldAuswertung = 27;
constexpr int kFieldBemerkung = 28;
constexpr int kFieldUnternehmer = 29;
constexpr int kFieldPruefer = 30;

// The bands by what they hold.
constexpr int kBandSichtpruefung = kBands[3];
constexpr int kBandMessungen = kBands[4];
constexpr int kBandFunktionspruefung = kBands[5];
constexpr int kBandBemerkungen = kBands[6];
constexpr int kBandErgebnis = kBands[7];
constexpr int kBandUnterschriften = kBands[8];
// The second line of the functional test's caption.
constexpr int kFunktionspruefungLine2 = kBandFunktionspruefung + 12;

// The table of measurements: the heading on its band, then a line of
// kRowPitch per row. Measured and limit values end at their column's end;
// the headings of those two columns start 50 units before it.
constexpr int kColMessung = kColLeftLabel;
constexpr int kColMethode = 185;
constexpr int kColMesswertEnd = 405;
constexpr int kColGrenzwertEnd = 505;
constexpr int kValueHeadingBeforeEnd = 50;
constexpr int kColEinheit = 535;
constexpr int kColOk = 595;
constexpr int kRowPitch = 20;
constexpr int kFirstRowY = kBandMessungen + kRowPitch;
constexpr int RowY(int row) { return kFirstRowY + kRowPitch * row; }

// The verdict sentence after "Ergebnis:", and the right-hand column of the
// lower part: the results of the two boxes and the tester's signature.
constexpr int kColErgebnis = kColLeftField;
constexpr int kColLowerRight = 320;
// Above the page's bottom edge: the signatures' caption and their names.
constexpr int kSignatureCaptionAboveBottom = 20;
constexpr int kSignatureNameAboveBottom = 40;

// The OK box of measurement row r.
inline QRect OkBoxRect(int row) { return QRect(kColOk, RowY(row), 12, 12); }

}  // namespace Layout
