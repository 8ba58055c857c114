// Test entry point: one QApplication on the offscreen platform for all tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/seams.h"
#include "tests/testutil.h"

namespace {
class SeamReset : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override { Seams::ResetAll(); }
};
}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  TestUtil::InstallFonts();
  ::testing::UnitTest::GetInstance()->listeners().Append(new SeamReset);
  return RUN_ALL_TESTS();
}
