// Any bytes as a data record file: reading it does no harm, a record read
// is written again or refused with its reason, and what was written reads
// back into the same report with the same verdict.
#include <QFile>
#include <cstdint>
#include <cstdio>

#include "core/reportrecord.h"
#include "tests/fuzz/fuzz_common.h"

namespace {
bool SameReport(const ReportRecord& a, const ReportRecord& b) {
  return a.Fields == b.Fields && a.MessText == b.MessText && a.GrenzText == b.GrenzText &&
         a.VdePruefgrundlage == b.VdePruefgrundlage && a.VdeKlasse == b.VdeKlasse && a.RowActive == b.RowActive &&
         a.Ok == b.Ok && a.Sichtpruefung == b.Sichtpruefung && a.Funktionspruefung == b.Funktionspruefung;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fuzz::App();
  static const QString in = Fuzz::Folder().filePath(QStringLiteral("in.ini"));
  static const QString out = Fuzz::Folder().filePath(QStringLiteral("out.ini"));
  {
    QFile f(in);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  }
  QFile::remove(out);
  ReportRecord loaded;
  const Report::ReadResult read = Report::Read(in, &loaded);
  if (read.status != Report::ReadResult::Ok) {
    // Not a record: nothing of it was taken.
    FUZZ_CHECK(SameReport(loaded, ReportRecord()));
    return 0;
  }
  const Report::WriteResult written = Report::Write(out, loaded);
  if (written.status != Report::WriteResult::Ok) {
    // A refused write names what cannot be stored, and leaves no file.
    FUZZ_CHECK(written.status == Report::WriteResult::FieldNotStorable ||
               written.status == Report::WriteResult::ValueNotStorable);
    FUZZ_CHECK(written.status != Report::WriteResult::FieldNotStorable ||
               (written.field >= 0 && written.field < Layout::kFieldCount));
    FUZZ_CHECK(!QFile::exists(out));
    return 0;
  }
  ReportRecord again;
  FUZZ_CHECK(Report::Read(out, &again).status == Report::ReadResult::Ok);
  FUZZ_CHECK(SameReport(again, loaded));
  FUZZ_CHECK(Report::Passed(again) == Report::Passed(loaded));
  // The file and the bytes of a new file hold the same.
  QByteArray encoded;
  FUZZ_CHECK(Report::Encode(again, &encoded).status == Report::WriteResult::Ok);
  ReportRecord fromBytes;
  FUZZ_CHECK(Report::ReadBytes(encoded, &fromBytes).status == Report::ReadResult::Ok);
  FUZZ_CHECK(SameReport(fromBytes, loaded));
  return 0;
}
