#include "render/page.h"

#include <QStringList>
#include <algorithm>

#include "core/duedates.h"
#include "core/layout.h"
#include "core/limitprofiles.h"
#include "core/reportrecord.h"
#include "core/reportrules.h"
#include "core/values.h"

namespace Page {
namespace {

// Where a field value may end: the left column's values stop 5 units before
// the right label column, the right column's (and the remarks') 5 units before
// the frame.
constexpr int kLeftValueEnd = Layout::kColRightLabel - 5;
constexpr int kRightValueEnd = Layout::kPageWidth - 5;

// The fields before the remarks stand beside their label: the label column of
// the field's side, on the field's line. The remarks and the two signatures
// are placed apart.
constexpr int kFieldsBesideLabels = Layout::kFieldBemerkung;
int LabelX(const Layout::Field& f) { return f.x == Layout::kColLeftField ? Layout::kColLeftLabel : Layout::kColRightLabel; }
int ValueEnd(int index) {
  return index >= kFieldsBesideLabels || Layout::kFields[index].x == Layout::kColRightField ? kRightValueEnd
                                                                                               : kLeftValueEnd;
}

// The smallest height a field value is shrunk to.
constexpr int kMinFieldHeight = 7;

// Draws a field value in FontField with its top left at (x, y). A value too
// wide for the room up to `right` is drawn in a smaller bold font on the same
// baseline, and one too wide even at the smallest height is cut with an
// ellipsis: a value never runs into the next column or over the frame.
// FontField is selected on entry and again on return.
void DrawFieldValue(Surface& s, int x, int y, int right, const QString& text) {
  const int room = right - x;
  if (s.TextWidth(text) <= room) {
    s.DrawText(x, y, text);
    return;
  }
  const int ascent = s.Ascent();
  PageFont font = FontField;
  do {
    --font.height;
    s.SelectFont(font);
  } while (font.height > kMinFieldHeight && s.TextWidth(text) > room);
  QString shown = text;
  if (s.TextWidth(shown) > room) {
    const QString ellipsis(QChar(0x2026));
    while (!shown.isEmpty() && s.TextWidth(shown + ellipsis) > room) shown.chop(1);
    shown += ellipsis;
  }
  s.DrawText(x, y + ascent - s.Ascent(), shown);
  s.SelectFont(FontField);
}

// The gap between the value of "Prüfintervall" and the next test's month.
constexpr int kNextTestGap = 8;
// The smallest height the next test's month is shrunk to before the value
// beside it has to make room.
constexpr int kMinNextTestHeight = 7;

// Where the next test's month goes in the line of "Prüfintervall": after the
// value, ending where the right column's values end. In FontField when the
// line has room, else smaller; only when the value is so long that even the
// smallest size finds no room does the value give way (it shrinks as any
// long value does).
struct NextTestPlace {
  PageFont font = FontField;
  int x = 0, y = 0;
  int valueRight = 0;  // where the value of "Prüfintervall" may end
};
NextTestPlace PlaceNextTest(Surface& s, const Input& in, const QString& text) {
  const Layout::Field& f = Layout::kFields[Layout::kFieldPruefintervall];
  const int right = in.originX + kRightValueEnd;
  NextTestPlace place;
  place.valueRight = right;
  s.SelectFont(FontField);
  const int ascent = s.Ascent();
  const int valueEnd = in.originX + f.x + std::min(s.TextWidth(FirstLine(in.fields[Layout::kFieldPruefintervall])),
                                                    right - in.originX - f.x);
  for (place.font = FontField; place.font.height >= kMinNextTestHeight; --place.font.height) {
    s.SelectFont(place.font);
    if (right - s.TextWidth(text) >= valueEnd + kNextTestGap) break;
  }
  if (place.font.height < kMinNextTestHeight) {
    place.font.height = kMinNextTestHeight;
    s.SelectFont(place.font);
    place.valueRight = right - s.TextWidth(text) - kNextTestGap;
  }
  place.x = right - s.TextWidth(text);
  place.y = in.originY + f.y + ascent - s.Ascent();  // on the value's baseline
  s.SelectFont(FontField);
  return place;
}

const QString kPassed = QStringLiteral("Der Prüfling hat die Prüfung bestanden");
const QString kFailed =
    QStringLiteral("Der Prüfling hat die Prüfung nicht bestanden und darf nicht mehr betrieben werden");

}  // namespace

QString HeadingLine2(int standard) {
  switch (standard) {
    case 1: return QStringLiteral("Prüfung von elektrischen Anlagen");
    case 2:
    case 3: return QStringLiteral("Instandhaltung, Änderung und Prüfung von elektrischen Geräten");
    case 4:
      return QStringLiteral(
          "Prüfung nach Instandsetzung,  Änderung elektrischer Geräte  -  Wiederholungsprüfung elektrischer Geräte");
    case 5:
      return QStringLiteral(
          "(Wiederholungs-) Prüfungen vor Inbetriebnahme medizinischer elektrischer Geräte / Systeme");
    default: return Profiles::IsCurrent(standard) ? Profiles::HeadingLine2(standard) : QStringLiteral("???");
  }
}

QString HeadingLine3(int standard) {
  switch (standard) {
    case 1: return QStringLiteral("Prüfgrundlage DIN VDE 0100");
    case 2: return QStringLiteral("Prüfgrundlage DIN VDE 0701 Teil 1");
    case 3: return QStringLiteral("Prüfgrundlage DIN VDE 0701 Teil 240");
    case 4: return QStringLiteral("Prüfgrundlage DIN VDE 0701-0702");
    case 5: return QStringLiteral("Prüfgrundlage DIN VDE 0751");
    default: return Profiles::IsCurrent(standard) ? Profiles::HeadingLine3(standard) : QStringLiteral("???");
  }
}

namespace {
// What the page of a current standard draws besides: its own row texts, the
// previous values and the lines below the table.
void AddCurrent(const ReportRecord& report, Input* in) {
  const int standard = report.VdePruefgrundlage;
  QStringList warnings;
  for (int r = 0; r < kRows; ++r) {
    in->label[r] = Profiles::Caption(standard, report.VdeKlasse, r);
    in->method[r] = Report::Method(report, r);
    in->unit[r] = Profiles::Unit(r);
    in->previous[r] = report.Vorwert[r].trimmed();
    const Comparison::Row compared = Report::Compared(report, r);
    in->warn[r] = compared.warn;
    if (compared.warn) warnings << compared.why;
  }
  // One "since the last test" for all of them.
  const QString since = QStringLiteral(" seit der letzten Prüfung");
  bool anySince = false;
  for (QString& why : warnings)
    if (why.endsWith(since)) why.chop(since.size()), anySince = true;
  in->anlass = Report::AnlassText(report.Anlass);
  in->scope = Report::Scope(report);
  QStringList basis{Profiles::Name(standard), QStringLiteral("Schutzklasse ") + Values::ClassText(report.VdeKlasse)};
  if (standard != Profiles::kEn62353) basis << Profiles::KindText(Profiles::Kind(report.Geraeteart));
  const Profiles::Limits limits = Profiles::Compute(standard, report.VdeKlasse, Report::ApplianceOf(report));
  // The cord's limit, or a limit of the user's own (typed, or a profile's).
  if (limits.rows[0].applies && report.RowActive[0]) {
    if (report.GrenzText[0].trimmed() != limits.rows[0].text.trimmed())
      basis << QStringLiteral("R-PE: eigener Grenzwert");
    else if (!limits.rows[0].basis.isEmpty())
      basis << QStringLiteral("R-PE: ") + limits.rows[0].basis;
  }
  if (!report.Grenzwertprofil.trimmed().isEmpty())
    basis << QStringLiteral("Grenzwertprofil \u201E%1\u201C").arg(report.Grenzwertprofil.trimmed());
  in->limitsBasis = basis.join(QStringLiteral(", "));
  in->previousTest = report.Vorpruefung.trimmed().isEmpty()
                         ? QStringLiteral("keine frühere Prüfung bekannt")
                         : QStringLiteral("%1 (Spalte \u201EVorwert\u201C)").arg(report.Vorpruefung.trimmed());
  if (!warnings.isEmpty())
    in->previousTest += QStringLiteral("; ! ") + warnings.join(QStringLiteral(", ")) + (anySince ? since : QString());
}
}  // namespace

Input InputFor(const ReportRecord& report, const RowTexts& texts) {
  Input in;
  in.standard = report.VdePruefgrundlage;
  in.sichtpruefung = report.Sichtpruefung;
  in.funktionspruefung = report.Funktionspruefung;
  for (int r = 0; r < kRows; ++r) {
    in.rowActive[r] = report.RowActive[r] != 0;
    in.messText[r] = report.MessText[r];
    in.grenzText[r] = report.GrenzText[r];
    in.okChecked[r] = report.Ok[r];
    in.label[r] = texts.label[r];
    in.method[r] = texts.method[r];
    in.unit[r] = texts.unit[r];
  }
  in.passed = Report::Passed(report);
  for (int f = 0; f < kFields; ++f) in.fields[f] = report.Fields[f];
  in.nextTest = DueDates::MonthText(DueDates::NextTest(report));
  if (Profiles::IsCurrent(report.VdePruefgrundlage)) AddCurrent(report, &in);
  return in;
}

QString FirstLine(const QString& text) {
  QString line = text;
  for (int i = 0; i < line.size(); ++i) {
    if (line[i] == QChar('\r') || line[i] == QChar('\n')) {
      line.truncate(i);
      break;
    }
  }
  return line.left(98);
}

Result Paint(Surface& s, const Input& in, bool erase, const QRect& rect) {
  if (Profiles::IsCurrent(in.standard)) return PaintCurrent(s, in, erase, rect);
  const int ox = in.originX;
  const int oy = in.originY;
  Result result;

  if (erase) s.FillWhite(rect);
  s.Save();

  s.SelectFont(FontLarge);
  const int L = s.LineHeight();

  // Heading, each line centred on the page; both halvings truncate.
  s.SelectFont(FontBold);
  const QString heading[3] = {QStringLiteral("Prüfprotokoll"), HeadingLine2(in.standard),
                              HeadingLine3(in.standard)};
  for (int i = 0; i < 3; ++i) {
    const int x = in.pageWidth / 2 - s.TextWidth(heading[i]) / 2;
    s.DrawText(ox + x, oy + i * L, heading[i]);
  }

  s.SelectFont(FontBody);
  for (int i = 0; i < kFieldsBesideLabels; ++i) {
    const Layout::Field& f = Layout::kFields[i];
    s.DrawText(ox + LabelX(f), oy + f.y, Layout::FieldLabel(i));
  }

  s.DrawText(ox + Layout::kColLeftLabel, oy + Layout::kBandSichtpruefung, QStringLiteral("Sichtprüfung"));

  s.SelectFont(FontBold);
  const int head = oy + Layout::kBandMessungen;
  s.DrawText(ox + Layout::kColMessung, head, QStringLiteral("Messungen"));
  s.DrawText(ox + Layout::kColMethode, head, QStringLiteral("Messbereich/Methode"));
  s.DrawText(ox + Layout::kColMesswertEnd - Layout::kValueHeadingBeforeEnd, head, QStringLiteral("Messwert"));
  s.DrawText(ox + Layout::kColGrenzwertEnd - Layout::kValueHeadingBeforeEnd, head, QStringLiteral("Grenzwert"));
  s.DrawText(ox + Layout::kColEinheit, head, QStringLiteral("Einheit"));
  s.DrawText(ox + Layout::kColOk, head, QStringLiteral("OK"));

  s.SelectFont(FontBody);
  for (int r = 0; r < kRows; ++r) {
    const int y = oy + Layout::RowY(r);
    if (!in.rowActive[r]) {
      result.okShown[r] = false;
      continue;
    }
    s.DrawText(ox + Layout::kColMessung, y, in.label[r]);
    s.DrawText(ox + Layout::kColMethode, y, in.method[r]);
    s.DrawText(ox + Layout::kColMesswertEnd - s.TextWidth(in.messText[r]), y, in.messText[r]);
    s.DrawText(ox + Layout::kColGrenzwertEnd - s.TextWidth(in.grenzText[r]), y, in.grenzText[r]);
    s.DrawText(ox + Layout::kColEinheit, y, in.unit[r]);
    result.okShown[r] = true;
  }

  PaintLowerPart(s, in, &result);
  s.Restore();
  return result;
}

// From "Funktionsprüfung" down: the labels, the verdict, the signature lines,
// the frame and its band lines, and on paper the fields' values.
void PaintLowerPart(Surface& s, const Input& in, Result* result) {
  const int ox = in.originX;
  const int oy = in.originY;
  const int H = in.pageHeight;
  const int x = ox + Layout::kColLeftLabel;
  s.SelectFont(FontBody);
  s.DrawText(x, oy + Layout::kBandFunktionspruefung, QStringLiteral("Funktionsprüfung und (falls erforderlich)"));
  s.DrawText(x, oy + Layout::kFunktionspruefungLine2, QStringLiteral("Prüfung der ergänzenden Festlegungen:"));
  s.DrawText(x, oy + Layout::kBandBemerkungen, QStringLiteral("Bemerkungen:"));
  s.DrawText(x, oy + Layout::kBandErgebnis, QStringLiteral("Ergebnis:"));

  // The report's verdict, the same on screen, on paper and in the preview.
  s.SelectFont(FontBold);
  result->passed = in.passed;
  s.DrawText(ox + Layout::kColErgebnis, oy + Layout::kBandErgebnis, result->passed ? kPassed : kFailed);

  s.DrawText(x, oy + Layout::kBandUnterschriften, QStringLiteral("Verantwortlicher Unternehmer:"));
  s.DrawText(ox + Layout::kColLowerRight, oy + Layout::kBandUnterschriften, QStringLiteral("Prüfer:"));

  s.SelectFont(FontSmall);
  const int caption = oy + H - Layout::kSignatureCaptionAboveBottom;
  s.DrawText(x, caption, QStringLiteral("Ort, Datum, Unterschrift, Stempel"));
  s.DrawText(ox + Layout::kColLowerRight, caption, QStringLiteral("Ort, Datum, Unterschrift, Stempel"));

  s.Rectangle(ox, oy, ox + Layout::kPageWidth, oy + H);
  for (int b = 0; b < 9; ++b) s.Line(ox, oy + kBands[b] - 2, ox + Layout::kPageWidth, oy + kBands[b] - 2);

  if (in.printing) PaintFieldValues(s, in);
}

QString NextTestText(const QString& month) { return QStringLiteral("Nächste Prüfung: ") + month; }

void PaintFieldValues(Surface& s, const Input& in) {
  const int ox = in.originX;
  const int oy = in.originY;
  const QString nextTest = in.nextTest.isEmpty() ? QString() : NextTestText(in.nextTest);
  NextTestPlace next;
  if (!nextTest.isEmpty()) next = PlaceNextTest(s, in, nextTest);
  s.SelectFont(FontField);
  for (int i = 0; i <= Layout::kFieldBemerkung; ++i) {
    const Layout::Field& f = Layout::kFields[i];
    const int right = i == Layout::kFieldPruefintervall && !nextTest.isEmpty() ? next.valueRight : ox + ValueEnd(i);
    DrawFieldValue(s, ox + f.x, oy + f.y, right, FirstLine(in.fields[i]));
  }
  if (!nextTest.isEmpty()) {
    s.SelectFont(next.font);
    s.DrawText(next.x, next.y, nextTest);
    s.SelectFont(FontField);
  }

  const QString ok = QStringLiteral("OK");
  const QString failed = QStringLiteral("Nicht bestanden");
  s.DrawText(ox + Layout::kColLowerRight, oy + Layout::kBandSichtpruefung, in.sichtpruefung ? ok : failed);
  for (int r = 0; r < kRows; ++r)
    if (in.rowActive[r])
      s.DrawText(ox + Layout::kColOk, oy + Layout::RowY(r), in.okChecked[r] ? QStringLiteral("Ja") : QStringLiteral("Nein"));
  s.DrawText(ox + Layout::kColLowerRight, oy + Layout::kBandFunktionspruefung, in.funktionspruefung ? ok : failed);

  const int names = oy + in.pageHeight - Layout::kSignatureNameAboveBottom;
  DrawFieldValue(s, ox + Layout::kColLeftLabel, names, ox + kLeftValueEnd, FirstLine(in.fields[Layout::kFieldUnternehmer]));
  DrawFieldValue(s, ox + Layout::kColLowerRight, names, ox + kRightValueEnd, FirstLine(in.fields[Layout::kFieldPruefer]));
}

}  // namespace Page
