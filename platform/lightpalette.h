#pragma once
// Palette of a window with a fixed light background of its own (the device
// window, the report page): black writing, white fields and light buttons,
// whatever colours the desktop theme gives other windows. Without it a dark
// theme's light text would vanish on the light background.
#include <QColor>
#include <QPalette>
#include <QWidget>

namespace LightPalette {
// `base` with the window colour `window` and the light colours set in every group.
QPalette Make(const QPalette& base, const QColor& window);
// Sets the palette on `window` and on those of its children that carry a
// style sheet of their own (they do not take over their parent's colours).
void Apply(QWidget* window, const QColor& background);
}  // namespace LightPalette
