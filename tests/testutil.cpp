#include "tests/testutil.h"

#include <QDir>

#include "render/fonts.h"

namespace TestUtil {

void InstallFonts() { Fonts::InstallSubstitutions(); }

QString OutDir() {
  QString dir = QStringLiteral(KELVARA_TEST_OUT);
  QDir().mkpath(dir);
  return dir;
}

QImage Grab(QWidget* widget, const QString& name) {
  if (!widget->isVisible()) widget->show();
  QApplication::processEvents();
  QImage image = widget->grab().toImage();
  image.save(OutDir() + "/" + name + ".png");
  return image;
}

QPalette DarkPalette() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(40, 40, 40));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(50, 50, 50));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  return dark;
}

ScopedAppPalette::ScopedAppPalette(const QPalette& palette) : old_(QApplication::palette()) {
  QApplication::setPalette(palette);
}

ScopedAppPalette::~ScopedAppPalette() { QApplication::setPalette(old_); }

}  // namespace TestUtil
