#pragma once
// Where the report's logical page goes on a printer page or a preview sheet.
// Shared by the form's print, its preview and the reports written in a batch.
#include <QRect>
#include <QSize>
#include <QSizeF>

namespace PrintJob {

// The logical printer page in layout units; the report page sits inside it
// at (60, 60) with the print-mode page height.
constexpr int kLogicalWidth = 693;
constexpr int kLogicalHeight = 973;
constexpr int kMmIsotropic = 7;

// The mapping of the logical page onto a printable area of width x height
// device pixels: the viewport is 90 % of the width (truncated) and the full
// height; one scale for both axes, the smaller of the two.
struct Mapping {
  QSize viewport;
  double scale = 0;
  QSizeF span;  // size of the logical page in device pixels
};
Mapping ComputeMapping(int width, int height);

// Where the preview page goes inside a layout window of size `client`, for a
// printer extent: margins 5; landscape extents anchor left, top and right and
// take the height as p % of the width (p = height * 100 / width); portrait and
// square ones anchor left, top and bottom and take the width as p % of the
// height (p = width * 100 / height). Integer arithmetic throughout.
QRect PreviewPageRect(const QSize& extent, const QSize& client);
constexpr int kPreviewMargin = 5;

}  // namespace PrintJob
