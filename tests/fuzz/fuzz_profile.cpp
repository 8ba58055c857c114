// Any bytes as an INI file: reading never fails hard, a written key reads back
// exactly, and every other byte of the file stays as it was.
#include <QFile>
#include <cstdint>
#include <cstdio>

#include "core/profile.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const QString path = Fuzz::Folder().filePath(QStringLiteral("fuzz.ini"));
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
  {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(bytes);
  }
  const QString section = QStringLiteral("TEXT_EDIT_SETTINGS");
  TProfile p(section, path);
  FUZZ_CHECK(p.State() == TProfile::FileState::Ok);
  FUZZ_CHECK(p.Bytes() == bytes);
  const QString keys[] = {QStringLiteral("Auftraggeber"), QStringLiteral("VDEKlasse"), QStringLiteral("x")};
  QString before[3];
  for (int k = 0; k < 3; ++k) {
    before[k] = p.GetString(keys[k], 400, QStringLiteral("<none>"));
    FUZZ_CHECK(before[k].size() <= 399);
    (void)p.GetInt(keys[k], -1);
  }
  const QString value = QStringLiteral("  Müller \"GmbH\"  ");
  FUZZ_CHECK(p.WriteString(keys[0], value));
  FUZZ_CHECK(p.GetString(keys[0], 400) == value);
  for (int k = 1; k < 3; ++k) FUZZ_CHECK(p.GetString(keys[k], 400, QStringLiteral("<none>")) == before[k]);
  FUZZ_CHECK(p.Flush());
  TProfile again(section, path);
  FUZZ_CHECK(again.GetString(keys[0], 400) == value);
  FUZZ_CHECK(again.Bytes() == p.Bytes());
  return 0;
}
