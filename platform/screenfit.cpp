#include "platform/screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace ScreenFit {
namespace {
std::function<QRect()>& Override() {
  static std::function<QRect()> area;
  return area;
}
}  // namespace

QRect Area(const QWidget* window) {
  if (Override()) return Override()();
  const QScreen* screen = window ? window->screen() : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

void SetArea(std::function<QRect()> area) { Override() = std::move(area); }

QSize Fitted(const QSize& wanted, const QRect& area) {
  if (!area.isValid()) return wanted;
  return wanted.boundedTo(QSize(area.width() - kFrameWidth, area.height() - kFrameHeight));
}

void Fit(QWidget* window, const QSize& wanted) {
  const QRect area = Area(window);
  if (!area.isValid()) {
    window->resize(wanted);
    return;
  }
  const QSize room = Fitted(area.size(), area);
  // A minimum larger than the room would push the window past the edge.
  if (window->minimumWidth() > room.width() || window->minimumHeight() > room.height())
    window->setMinimumSize(window->minimumSize().boundedTo(room));
  const QSize size = Fitted(wanted, area).expandedTo(window->minimumSize());
  window->resize(size);
  if (!window->isVisible() && !window->testAttribute(Qt::WA_Moved)) return;  // the window manager places it
  const QPoint at = window->pos();  // the frame's top left corner
  const int x = std::max(area.left(), std::min(at.x(), area.left() + area.width() - size.width() - kFrameWidth));
  const int y = std::max(area.top(), std::min(at.y(), area.top() + area.height() - size.height() - kFrameHeight));
  if (QPoint(x, y) != at) window->move(x, y);
}

}  // namespace ScreenFit
