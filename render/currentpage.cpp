// The report page of the standards in force today (DIN EN 50699, 50678,
// 62353): the page of the tester's era with what those standards and the
// rules for a test record add. The upper part (fields and their labels) and
// the lower part (inspections, remarks, verdict, signatures) stand where they
// stand on that page, so the form's controls lie over them alike; the table
// of measurements has a column for the value of the previous test, and where
// rows 4..7 would stand (they do not belong to these standards) the page says
// why the test was made, what it covered, what the limits follow from and
// when the appliance was tested before.
#include "render/page.h"

#include "core/layout.h"
#include "core/tables.h"

namespace Page {
namespace {

// The table: caption, method, previous value, measured value, limit, unit, OK.
constexpr int kColCaption = Layout::kColMessung;
constexpr int kColMethod = 150;
constexpr int kColPreviousEnd = 365;
constexpr int kColValueEnd = 430;
constexpr int kColLimitEnd = Layout::kColGrenzwertEnd;
constexpr int kColUnit = Layout::kColEinheit;
constexpr int kColMark = kColValueEnd + 4;  // "!" beside a value that moved towards its limit
constexpr int kHeadingBeforeEnd = Layout::kValueHeadingBeforeEnd;

// The lines below the table, on the lines of rows 4..7.
constexpr int kLineAnlass = Layout::RowY(4);
constexpr int kLineScope = Layout::RowY(5);
constexpr int kLineLimits = Layout::RowY(6);
constexpr int kLinePrevious = Layout::RowY(7);
constexpr int kLineValueX = Layout::kColLeftField;
constexpr int kLineEnd = Layout::kPageWidth - 5;

// The smallest height a text is shrunk to before it is cut.
constexpr int kMinHeight = 7;

// Draws a text in `font` with its top left at (x, y) within `room`: a text
// too wide is drawn smaller on the same baseline, and cut with an ellipsis
// when even the smallest size is too wide. `font` is selected on return.
void DrawFitted(Surface& s, const PageFont& font, int x, int y, int room, const QString& text) {
  s.SelectFont(font);
  if (s.TextWidth(text) <= room) {
    s.DrawText(x, y, text);
    return;
  }
  const int ascent = s.Ascent();
  PageFont smaller = font;
  do {
    --smaller.height;
    s.SelectFont(smaller);
  } while (smaller.height > kMinHeight && s.TextWidth(text) > room);
  QString shown = text;
  if (s.TextWidth(shown) > room) {
    const QString ellipsis(QChar(0x2026));
    while (!shown.isEmpty() && s.TextWidth(shown + ellipsis) > room) shown.chop(1);
    shown += ellipsis;
  }
  s.DrawText(x, y + ascent - s.Ascent(), shown);
  s.SelectFont(font);
}

void DrawRight(Surface& s, int right, int y, const QString& text) { s.DrawText(right - s.TextWidth(text), y, text); }

}  // namespace

Result PaintCurrent(Surface& s, const Input& in, bool erase, const QRect& rect) {
  const int ox = in.originX;
  const int oy = in.originY;
  Result result;

  if (erase) s.FillWhite(rect);
  s.Save();

  s.SelectFont(FontLarge);
  const int L = s.LineHeight();

  // Heading, each line centred on the page.
  s.SelectFont(FontBold);
  const QString heading[3] = {QStringLiteral("Prüfprotokoll"), HeadingLine2(in.standard), HeadingLine3(in.standard)};
  for (int i = 0; i < 3; ++i) {
    const int x = in.pageWidth / 2 - s.TextWidth(heading[i]) / 2;
    s.DrawText(ox + x, oy + i * L, heading[i]);
  }

  // The labels of the fields, as on the page of the tester's era.
  s.SelectFont(FontBody);
  for (int i = 0; i < Layout::kFieldBemerkung; ++i) {
    const Layout::Field& f = Layout::kFields[i];
    const int labelX = f.x == Layout::kColLeftField ? Layout::kColLeftLabel : Layout::kColRightLabel;
    s.DrawText(ox + labelX, oy + f.y, Layout::FieldLabel(i));
  }
  s.DrawText(ox + Layout::kColLeftLabel, oy + Layout::kBandSichtpruefung, QStringLiteral("Sichtprüfung"));

  // The table of measurements.
  s.SelectFont(FontBold);
  const int head = oy + Layout::kBandMessungen;
  s.DrawText(ox + kColCaption, head, QStringLiteral("Messungen"));
  s.DrawText(ox + kColMethod, head, QStringLiteral("Messverfahren"));
  s.DrawText(ox + kColPreviousEnd - kHeadingBeforeEnd + 5, head, QStringLiteral("Vorwert"));
  s.DrawText(ox + kColValueEnd - kHeadingBeforeEnd, head, QStringLiteral("Messwert"));
  s.DrawText(ox + kColLimitEnd - kHeadingBeforeEnd, head, QStringLiteral("Grenzwert"));
  s.DrawText(ox + kColUnit, head, QStringLiteral("Einheit"));
  s.DrawText(ox + Layout::kColOk, head, QStringLiteral("OK"));

  for (int r = 0; r < kRows; ++r) {
    const int y = oy + Layout::RowY(r);
    if (!in.rowActive[r] || r >= kDeviceRowCount) {
      result.okShown[r] = false;
      continue;
    }
    DrawFitted(s, FontBody, ox + kColCaption, y, kColMethod - kColCaption - 5, in.label[r]);
    DrawFitted(s, FontBody, ox + kColMethod, y, kColPreviousEnd - kHeadingBeforeEnd - kColMethod, in.method[r]);
    DrawRight(s, ox + kColPreviousEnd, y, in.previous[r]);
    DrawRight(s, ox + kColValueEnd, y, in.messText[r]);
    DrawRight(s, ox + kColLimitEnd, y, in.grenzText[r]);
    s.DrawText(ox + kColUnit, y, in.unit[r]);
    if (in.warn[r]) {
      s.SelectFont(FontBold);
      s.DrawText(ox + kColMark, y, QStringLiteral("!"));
      s.SelectFont(FontBody);
    }
    result.okShown[r] = true;
  }

  // Why, what, against which limits, and the test before.
  const struct {
    int y;
    const char* label;
    const QString& value;
  } lines[] = {
      {kLineAnlass, "Anlass der Prüfung:", in.anlass},
      {kLineScope, "Prüfumfang:", in.scope},
      {kLineLimits, "Grenzwerte:", in.limitsBasis},
      {kLinePrevious, "Vorprüfung:", in.previousTest},
  };
  for (const auto& line : lines) {
    s.SelectFont(FontBody);
    s.DrawText(ox + Layout::kColLeftLabel, oy + line.y, QString::fromUtf8(line.label));
    DrawFitted(s, FontBody, ox + kLineValueX, oy + line.y, kLineEnd - kLineValueX, line.value);
  }

  PaintLowerPart(s, in, &result);
  s.Restore();
  return result;
}

}  // namespace Page
