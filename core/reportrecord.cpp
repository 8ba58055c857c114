#include "core/reportrecord.h"

#include "core/values.h"
#include "core/duedates.h"
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
  return Values::RowApplies(kRowApplies, record.VdeKlasse, record.VdePruefgrundlage, row);
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
