#include "platform/lightpalette.h"

namespace LightPalette {

QPalette Make(const QPalette& base, const QColor& window) {
  QPalette pal = base;
  pal.setColor(QPalette::Window, window);
  pal.setColor(QPalette::WindowText, Qt::black);
  pal.setColor(QPalette::Base, Qt::white);
  pal.setColor(QPalette::AlternateBase, QColor(245, 245, 245));
  pal.setColor(QPalette::Text, Qt::black);
  pal.setColor(QPalette::Button, QColor(240, 240, 240));
  pal.setColor(QPalette::ButtonText, Qt::black);
  pal.setColor(QPalette::ToolTipBase, QColor(255, 255, 220));
  pal.setColor(QPalette::ToolTipText, Qt::black);
  // Disabled controls write in grey.
  const QColor disabledText(120, 120, 120);
  pal.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
  pal.setColor(QPalette::Disabled, QPalette::Text, disabledText);
  pal.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
  return pal;
}

void Apply(QWidget* window, const QColor& background) {
  const QPalette pal = Make(window->palette(), background);
  window->setPalette(pal);
  for (QWidget* child : window->findChildren<QWidget*>())
    if (!child->styleSheet().isEmpty()) child->setPalette(pal);
}

}  // namespace LightPalette
