#include "core/reportrules.h"

#include <QRegularExpression>

#include "core/cformat.h"
#include "core/fieldcheck.h"
#include "core/layout.h"

namespace Report {
namespace {

// The limit text the device window shows by default for a tester's code.
QString DeviceDefault(int klasse, int testerStandard, int row) {
  if (klasse < 1 || klasse > kClassMax || testerStandard < 1 || testerStandard > kStandardMax) return QString();
  return CFormat("%5.2f", static_cast<double>(kDefaultLimits[klasse][testerStandard][row]));
}

// The limit a report of this standard gives a row by itself (the device
// window's default for the tester's codes, the computed one for a current
// standard), to tell it from a limit of the user's own.
QString StandardLimit(const ReportRecord& record, const std::vector<Profiles::UserProfile>& profiles, int row) {
  const int standard = record.VdePruefgrundlage;
  if (Profiles::IsCurrent(standard)) {
    const Profiles::Limits limits = Profiles::Compute(standard, record.VdeKlasse, ApplianceOf(record),
                                                      Profiles::FindProfile(profiles, record.Grenzwertprofil));
    return limits.rows[size_t(row)].text;
  }
  return DeviceDefault(record.VdeKlasse, standard, row);
}

// Each row of a current standard takes its limit (unless kept) and is judged.
void ApplyLimits(const std::vector<Profiles::UserProfile>& profiles, const std::array<bool, kDeviceRowCount>& keep,
                 ReportRecord* record) {
  ReportRecord& r = *record;
  const Profiles::UserProfile* profile = Profiles::FindProfile(profiles, r.Grenzwertprofil);
  if (profile && profile->standard != r.VdePruefgrundlage) profile = nullptr;
  r.Grenzwertprofil = profile ? profile->name.trimmed() : QString();
  const Profiles::Limits limits = Profiles::Compute(r.VdePruefgrundlage, r.VdeKlasse, ApplianceOf(r), profile);
  for (int row = 0; row < kDeviceRowCount; ++row) {
    const Profiles::RowLimit& limit = limits.rows[size_t(row)];
    if (!limit.applies) r.RowActive[row] = 0;
    if (limit.applies && !keep[size_t(row)]) r.GrenzText[row] = limit.text;
    r.Ok[row] = RowPasses(row, r.MessText[row], r.GrenzText[row]);
  }
  for (int row = kDeviceRowCount; row < kRowCount; ++row) {
    r.RowActive[row] = 0;
    r.Ok[row] = false;
  }
}

}  // namespace

void CopyDetails(const ReportRecord& from, ReportRecord* to) {
  to->Anlass = from.Anlass;
  to->Pruefumfang = from.Pruefumfang;
  to->Methode = from.Methode;
  to->Vorwert = from.Vorwert;
  to->Vorpruefung = from.Vorpruefung;
  to->Leitungslaenge = from.Leitungslaenge;
  to->Leitungsquerschnitt = from.Leitungsquerschnitt;
  to->Geraeteart = from.Geraeteart;
  to->Grenzwertprofil = from.Grenzwertprofil;
  to->NormFuer0701 = from.NormFuer0701;
  to->NormFuer0751 = from.NormFuer0751;
}

Profiles::Appliance ApplianceOf(const ReportRecord& record) {
  Profiles::Appliance a;
  a.kind = record.Geraeteart == int(Profiles::Kind::Heating) ? Profiles::Kind::Heating : Profiles::Kind::General;
  a.powerKw = Profiles::ParsePowerKw(record.Fields[Layout::kFieldLeistung]);
  a.cordLengthM = Profiles::ParseNumber(record.Leitungslaenge);
  a.crossSectionMm2 = Profiles::ParseNumber(record.Leitungsquerschnitt);
  return a;
}

int ChosenStandard(const ReportRecord& record, int testerStandard) {
  if (testerStandard == 4 && Profiles::TesterStandard(record.NormFuer0701) == 4) return record.NormFuer0701;
  if (testerStandard == 5 && Profiles::TesterStandard(record.NormFuer0751) == 5) return record.NormFuer0751;
  return testerStandard;
}

void ReportUnderChoice(const DeviceSnapshot& device, const std::vector<Profiles::UserProfile>& profiles,
                       ReportRecord* record) {
  const int chosen = ChosenStandard(*record, device.VdePruefgrundlage);
  if (!Profiles::IsCurrent(chosen)) return;
  record->VdePruefgrundlage = chosen;
  std::array<bool, kDeviceRowCount> keep{};
  for (int r = 0; r < kDeviceRowCount; ++r) {
    record->RowActive[r] = RowApplies(*record, r) && device.MeasurementAvailable[r] == 1 ? 1 : 0;
    // A limit the user typed in the device window is his.
    keep[size_t(r)] = device.LimitText[r].trimmed() != DeviceDefault(device.VdeKlasse, device.VdePruefgrundlage, r).trimmed();
  }
  ApplyLimits(profiles, keep, record);
}

void Relimit(const ReportRecord& before, const std::vector<Profiles::UserProfile>& profiles, ReportRecord* record) {
  ReportRecord& r = *record;
  std::array<bool, kDeviceRowCount> keep{};
  for (int row = 0; row < kDeviceRowCount; ++row)
    keep[size_t(row)] = before.GrenzText[row].trimmed() != StandardLimit(before, profiles, row).trimmed();
  for (int row = 0; row < kDeviceRowCount; ++row)
    if (!RowApplies(r, row)) r.RowActive[row] = 0;
  if (Profiles::IsCurrent(r.VdePruefgrundlage)) {
    ApplyLimits(profiles, keep, record);
    return;
  }
  // Back under the tester's own standard: its defaults, as the device window shows them.
  for (int row = 0; row < kDeviceRowCount; ++row) {
    if (!keep[size_t(row)] && RowApplies(r, row)) r.GrenzText[row] = DeviceDefault(r.VdeKlasse, r.VdePruefgrundlage, row);
    r.Ok[row] = RowPasses(row, r.MessText[row], r.GrenzText[row]);
  }
}

QString Scope(const ReportRecord& record) {
  if (!record.Pruefumfang.trimmed().isEmpty()) return record.Pruefumfang.trimmed();
  QStringList parts{QStringLiteral("Sichtprüfung")};
  for (int row = 0; row < kDeviceRowCount; ++row)
    if (record.RowActive[row]) {
      const QString caption = Profiles::Caption(record.VdePruefgrundlage, record.VdeKlasse, row);
      if (!caption.isEmpty() && !parts.contains(caption)) parts << caption;
    }
  parts << QStringLiteral("Funktionsprüfung");
  return parts.join(QStringLiteral(", "));
}

QString Method(const ReportRecord& record, int row) {
  if (row < 0 || row >= kRowCount) return QString();
  if (!record.Methode[row].trimmed().isEmpty()) return record.Methode[row].trimmed();
  return Profiles::DefaultMethod(record.VdePruefgrundlage, row);
}

void SetPrevious(const Comparison::Previous& previous, ReportRecord* record) {
  for (int row = 0; row < kRowCount; ++row)
    record->Vorwert[row] = previous.found && row < kDeviceRowCount ? previous.measured[row].trimmed() : QString();
  record->Vorpruefung = previous.found ? previous.date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

Comparison::Row Compared(const ReportRecord& record, int row) {
  if (row < 0 || row >= kDeviceRowCount || !record.RowActive[row]) return {};
  return Comparison::Compare(record.VdePruefgrundlage, row, record.MessText[row], record.Vorwert[row],
                             record.GrenzText[row]);
}

QStringList Missing(const ReportRecord& record) {
  QStringList missing;
  if (!Profiles::IsCurrent(record.VdePruefgrundlage)) return missing;
  // The tester's line holds place, date and name; without letters beside the
  // date (", 06.12.2026, " from Erzeugen with empty fields) it names no one.
  QString tester = record.Fields[Layout::kFieldPruefer];
  tester.remove(QRegularExpression(QStringLiteral("[0-9]{1,2}\\.[0-9]{1,2}\\.[0-9]{2,4}")));
  if (!tester.contains(QRegularExpression(QStringLiteral("\\p{L}")))) missing << QStringLiteral("Name des Prüfers");
  if (record.Fields[Layout::kFieldMessgeraet].trimmed().isEmpty()) missing << QStringLiteral("Messgerät");
  QString date;
  if (!FieldCheck::Date(record.Fields[Layout::kFieldPruefungAm].trimmed(), &date)) missing << QStringLiteral("Prüfdatum");
  if (AnlassText(record.Anlass).isEmpty()) missing << QStringLiteral("Anlass der Prüfung");
  return missing;
}

QString MissingText(const QStringList& missing) {
  if (missing.isEmpty()) return QString();
  return QStringLiteral("Im Prüfbericht fehlt: %1.").arg(missing.join(QStringLiteral(", ")));
}

}  // namespace Report
