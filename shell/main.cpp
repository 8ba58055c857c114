// Entry point of Kelvara.
#include <QApplication>
#include <QLabel>

#include "platform/fonts.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Fonts::InstallSubstitutions();
  QLabel placeholder("Kelvara");
  placeholder.show();
  return app.exec();
}
