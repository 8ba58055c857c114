#include "render/pagemapping.h"

#include <QtGlobal>
#include <algorithm>

namespace PrintJob {

Mapping ComputeMapping(int width, int height) {
  Mapping m;
  // 90 % of the printable width, truncated toward zero.
  m.viewport = QSize(int(qint64(width) * 9 / 10), height);
  const double sx = double(m.viewport.width()) / kLogicalWidth;
  const double sy = double(m.viewport.height()) / kLogicalHeight;
  m.scale = std::min(sx, sy);
  m.span = QSizeF(kLogicalWidth * m.scale, kLogicalHeight * m.scale);
  return m;
}

QRect PreviewPageRect(const QSize& extent, const QSize& client) {
  const int w = extent.width();
  const int h = extent.height();
  const int left = kPreviewMargin;
  const int top = kPreviewMargin;
  if (w <= 0 || h <= 0) return QRect();
  if (w > h) {
    const int p = h * 100 / w;
    const int width = std::max(0, client.width() - kPreviewMargin - left);
    return QRect(left, top, width, width * p / 100);
  }
  const int p = int(qint64(w) * 100 / h);
  const int height = std::max(0, client.height() - kPreviewMargin - top);
  return QRect(left, top, height * p / 100, height);
}

}  // namespace PrintJob
