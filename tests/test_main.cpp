// Test entry point: one QApplication on the offscreen platform for all tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

#include "core/reporttemplate.h"
#include "platform/seams.h"
#include "tests/testutil.h"

namespace {
class SeamReset : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    Seams::ResetAll();
    // The program's form keeps the user's template: no test leaves one for the next.
    QFile::remove(ReportTemplate::File());
  }
};
}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The offscreen platform's own screen is 800 x 600, smaller than the frame:
  // the tests get a desktop screen of 1920 x 1080 (tests of small screens set
  // the frame's available area themselves).
  QTemporaryDir screens;
  if (std::string(std::getenv("QT_QPA_PLATFORM")) == "offscreen") {
    const QString config = screens.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (file.open(QIODevice::WriteOnly)) {
      file.write(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                 R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
      file.close();
      setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit().constData(), 1);
    }
  }
  // No test may reach a printer of the machine: the print system is asked at
  // a place where none answers, so only PDF output remains.
  setenv("CUPS_SERVER", "/nonexistent/kelvara-tests/cups.sock", 1);
  // The user's settings (folders last used) and data (the archive and its
  // queue) stay untouched, also by the programs the tests start.
  QTemporaryDir config;
  TestUtil::KeepTheUsersFiles(config.path());
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  TestUtil::InstallFonts();
  ::testing::UnitTest::GetInstance()->listeners().Append(new SeamReset);
  return RUN_ALL_TESTS();
}
