#include "core/reportrecord.h"

#include <QStringList>
#include <algorithm>

#include "core/values.h"
#include "core/duedates.h"
#include "core/limitprofiles.h"
#include "core/cformat.h"
#include "core/cp1252.h"
#include "core/profile.h"

namespace {

// Device window texts are read as C strings of at most 18 characters.
constexpr int kCopyChars = 18;
// Text fields are read back with room for every character this program
// writes (the longest composed signature line is far below this); files of
// older programs hold at most 98 characters per field.
constexpr int kFieldReadBuffer = 400;
constexpr int kValueReadBuffer = 20;
constexpr int kOkReadBuffer = 100;

bool Keeps(int row, float m, float g) {
  switch (row) {
    case 0: return m < g;
    case 1: return m >= g;
    default: return m <= g;
  }
}

// The text of a field as the file stores it: its first line.
QString FirstLine(const QString& text) {
  int end = text.size();
  for (int i = 0; i < text.size(); ++i)
    if (text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n')) {
      end = i;
      break;
    }
  return text.left(end);
}

}  // namespace

ReportRecord::ReportRecord() {
  MessText.fill(QStringLiteral("??"));
  GrenzText.fill(QStringLiteral("??"));
}

namespace Report {

const char* const kSection = "TEXT_EDIT_SETTINGS";

QString Key(int index) {
  if (index < Layout::kFieldCount) return Layout::FieldKey(index);
  index -= Layout::kFieldCount;
  const QString suffix = QString::fromLatin1(kRowSuffix[index % kRowCount]);
  switch (index / kRowCount) {
    case 0: return QStringLiteral("MESS_") + suffix;
    case 1: return QStringLiteral("GRENZ_") + suffix;
    default: return QStringLiteral("GRENZ_") + suffix + QStringLiteral("_OK");
  }
}

bool RowPasses(int row, const QString& messText, const QString& grenzText) {
  float m = 0, g = 0;
  const bool mConverts = ScanFloat(messText, &m);
  const bool gConverts = ScanFloat(grenzText, &g);
  if (mConverts && gConverts) return Keeps(row, m, g);
  // beyond the insulation meter's range: more than any limit
  return row == 1 && messText == QLatin1String("Overflow") && gConverts;
}

bool RowApplies(const ReportRecord& record, int row) {
  if (Profiles::IsCurrent(record.VdePruefgrundlage)) return Profiles::TableCell(record.VdePruefgrundlage, record.VdeKlasse, row).applies;
  return Values::RowApplies(kRowApplies, record.VdeKlasse, record.VdePruefgrundlage, row);
}

namespace {
const char* const kAnlass[5] = {"", "Erstprüfung", "Wiederholungsprüfung", "nach Instandsetzung", "nach Änderung"};
}  // namespace

QString AnlassText(int anlass) { return anlass >= 1 && anlass <= 4 ? QString::fromUtf8(kAnlass[anlass]) : QString(); }

int AnlassCode(const QString& text) {
  const QString wanted = text.trimmed();
  for (int a = 1; a <= 4; ++a)
    if (wanted.compare(AnlassText(a), Qt::CaseInsensitive) == 0) return a;
  return 0;
}

void Evaluate(const DeviceSnapshot& device, ReportRecord* record) {
  record->VdePruefgrundlage = device.VdePruefgrundlage;
  record->VdeKlasse = device.VdeKlasse;
  for (int r = 0; r < kDeviceRowCount; ++r) {
    record->RowActive[r] = RowApplies(*record, r) && device.MeasurementAvailable[r] == 1 ? 1 : 0;
    record->MessText[r] = device.ValueText[r].left(kCopyChars);
    record->GrenzText[r] = device.LimitText[r].left(kCopyChars);
    record->Ok[r] = RowPasses(r, record->MessText[r], record->GrenzText[r]);
  }
  // The device window has no source for rows 4..7. They are cleared so that a
  // report saved after Kopieren does not bring back old values as active rows
  // when it is loaded again.
  for (int r = kDeviceRowCount; r < kRowCount; ++r) {
    record->RowActive[r] = 0;
    record->Ok[r] = false;
    record->MessText[r] = QStringLiteral("??");
    record->GrenzText[r] = QStringLiteral("??");
  }
  record->Fields[Layout::kFieldSchutzklasse] = Values::ClassText(device.VdeKlasse);
  record->Fields[Layout::kFieldMessgeraet] = device.DeviceText;
}

int GesamtOk(const ReportRecord& record) {
  int active = 0;
  for (int r = 0; r < kRowCount; ++r) {
    if (record.RowActive[r] == 0) continue;
    ++active;
    if (!record.Ok[r]) return 0;
  }
  return active > 0 ? 1 : 0;
}

bool Passed(const ReportRecord& record) {
  return record.Sichtpruefung && record.Funktionspruefung && GesamtOk(record) == 1;
}

namespace {
// The keys of what the rules ask of a test record and of the current
// standards' limits. Each is written only when it holds something, and a
// file without them reads as before: an older program reads the file (it
// leaves these keys alone, also when it saves into the file), and this one
// reads the files of older ones.
const char* const kKeyAnlass = "Anlass";
const char* const kKeyUmfang = "Pruefumfang";
const char* const kKeyVorpruefung = "Vorpruefung";
const char* const kKeyLaenge = "Leitungslaenge";
const char* const kKeyQuerschnitt = "Leitungsquerschnitt";
const char* const kKeyArt = "Geraeteart";
const char* const kKeyProfil = "Grenzwertprofil";
const char* const kKeyNorm0701 = "NormFuerVDE0701_0702";
const char* const kKeyNorm0751 = "NormFuerVDE0751";
constexpr int kCurrentReadBuffer = 200;

QString RowKey(const char* prefix, int row) { return QLatin1String(prefix) + QLatin1String(kRowSuffix[row]); }

void ReadCurrentKeys(const TProfile& profile, ReportRecord* record) {
  ReportRecord& r = *record;
  auto text = [&](const char* key) { return profile.GetString(QLatin1String(key), kCurrentReadBuffer).trimmed(); };
  r.Anlass = AnlassCode(text(kKeyAnlass));
  r.Pruefumfang = text(kKeyUmfang);
  for (int row = 0; row < kRowCount; ++row) {
    r.Methode[row] = profile.GetString(RowKey("METHODE_", row), kCurrentReadBuffer).trimmed();
    r.Vorwert[row] = profile.GetString(RowKey("VORWERT_", row), kValueReadBuffer);
  }
  r.Vorpruefung = text(kKeyVorpruefung);
  r.Leitungslaenge = text(kKeyLaenge);
  r.Leitungsquerschnitt = text(kKeyQuerschnitt);
  r.Geraeteart = int(Profiles::KindOf(text(kKeyArt)));
  r.Grenzwertprofil = text(kKeyProfil);
  const int norm0701 = profile.GetInt(QLatin1String(kKeyNorm0701), 4);
  const int norm0751 = profile.GetInt(QLatin1String(kKeyNorm0751), 5);
  r.NormFuer0701 = Profiles::TesterStandard(norm0701) == 4 ? norm0701 : 4;
  r.NormFuer0751 = Profiles::TesterStandard(norm0751) == 5 ? norm0751 : 5;
}

// Every one of these keys.
QStringList AllCurrentKeys() {
  QStringList keys;
  for (const char* key : {kKeyAnlass, kKeyUmfang}) keys << QLatin1String(key);
  for (int row = 0; row < kRowCount; ++row) keys << RowKey("METHODE_", row);
  for (int row = 0; row < kRowCount; ++row) keys << RowKey("VORWERT_", row);
  for (const char* key : {kKeyVorpruefung, kKeyLaenge, kKeyQuerschnitt, kKeyArt, kKeyProfil, kKeyNorm0701, kKeyNorm0751})
    keys << QLatin1String(key);
  return keys;
}

// The texts of these keys, in the order they are written; empty ones are not.
std::vector<std::pair<QString, QString>> CurrentKeys(const ReportRecord& r) {
  std::vector<std::pair<QString, QString>> keys;
  auto put = [&](const QString& key, const QString& value) {
    if (!value.trimmed().isEmpty()) keys.emplace_back(key, value);
  };
  put(QLatin1String(kKeyAnlass), AnlassText(r.Anlass));
  put(QLatin1String(kKeyUmfang), FirstLine(r.Pruefumfang));
  for (int row = 0; row < kRowCount; ++row) put(RowKey("METHODE_", row), FirstLine(r.Methode[row]));
  for (int row = 0; row < kRowCount; ++row) put(RowKey("VORWERT_", row), r.Vorwert[row]);
  put(QLatin1String(kKeyVorpruefung), r.Vorpruefung);
  put(QLatin1String(kKeyLaenge), FirstLine(r.Leitungslaenge));
  put(QLatin1String(kKeyQuerschnitt), FirstLine(r.Leitungsquerschnitt));
  if (r.Geraeteart != int(Profiles::Kind::General)) put(QLatin1String(kKeyArt), Profiles::KindText(Profiles::Kind(r.Geraeteart)));
  put(QLatin1String(kKeyProfil), FirstLine(r.Grenzwertprofil));
  if (r.NormFuer0701 != 4) put(QLatin1String(kKeyNorm0701), QString::number(r.NormFuer0701));
  if (r.NormFuer0751 != 5) put(QLatin1String(kKeyNorm0751), QString::number(r.NormFuer0751));
  return keys;
}

ReadResult ReadProfile(const TProfile& profile, ReportRecord* record) {
  ReadResult result;
  if (profile.State() == TProfile::FileState::Unreadable) {
    result.status = ReadResult::Unreadable;
    result.error = profile.ErrorText();
    return result;
  }
  if (!profile.HasSection()) {
    result.status = profile.State() == TProfile::FileState::Missing ? ReadResult::Missing : ReadResult::NoRecord;
    return result;
  }
  ReportRecord& r = *record;
  r.VdePruefgrundlage = profile.GetInt(QStringLiteral("VDEPruefgrundlage"), 0);
  r.VdeKlasse = profile.GetInt(QStringLiteral("VDEKlasse"), 0);
  for (int i = 0; i < Layout::kFieldCount; ++i) r.Fields[i] = profile.GetString(Key(i), kFieldReadBuffer);
  for (int row = 0; row < kRowCount; ++row) {
    r.MessText[row] = profile.GetString(Key(Layout::kFieldCount + row), kValueReadBuffer);
    r.RowActive[row] = ScanFloat(r.MessText[row], nullptr) || r.MessText[row] == QLatin1String("Overflow") ? 1 : 0;
    r.GrenzText[row] = profile.GetString(Key(Layout::kFieldCount + kRowCount + row), kValueReadBuffer);
    r.Ok[row] = profile.GetString(Key(Layout::kFieldCount + 2 * kRowCount + row), kOkReadBuffer)
                    .startsWith(QLatin1Char('1'));
  }
  r.Sichtpruefung = profile.GetInt(QStringLiteral("Sichtpruefung"), 0) == 1;
  r.Funktionspruefung = profile.GetInt(QStringLiteral("Funktionspruefung"), 0) == 1;
  // Rows 0..3 belong to the report exactly when the stored standard and class
  // prescribe them.
  for (int row = 0; row < kDeviceRowCount; ++row)
    r.RowActive[row] = RowApplies(r, row) ? 1 : 0;
  ReadCurrentKeys(profile, &r);
  // The page of a current standard has no lines for rows 4..7.
  if (Profiles::IsCurrent(r.VdePruefgrundlage))
    for (int row = kDeviceRowCount; row < kRowCount; ++row) r.RowActive[row] = 0;
  return result;
}
}  // namespace

ReadResult Read(const QString& path, ReportRecord* record) {
  return ReadProfile(TProfile(QString::fromLatin1(kSection), path), record);
}

ReadResult ReadBytes(const QByteArray& bytes, ReportRecord* record) {
  return ReadProfile(TProfile(QString::fromLatin1(kSection), bytes, TProfile::InMemory{}), record);
}

namespace {
// Checks that every text can be stored, then writes the record's keys into the
// profile's section in record order.
WriteResult Fill(TProfile& profile, const ReportRecord& record) {
  WriteResult result;
  // Everything is checked first, so that nothing is written when a text
  // cannot be stored: cp1252 has no byte for it and it would be lost.
  std::array<QString, Layout::kFieldCount> texts;
  for (int i = 0; i < Layout::kFieldCount; ++i) {
    texts[i] = FirstLine(record.Fields[i]);
    if (!IsCp1252Representable(texts[i])) {
      result.status = WriteResult::FieldNotStorable;
      result.field = i;
      return result;
    }
  }
  for (int r = 0; r < kRowCount; ++r) {
    if (!IsCp1252Representable(record.MessText[r]) || !IsCp1252Representable(record.GrenzText[r])) {
      result.status = WriteResult::ValueNotStorable;
      return result;
    }
  }
  const std::vector<std::pair<QString, QString>> current = CurrentKeys(record);
  for (const auto& [key, value] : current)
    if (!IsCp1252Representable(value)) {
      result.status = WriteResult::ValueNotStorable;
      return result;
    }
  if (profile.State() == TProfile::FileState::Unreadable) {
    result.status = WriteResult::Unreadable;
    result.error = profile.ErrorText();
    return result;
  }
  bool ok = true;
  ok &= profile.WriteInt(QStringLiteral("VDEPruefgrundlage"), record.VdePruefgrundlage);
  ok &= profile.WriteInt(QStringLiteral("VDEKlasse"), record.VdeKlasse);
  ok &= profile.WriteInt(QStringLiteral("NumOfEditFields"), Layout::kFieldCount);
  for (int i = 0; i < Layout::kFieldCount; ++i) ok &= profile.WriteString(Key(i), texts[i]);
  for (int r = 0; r < kRowCount; ++r) ok &= profile.WriteString(Key(Layout::kFieldCount + r), record.MessText[r]);
  for (int r = 0; r < kRowCount; ++r)
    ok &= profile.WriteString(Key(Layout::kFieldCount + kRowCount + r), record.GrenzText[r]);
  for (int r = 0; r < kRowCount; ++r)
    ok &= profile.WriteString(Key(Layout::kFieldCount + 2 * kRowCount + r),
                              record.Ok[r] ? QStringLiteral("1") : QStringLiteral("0"));
  ok &= profile.WriteInt(QStringLiteral("Sichtpruefung"), record.Sichtpruefung ? 1 : 0);
  ok &= profile.WriteInt(QStringLiteral("Funktionspruefung"), record.Funktionspruefung ? 1 : 0);
  // The month of the next test, for whoever reads the file (the archive, a
  // script). It follows from the fields, so a reader computes it from them.
  ok &= profile.WriteString(QString::fromLatin1(DueDates::kNextTestKey), DueDates::MonthText(DueDates::NextTest(record)));
  for (const auto& [key, value] : current) ok &= profile.WriteString(key, value);
  // A key the file holds from before that the report no longer sets is
  // emptied, so that it does not come back when the file is read.
  const QString absent = QStringLiteral("\x01");
  for (const QString& key : AllCurrentKeys()) {
    if (std::any_of(current.begin(), current.end(), [&](const auto& kv) { return kv.first == key; })) continue;
    const QString old = profile.GetString(key, 4, absent);
    if (old != absent && !old.isEmpty()) ok &= profile.WriteString(key, QString());
  }
  if (!ok) result.status = WriteResult::NotWritable;
  return result;
}
}  // namespace

WriteResult Write(const QString& path, const ReportRecord& record) {
  TProfile profile(QString::fromLatin1(kSection), path);
  WriteResult result = Fill(profile, record);
  if (result.status != WriteResult::Ok) return result;
  if (!profile.Flush()) {
    result.status = WriteResult::SaveFailed;
    result.error = profile.ErrorText();
  }
  return result;
}

WriteResult Encode(const ReportRecord& record, QByteArray* bytes) {
  TProfile profile(QString::fromLatin1(kSection), QByteArray(), TProfile::InMemory{});
  WriteResult result = Fill(profile, record);
  if (result.status == WriteResult::Ok) *bytes = profile.Bytes();
  return result;
}

}  // namespace Report
