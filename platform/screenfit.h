#pragma once
// Windows of their own (the record list, the archive) open within the free
// area of their screen, the screen less its panels and docks: a size larger
// than the area (one saved on a larger screen, or at a smaller scale) is
// shrunk, and a window placed past the area's edge is moved onto it.
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace ScreenFit {

// What the window manager adds around a window (title bar and borders).
constexpr int kFrameWidth = 4, kFrameHeight = 32;

// The free area of the window's screen (the primary screen before it is
// shown), or what a test set.
QRect Area(const QWidget* window);
// A test's screen in place of the real one; an empty function goes back.
void SetArea(std::function<QRect()> area);

// The size a window may have on the area: `wanted`, shrunk to the area less
// the window manager's frame.
QSize Fitted(const QSize& wanted, const QRect& area);
// Resizes the window to `wanted` as far as the area allows (a minimum size
// larger than the area is lowered to it) and, when the window has a place of
// its own (moved or shown), moves it so the whole window is on the area.
void Fit(QWidget* window, const QSize& wanted);

}  // namespace ScreenFit
