#pragma once
// Dialog units to pixels for templates in "MS Sans Serif" 8 pt. That font has
// the dialog base units 6 x 13 pixels at 96 DPI; a horizontal dialog unit is a
// quarter of the base width, a vertical one an eighth of the base height. The
// base units are fixed numbers here, never measured from whichever font the
// platform substitutes, so the layout is the same on every machine.
#include <QPoint>
#include <QRect>
#include <QSize>

namespace DialogUnits {
constexpr int kBaseX = 6;   // at 96 DPI
constexpr int kBaseY = 13;  // at 96 DPI
constexpr int kReferenceDpi = 96;

// a * b / c with the exact quotient rounded half away from zero (as MulDiv);
// returns -1 when c is 0.
int MulDiv(int a, int b, int c);

// The logical DPI of the primary screen (96 when there is none).
int ScreenDpi();

// Dialog units to pixels at the given logical DPI (default: the screen's).
int X(int du, int dpi = 0);
int Y(int du, int dpi = 0);
// Each of x, y, width and height is converted on its own, as the dialog
// manager does when it creates the controls of a template.
QRect Rect(int x, int y, int w, int h, int dpi = 0);
QSize Size(int w, int h, int dpi = 0);
}  // namespace DialogUnits
