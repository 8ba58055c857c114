// Entry point of Kelvara.
#include <QApplication>
#include <cstring>

#include "device/TMessgeraet.h"
#include "platform/fonts.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Fonts::InstallSubstitutions();
  // Until the main frame exists the device window is shown on its own.
  const int debugMode = (argc > 1 && std::strcmp(argv[1], "debugkelvara") == 0) ? 1 : 0;
  TMessgeraet device(nullptr, 1000, debugMode);
  device.SetupWindow();
  device.show();
  return app.exec();
}
