#include "render/fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace Fonts {

void InstallSubstitutions() {
  QFont::insertSubstitutions("MS Sans Serif", QStringList{"Liberation Sans", "Arial", "DejaVu Sans"});
  QFont::insertSubstitutions("Microsoft Sans Serif", QStringList{"Liberation Sans", "DejaVu Sans"});
  QFont::insertSubstitutions("Arial", QStringList{"Liberation Sans", "DejaVu Sans"});
  QFont::insertSubstitutions("Courier New", QStringList{"Liberation Mono", "DejaVu Sans Mono"});
  QFont::insertSubstitutions("Big Fonts", QStringList{"Liberation Sans", "DejaVu Sans"});
  QFont::insertSubstitutions("Barfont", QStringList{"Liberation Sans", "DejaVu Sans"});
}

QFont DialogFont() {
  QFont font("MS Sans Serif");
  font.setPointSize(8);
  font.setStyleHint(QFont::SansSerif);
  // Liberation Sans is about 8 % wider than the 8 pt bitmap face the dialog
  // templates were laid out for; narrowed to match, texts fit their rects.
  font.setStretch(92);
  return font;
}

QFont FixedFont() {
  QFont font("Courier New");
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPointSize(9);
  return font;
}

QFont VariableFont() {
  QFont font("Arial");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(12);
  return font;
}

}  // namespace Fonts
