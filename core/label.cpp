#include "core/label.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>

#include "core/duedates.h"
#include "core/layout.h"
#include "core/reportrecord.h"
#include "core/values.h"

namespace Labels {

const char* const kBlocked = "GESPERRT \u2013 nicht benutzen";

namespace {

const char* const kShortRowNames[kRowCount] = {"R-PE", "R-ISO", "I-ABL", "I-EA", "IB", "UB", "TA", "IA"};

QString RowUnit(int row) {
  if (row < 0 || row >= kDeviceRowCount) return QString();
  return QString::fromUtf8(Values::kRowUnits[row]).remove(QLatin1Char(' '));
}

// Why a report did not pass, in one line: the first row that failed its
// limit, else the inspection that failed.
QString Reason(const ReportRecord& r, int gesamtOk) {
  bool anyRow = false;
  for (int row = 0; row < kRowCount; ++row) {
    if (!r.RowActive[row]) continue;
    anyRow = true;
    if (r.Ok[row]) continue;
    QString text = QString::fromLatin1(kShortRowNames[row]) + QLatin1Char(' ') + r.MessText[row].trimmed();
    const QString unit = RowUnit(row);
    if (!unit.isEmpty()) text += QLatin1Char(' ') + unit;
    const QString limit = r.GrenzText[row].trimmed();
    if (!limit.isEmpty()) text += QStringLiteral(", Grenzwert ") + limit;
    return text;
  }
  if (!anyRow || gesamtOk != 1) return QStringLiteral("Keine Messung");
  if (!r.Sichtpruefung) return QStringLiteral("Sichtprüfung nicht bestanden");
  if (!r.Funktionspruefung) return QStringLiteral("Funktionsprüfung nicht bestanden");
  return QString();
}

Format Roll(const QString& key, const QString& name, double w, double h) {
  Format f;
  f.key = key;
  f.name = name;
  f.pageWidth = f.labelWidth = w;
  f.pageHeight = f.labelHeight = h;
  return f;
}

Format Sheet(const QString& key, const QString& name, int columns, int rows, double w, double h, double left,
             double top) {
  Format f;
  f.key = key;
  f.name = name;
  f.pageWidth = 210;
  f.pageHeight = 297;
  f.columns = columns;
  f.rows = rows;
  f.labelWidth = f.pitchX = w;
  f.labelHeight = f.pitchY = h;
  f.left = left;
  f.top = top;
  return f;
}

}  // namespace

LabelData FromReport(const ReportRecord& r) {
  LabelData label;
  label.InventarNr = r.Fields[Layout::kFieldIdentnummer].simplified();
  label.Customer = r.Fields[Layout::kFieldAuftraggeber].simplified();
  label.Company = r.Fields[Layout::kFieldAuftragnehmer].simplified();
  label.TestDate = DueDates::TestDate(r);
  label.NextTest = DueDates::NextTest(r);
  const int gesamtOk = Report::GesamtOk(r);
  label.Failed = !Report::Passed(r);
  if (label.Failed) label.Reason = Reason(r, gesamtOk);
  return label;
}

std::vector<LabelData> FromReports(const std::vector<ReportRecord>& reports) {
  std::vector<LabelData> labels;
  labels.reserve(reports.size());
  for (const ReportRecord& r : reports) labels.push_back(FromReport(r));
  return labels;
}

QString CodeText(const LabelData& label, Content content) {
  if (content == Content::Inventar || label.InventarNr.isEmpty()) return label.InventarNr;
  return QStringList{label.InventarNr, label.Customer, label.Failed ? QStringLiteral("GESPERRT")
                                                                    : DueDates::MonthText(label.NextTest)}
      .join(QLatin1Char(';'));
}

QString InventarOfCode(const QString& scanned) { return scanned.section(QLatin1Char(';'), 0, 0).trimmed(); }

QString NextTestLine(const LabelData& label) { return DueDates::MonthText(label.NextTest); }

QString TestDateLine(const LabelData& label) {
  return label.TestDate.isValid() ? QStringLiteral("Geprüft am ") + label.TestDate.toString(QStringLiteral("dd.MM.yyyy"))
                                  : QStringLiteral("Prüfdatum fehlt");
}

QString InventarLine(const LabelData& label) {
  return label.InventarNr.isEmpty() ? QStringLiteral("ohne Inventar-Nr.") : QStringLiteral("Inv.-Nr. ") + label.InventarNr;
}

const std::vector<Format>& Formats() {
  static const std::vector<Format> formats{
      Roll(QStringLiteral("62x40"), QStringLiteral("Endlosband 62 mm, 62 × 40 mm (Brother QL)"), 62, 40),
      Roll(QStringLiteral("29x90"), QStringLiteral("Etikett 29 × 90 mm (Brother QL)"), 90, 29),
      Roll(QStringLiteral("24mm"), QStringLiteral("Schriftband 24 mm, 70 mm lang (P-touch)"), 70, 24),
      Roll(QStringLiteral("12mm"), QStringLiteral("Schriftband 12 mm, 60 mm lang (P-touch)"), 60, 12),
      Roll(QStringLiteral("89x36"), QStringLiteral("Etikett 89 × 36 mm (Dymo LabelWriter)"), 89, 36),
      Roll(QStringLiteral("54x25"), QStringLiteral("Etikett 54 × 25 mm (Dymo LabelWriter)"), 54, 25),
      Sheet(QStringLiteral("a4-3x8"), QStringLiteral("A4-Bogen, 3 × 8 Etiketten 70 × 36 mm"), 3, 8, 70, 36, 0, 4.5),
      Sheet(QStringLiteral("a4-4x10"), QStringLiteral("A4-Bogen, 4 × 10 Etiketten 48,5 × 25,4 mm"), 4, 10, 48.5, 25.4,
            8, 21.5),
  };
  return formats;
}

Format Custom(double widthMm, double heightMm) {
  const double w = std::clamp(widthMm, kCustomMin, kCustomMax);
  const double h = std::clamp(heightMm, kCustomMin, kCustomMax);
  Format f = Roll(QStringLiteral("%1x%2").arg(w).arg(h),
                  QStringLiteral("Eigenes Format %1 × %2 mm").arg(QLocale(QLocale::German).toString(w),
                                                                   QLocale(QLocale::German).toString(h)),
                  w, h);
  return f;
}

bool FormatByKey(const QString& key, Format* format) {
  for (const Format& f : Formats())
    if (f.key.compare(key, Qt::CaseInsensitive) == 0) {
      *format = f;
      return true;
    }
  static const QRegularExpression size(QStringLiteral("^(\\d+(?:[.,]\\d+)?)\\s*[x×]\\s*(\\d+(?:[.,]\\d+)?)(?:\\s*mm)?$"),
                                       QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = size.match(key.trimmed());
  if (!m.hasMatch()) return false;
  const double w = m.captured(1).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
  const double h = m.captured(2).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
  if (w < kCustomMin || w > kCustomMax || h < kCustomMin || h > kCustomMax) return false;
  *format = Custom(w, h);
  return true;
}

std::vector<Slot> Place(const Format& format, int count, int start) {
  std::vector<Slot> places;
  const int perPage = format.PerPage();
  int position = format.Sheet() ? std::clamp(start, 1, perPage) - 1 : 0;
  for (int i = 0; i < count; ++i, ++position) {
    Slot slot;
    slot.page = position / perPage;
    const int onPage = position % perPage;
    const int column = onPage % format.columns, row = onPage / format.columns;
    slot.rect = QRectF(format.left + column * format.pitchX, format.top + row * format.pitchY, format.labelWidth,
                       format.labelHeight);
    places.push_back(slot);
  }
  return places;
}

int PageCount(const Format& format, int count, int start) {
  if (count <= 0) return 0;
  const int first = format.Sheet() ? std::clamp(start, 1, format.PerPage()) - 1 : 0;
  return (first + count - 1) / format.PerPage() + 1;
}

}  // namespace Labels
