// Number texts under the user's locale: a German desktop (decimal comma)
// switched on for real, with a locale built by localedef when none is installed.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/cformat.h"

namespace {
// Switches LC_NUMERIC to a German locale (decimal comma) for the life of the
// object, building one with localedef when none is installed.
class GermanNumbers {
 public:
  GermanNumbers() {
    previous_ = std::setlocale(LC_NUMERIC, nullptr);
    if (const char* p = std::getenv("LOCPATH")) oldLocpath_ = p, hadLocpath_ = true;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
      if (std::setlocale(LC_NUMERIC, name)) return;
    if (!dir_.isValid()) return;
    const QByteArray target = QFile::encodeName(dir_.path() + "/de_DE.UTF-8");
    const QByteArray cmd = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
    if (std::system(cmd.constData()) != 0) return;
    setenv("LOCPATH", QFile::encodeName(dir_.path()).constData(), 1);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  }
  ~GermanNumbers() {
    std::setlocale(LC_NUMERIC, previous_.c_str());
    if (hadLocpath_)
      setenv("LOCPATH", oldLocpath_.c_str(), 1);
    else
      unsetenv("LOCPATH");
  }
  bool Active() const { return std::string(std::localeconv()->decimal_point) == ","; }

 private:
  std::string previous_, oldLocpath_;
  bool hadLocpath_ = false;
  QTemporaryDir dir_;
};
}  // namespace

TEST(CFormat, NumbersKeepThePointUnderADecimalCommaLocale) {
  // The GUI library adopts the user's locale on Unix; a German desktop must
  // still get " 0.30" in the limit fields and read "0.30" back as 0.3.
  GermanNumbers german;
  if (!german.Active()) GTEST_SKIP() << "no German locale available";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  ASSERT_STREQ(probe, "0,5") << "the process locale did not switch";
  EXPECT_EQ(CFormat("%5.2f", static_cast<double>(0.3f)), " 0.30");
  EXPECT_EQ(CFormat("%7.3f", 12.5), " 12.500");
  float v = 0;
  EXPECT_TRUE(ScanFloat("0.30", &v));
  EXPECT_FLOAT_EQ(v, 0.30f);
  EXPECT_TRUE(ScanFloat("2.5e1", &v));
  EXPECT_FLOAT_EQ(v, 25.0f);
  // A comma stays what it is in C: the end of the number.
  EXPECT_TRUE(ScanFloat("0,45", &v));
  EXPECT_FLOAT_EQ(v, 0.0f);
}
