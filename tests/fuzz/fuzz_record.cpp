// Any bytes as a data record file: the form loads it without harm, saves it,
// and what it saved loads back into the same report.
#include <QCheckBox>
#include <QFile>
#include <cstdint>
#include <cstdio>

#include "platform/seams.h"
#include "report/TFormular.h"
#define KELVARA_FUZZ_WINDOWS
#include "tests/fuzz/fuzz_common.h"

namespace {
struct Snapshot {
  QStringList fields;
  QStringList values;
  int norm = 0, klasse = 0;
  bool sicht = false, funktion = false;
  bool operator==(const Snapshot& o) const {
    return fields == o.fields && values == o.values && norm == o.norm && klasse == o.klasse && sicht == o.sicht &&
           funktion == o.funktion;
  }
};

Snapshot Take(const TFormular& f) {
  Snapshot s;
  for (int i = 0; i < TFormular::kNumEdits; ++i) s.fields << f.FieldText(i);
  for (int r = 0; r < kRowCount; ++r) s.values << f.MessText[r] << f.GrenzText[r];
  s.norm = f.VdePruefgrundlage;
  s.klasse = f.VdeKlasse;
  s.sicht = f.SichtpruefungBox->isChecked();
  s.funktion = f.FunktionspruefungBox->isChecked();
  return s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fuzz::App();
  static int boxes = 0;
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) {
    ++boxes;
    return Win::IDOK;
  });
  static TFormular* form = [] {
    auto* f = new TFormular(nullptr, nullptr);
    f->SetupWindow();
    return f;
  }();
  static const QString in = Fuzz::Folder().filePath(QStringLiteral("in.ini"));
  static const QString out = Fuzz::Folder().filePath(QStringLiteral("out.ini"));
  {
    QFile f(in);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  }
  QFile::remove(out);
  if (!form->LoadRecord(in)) return 0;  // refused with a message: the form is unchanged
  const Snapshot loaded = Take(*form);
  const int before = boxes;
  if (!form->SaveRecord(out)) {
    FUZZ_CHECK(boxes == before + 1);  // a refused save always says why
    return 0;
  }
  FUZZ_CHECK(form->LoadRecord(out));
  FUZZ_CHECK(Take(*form) == loaded);
  return 0;
}
