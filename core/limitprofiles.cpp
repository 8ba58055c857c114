#include "core/limitprofiles.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>

#include "core/cformat.h"
#include "core/cp1252.h"
#include "core/fileio.h"
#include "core/places.h"
#include "core/profile.h"

namespace Profiles {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Where the values come from. DIN EN 50678 (VDE 0701):2021-02 and DIN EN
// 50699 (VDE 0702):2021-06 took the limits of DIN VDE 0701-0702:2008-06 over;
// the changes the foreword of DIN EN 50678 lists touch no limit but the
// calculation of the protective conductor for cords above 1.5 mm^2 (see
// ProtectiveConductorLimit). DIN EN 62353 (VDE 0751-1):2015-10 is IEC
// 62353:2014.
const char* const kPe0702 = "DIN EN 50699: Schutzleiterwiderstand 0,3 Ohm bis 5 m Leitung";
const char* const kPe0701 = "DIN EN 50678: Schutzleiterwiderstand 0,3 Ohm bis 5 m Leitung";
const char* const kIso0702[3] = {"DIN EN 50699: Isolationswiderstand SK I 1 MOhm",
                                 "DIN EN 50699: Isolationswiderstand SK II 2 MOhm",
                                 "DIN EN 50699: Isolationswiderstand SK III 0,25 MOhm"};
const char* const kIso0701[3] = {"DIN EN 50678: Isolationswiderstand SK I 1 MOhm",
                                 "DIN EN 50678: Isolationswiderstand SK II 2 MOhm",
                                 "DIN EN 50678: Isolationswiderstand SK III 0,25 MOhm"};
const char* const kCur0702[2] = {"DIN EN 50699: Schutzleiterstrom SK I 3,5 mA",
                                 "DIN EN 50699: Berührungsstrom SK II 0,5 mA"};
const char* const kCur0701[2] = {"DIN EN 50678: Schutzleiterstrom SK I 3,5 mA",
                                 "DIN EN 50678: Berührungsstrom SK II 0,5 mA"};
const char* const kPe62353 = "DIN EN 62353: Schutzleiterwiderstand 0,3 Ohm mit fester Netzanschlussleitung";
const char* const kIso62353[3] = {"DIN EN 62353 (informativ): Isolationswiderstand SK I 2 MOhm",
                                  "DIN EN 62353 (informativ): Isolationswiderstand SK II 7 MOhm",
                                  "keine Angabe in DIN EN 62353 für SK III: Wert der Tabelle für DIN VDE 0751"};
const char* const kDirect62353[2] = {"DIN EN 62353 Tabelle 2: Geräteableitstrom direkt/Differenz SK I 0,5 mA",
                                     "DIN EN 62353 Tabelle 2: Geräteableitstrom direkt/Differenz SK II 0,1 mA"};
const char* const kAlt62353[2] = {"DIN EN 62353 Tabelle 2: Geräteableitstrom Ersatzmessung SK I 1 mA",
                                  "DIN EN 62353 Tabelle 2: Geräteableitstrom Ersatzmessung SK II 0,5 mA"};
const char* const kNone = "gehört nicht zur Prüfung";

// [standard - 6][class - 1][row]: R-PE (Ohm), R-ISO (MOhm), I-ABL (mA), I-EA (mA).
// I-ABL is the current measured with the appliance at mains voltage (direct
// or differential method): the protective-conductor current of class I, the
// touch current of class II; I-EA is the same current by the alternative
// method, with the same limits. Class III: only the insulation resistance.
const Cell kTable[3][kClassMax][kDeviceRowCount] = {
    {
        // DIN EN 50699 (VDE 0702)
        {{true, 0.3, kPe0702}, {true, 1.0, kIso0702[0]}, {true, 3.5, kCur0702[0]}, {true, 3.5, kCur0702[0]}},
        {{false, 0, kNone}, {true, 2.0, kIso0702[1]}, {true, 0.5, kCur0702[1]}, {true, 0.5, kCur0702[1]}},
        {{false, 0, kNone}, {true, 0.25, kIso0702[2]}, {false, 0, kNone}, {false, 0, kNone}},
    },
    {
        // DIN EN 50678 (VDE 0701)
        {{true, 0.3, kPe0701}, {true, 1.0, kIso0701[0]}, {true, 3.5, kCur0701[0]}, {true, 3.5, kCur0701[0]}},
        {{false, 0, kNone}, {true, 2.0, kIso0701[1]}, {true, 0.5, kCur0701[1]}, {true, 0.5, kCur0701[1]}},
        {{false, 0, kNone}, {true, 0.25, kIso0701[2]}, {false, 0, kNone}, {false, 0, kNone}},
    },
    {
        // DIN EN 62353 (VDE 0751-1): the equipment leakage current, I-ABL by
        // the direct or differential method, I-EA by the alternative method
        // (Table 2 of the standard); IEC 60601 knows no class III, which keeps
        // the program's table value for DIN VDE 0751.
        {{true, 0.3, kPe62353}, {true, 2.0, kIso62353[0]}, {true, 0.5, kDirect62353[0]}, {true, 1.0, kAlt62353[0]}},
        {{false, 0, kNone}, {true, 7.0, kIso62353[1]}, {true, 0.1, kDirect62353[1]}, {true, 0.5, kAlt62353[1]}},
        {{false, 0, kNone}, {true, 7.0, kIso62353[2]}, {false, 0, kNone}, {false, 0, kNone}},
    },
};
const Cell kNoCell{false, 0, kNone};

// Appliances with heating elements (DIN EN 50678 / 50699, as DIN VDE
// 0701-0702:2008): class I with the heating switched on keeps at least
// 0.3 MOhm; with more than 3.5 kW of heating the protective-conductor current
// may reach 1 mA per kW, at most 10 mA.
constexpr double kHeatingInsulation = 0.3;
constexpr double kHeatingPowerFrom = 3.5;
constexpr double kHeatingMilliampPerKw = 1.0;
constexpr double kHeatingCurrentMax = 10.0;

// The protective conductor.
constexpr double kPeBase = 0.3;       // up to 5 m and 1.5 mm^2
constexpr double kPeBaseLength = 5.0;
constexpr double kPeStepLength = 7.5;  // each further 7.5 m begun ...
constexpr double kPeStep = 0.1;        // ... adds 0.1 Ohm
constexpr double kPeMax = 1.0;
constexpr double kPeTableSection = 1.5;
constexpr double kPeAppliance = 0.1;   // above 1.5 mm^2: the appliance's share beside the cord

QString Decimal(double value) {
  QString text = CFormat("%g", value);
  return text.replace(QLatin1Char('.'), QLatin1Char(','));
}

}  // namespace

bool IsCurrent(int standard) { return standard >= kFirstCurrent && standard <= kLastCurrent; }

bool IsMedical(int standard) { return standard == 5 || standard == kEn62353; }

int TesterStandard(int standard) {
  switch (standard) {
    case 4:
    case kEn50699:
    case kEn50678: return 4;
    case 5:
    case kEn62353: return 5;
    default: return 0;
  }
}

std::vector<int> Choices(int testerStandard) {
  if (testerStandard == 4) return {4, kEn50699, kEn50678};
  if (testerStandard == 5) return {5, kEn62353};
  return {};
}

QString Name(int standard) {
  switch (standard) {
    case 1: return QStringLiteral("DIN VDE 0100");
    case 2: return QStringLiteral("DIN VDE 0701 Teil 1");
    case 3: return QStringLiteral("DIN VDE 0701 Teil 240");
    case 4: return QStringLiteral("DIN VDE 0701-0702");
    case 5: return QStringLiteral("DIN VDE 0751");
    case kEn50699: return QStringLiteral("DIN EN 50699 (VDE 0702)");
    case kEn50678: return QStringLiteral("DIN EN 50678 (VDE 0701)");
    case kEn62353: return QStringLiteral("DIN EN 62353 (VDE 0751-1)");
    default: return QString();
  }
}

QString HeadingLine2(int standard) {
  switch (standard) {
    case kEn50699: return QStringLiteral("Wiederholungsprüfung elektrischer Geräte");
    case kEn50678: return QStringLiteral("Prüfung elektrischer Geräte nach Instandsetzung oder Änderung");
    case kEn62353:
      return QStringLiteral("Wiederholungsprüfung und Prüfung nach Instandsetzung medizinischer elektrischer Geräte");
    default: return QStringLiteral("???");
  }
}

QString HeadingLine3(int standard) {
  return IsCurrent(standard) ? QStringLiteral("Prüfgrundlage ") + Name(standard) : QStringLiteral("???");
}

QString KindText(Kind kind) {
  return kind == Kind::Heating ? QStringLiteral("mit Heizelementen") : QStringLiteral("allgemein");
}

QStringList KindTexts() { return {KindText(Kind::General), KindText(Kind::Heating)}; }

Kind KindOf(const QString& text) {
  return text.trimmed().compare(KindText(Kind::Heating), Qt::CaseInsensitive) == 0 ? Kind::Heating : Kind::General;
}

const Cell& TableCell(int standard, int klasse, int row) {
  if (!IsCurrent(standard) || klasse < 1 || klasse > kClassMax || row < 0 || row >= kDeviceRowCount) return kNoCell;
  return kTable[standard - kFirstCurrent][klasse - 1][row];
}

QString Caption(int standard, int klasse, int row) {
  switch (row) {
    case 0: return QStringLiteral("Schutzleiterwiderstand");
    case 1: return QStringLiteral("Isolationswiderstand");
    case 2:
    case 3:
      if (standard == kEn62353) return QStringLiteral("Geräteableitstrom");
      return klasse == 2 ? QStringLiteral("Berührungsstrom") : QStringLiteral("Schutzleiterstrom");
    default: return QString();
  }
}

QStringList Methods(int standard, int row) {
  Q_UNUSED(standard);
  switch (row) {
    case 0: return {QStringLiteral("Prüfstrom mind. 200 mA")};
    case 1: return {QStringLiteral("Prüfspannung 500 V DC")};
    case 2: return {QStringLiteral("Differenzstromverfahren"), QStringLiteral("direktes Verfahren")};
    case 3: return {QStringLiteral("Ersatzableitstromverfahren")};
    default: return {};
  }
}

QString DefaultMethod(int standard, int row) {
  const QStringList methods = Methods(standard, row);
  return methods.isEmpty() ? QString() : methods.first();
}

QString Unit(int row) {
  static const char* const kUnits[kDeviceRowCount] = {"Ohm", "MOhm", "mA", "mA"};
  return row >= 0 && row < kDeviceRowCount ? QString::fromLatin1(kUnits[row]) : QString();
}

double ProtectiveConductorLimit(double lengthM, double sectionMm2) {
  const double length = std::isnan(lengthM) || lengthM < 0 ? 0.0 : lengthM;
  if (!std::isnan(sectionMm2) && sectionMm2 > kPeTableSection) {
    // The cord's own resistance beside the appliance's share.
    return std::min(kPeMax, kPeAppliance + length / (kCopperConductivity * sectionMm2));
  }
  if (length <= kPeBaseLength) return kPeBase;
  // Each further 7.5 m begun; a tiny excess from a decimal text is no step.
  const double steps = std::ceil((length - kPeBaseLength) / kPeStepLength - 1e-9);
  return std::min(kPeMax, kPeBase + kPeStep * steps);
}

double ParseNumber(const QString& text) {
  static const QRegularExpression number(QStringLiteral("^\\s*([0-9]+(?:[.,][0-9]*)?|[.,][0-9]+)\\s*$"));
  const QRegularExpressionMatch match = number.match(text);
  if (!match.hasMatch()) return kNaN;
  bool ok = false;
  const double value = match.captured(1).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
  return ok ? value : kNaN;
}

double ParsePowerKw(const QString& text) {
  static const QRegularExpression power(
      QStringLiteral("([0-9]+(?:[.,][0-9]+)?)\\s*(kW|KW|kw|Kw|W|w)?"));
  const QRegularExpressionMatch match = power.match(text);
  if (!match.hasMatch()) return kNaN;
  const double value = match.captured(1).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
  const QString unit = match.captured(2).toLower();
  if (unit == QLatin1String("kw")) return value;
  if (unit == QLatin1String("w")) return value / 1000.0;
  return value > 100.0 ? value / 1000.0 : value;
}

QString LimitText(int row, double value) {
  // The limit as two decimals when that is the limit itself; otherwise three,
  // cut towards the safe side (a lower limit up, an upper one down).
  const double hundredths = value * 100.0;
  if (std::fabs(hundredths - std::round(hundredths)) < 1e-6) return CFormat("%5.2f", value);
  const double thousandths = value * 1000.0;
  const double cut = row == 1 ? std::ceil(thousandths - 1e-6) : std::floor(thousandths + 1e-6);
  return CFormat("%5.3f", cut / 1000.0);
}

Limits Compute(int standard, int klasse, const Appliance& appliance, const UserProfile* profile) {
  Limits limits;
  if (!IsCurrent(standard)) return limits;
  const bool medical = standard == kEn62353;
  const bool heating = !medical && appliance.kind == Kind::Heating && klasse == 1;
  for (int r = 0; r < kDeviceRowCount; ++r) {
    const Cell& cell = TableCell(standard, klasse, r);
    RowLimit& row = limits.rows[size_t(r)];
    row.applies = cell.applies;
    if (!cell.applies) continue;
    row.value = cell.limit;
    if (r == 0 && !medical) {
      row.value = ProtectiveConductorLimit(appliance.cordLengthM, appliance.crossSectionMm2);
      if (std::isnan(appliance.cordLengthM))
        row.basis = QStringLiteral("Leitungslänge nicht angegeben: bis 5 m");
      else
        row.basis = QStringLiteral("%1 m Leitung").arg(Decimal(appliance.cordLengthM));
      if (!std::isnan(appliance.crossSectionMm2))
        row.basis += QStringLiteral(", %1 mm²").arg(Decimal(appliance.crossSectionMm2));
    }
    if (heating && r == 1) {
      row.value = kHeatingInsulation;
      row.basis = QStringLiteral("Heizelemente");
    }
    if (heating && r >= 2 && !std::isnan(appliance.powerKw) && appliance.powerKw > kHeatingPowerFrom) {
      row.value = std::min(kHeatingCurrentMax, kHeatingMilliampPerKw * appliance.powerKw);
      row.basis = QStringLiteral("Heizelemente %1 kW").arg(Decimal(appliance.powerKw));
    }
    if (profile && profile->standard == standard && klasse >= 1 && klasse <= kClassMax) {
      const double own = ParseNumber(profile->limits[size_t(klasse - 1)][size_t(r)]);
      if (!std::isnan(own)) {
        row.value = own;
        row.own = true;
        row.basis = QStringLiteral("Profil \u201E%1\u201C").arg(profile->name);
      }
    }
    row.text = LimitText(r, row.value);
  }
  return limits;
}

namespace {
const char* const kRowKeys[kDeviceRowCount] = {"RPE", "RISO", "IABL", "IEA"};
QString CellKey(int klasse, int row) { return QStringLiteral("SK%1_%2").arg(klasse).arg(QLatin1String(kRowKeys[row])); }
QString SectionName(int index) { return QStringLiteral("Profil%1").arg(index + 1); }
// The file holds at most this many profiles (a damaged count is no reason to read for ever).
constexpr int kMaxProfiles = 200;
}  // namespace

QString UserProfilesFile() { return Places::SettingsFolder() + QStringLiteral("/grenzwertprofile.ini"); }

bool LoadUserProfiles(std::vector<UserProfile>* profiles, QString* error) {
  profiles->clear();
  QByteArray bytes;
  QString why;
  switch (FileIO::ReadFile(UserProfilesFile(), TProfile::kMaxFileSize, &bytes, &why)) {
    case FileIO::ReadResult::Missing: return true;
    case FileIO::ReadResult::Failed:
      if (error) *error = QStringLiteral("Die Grenzwertprofile (%1) können nicht gelesen werden: %2").arg(UserProfilesFile(), why);
      return false;
    case FileIO::ReadResult::Ok: break;
  }
  const TProfile head(QStringLiteral("Grenzwertprofile"), bytes, TProfile::InMemory{});
  const int count = std::min(kMaxProfiles, std::max(0, head.GetInt(QStringLiteral("Anzahl"), 0)));
  for (int i = 0; i < count; ++i) {
    const TProfile section(SectionName(i), bytes, TProfile::InMemory{});
    if (!section.HasSection()) continue;
    UserProfile profile;
    profile.name = section.GetString(QStringLiteral("Name"), 100).trimmed();
    profile.standard = section.GetInt(QStringLiteral("Norm"), kEn50699);
    if (profile.name.isEmpty() || !IsCurrent(profile.standard)) continue;
    for (int k = 1; k <= kClassMax; ++k)
      for (int r = 0; r < kDeviceRowCount; ++r)
        profile.limits[size_t(k - 1)][size_t(r)] = section.GetString(CellKey(k, r), 20).trimmed();
    profiles->push_back(profile);
  }
  return true;
}

QString CheckProfiles(const std::vector<UserProfile>& profiles) {
  QStringList names;
  for (const UserProfile& p : profiles) {
    const QString name = p.name.trimmed();
    if (name.isEmpty()) return QStringLiteral("Ein Grenzwertprofil braucht einen Namen.");
    if (!IsCp1252Representable(name))
      return QStringLiteral("Der Name \u201E%1\u201C enthält Zeichen, die nicht gespeichert werden können.").arg(name);
    if (names.contains(name, Qt::CaseInsensitive))
      return QStringLiteral("Das Grenzwertprofil \u201E%1\u201C gibt es zweimal.").arg(name);
    names << name;
    if (!IsCurrent(p.standard)) return QStringLiteral("Das Grenzwertprofil \u201E%1\u201C hat keine Norm.").arg(name);
    for (int k = 0; k < kClassMax; ++k)
      for (int r = 0; r < kDeviceRowCount; ++r) {
        const QString& cell = p.limits[size_t(k)][size_t(r)];
        if (!cell.trimmed().isEmpty() && std::isnan(ParseNumber(cell)))
          return QStringLiteral("\u201E%1\u201C im Grenzwertprofil \u201E%2\u201C ist kein Grenzwert.").arg(cell, name);
      }
  }
  return QString();
}

bool SaveUserProfiles(const std::vector<UserProfile>& profiles, QString* error) {
  const QString wrong = CheckProfiles(profiles);
  if (!wrong.isEmpty()) {
    if (error) *error = wrong;
    return false;
  }
  QString text = QStringLiteral("[Grenzwertprofile]\r\nAnzahl=%1\r\n").arg(profiles.size());
  for (size_t i = 0; i < profiles.size(); ++i) {
    const UserProfile& p = profiles[i];
    text += QStringLiteral("\r\n[%1]\r\nName=%2\r\nNorm=%3\r\n").arg(SectionName(int(i)), p.name.trimmed()).arg(p.standard);
    for (int k = 1; k <= kClassMax; ++k)
      for (int r = 0; r < kDeviceRowCount; ++r) {
        const QString cell = p.limits[size_t(k - 1)][size_t(r)].trimmed();
        if (!cell.isEmpty()) text += CellKey(k, r) + QLatin1Char('=') + cell + QStringLiteral("\r\n");
      }
  }
  const QString folder = Places::SettingsFolder();
  if (!QDir().mkpath(folder)) {
    if (error) *error = QStringLiteral("Der Ordner der Einstellungen (%1) kann nicht angelegt werden.").arg(folder);
    return false;
  }
  QString why;
  if (!FileIO::SaveFileAtomically(UserProfilesFile(), UnicodeToCp1252(text), &why)) {
    if (error)
      *error = QStringLiteral("Die Grenzwertprofile wurden nicht gespeichert (%1): %2 Die bisher gespeicherten "
                              "Profile sind unverändert.")
                   .arg(UserProfilesFile(), why);
    return false;
  }
  return true;
}

const UserProfile* FindProfile(const std::vector<UserProfile>& profiles, const QString& name) {
  if (name.trimmed().isEmpty()) return nullptr;
  for (const UserProfile& p : profiles)
    if (p.name.trimmed().compare(name.trimmed(), Qt::CaseInsensitive) == 0) return &p;
  return nullptr;
}

}  // namespace Profiles
