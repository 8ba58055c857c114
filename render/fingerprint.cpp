#include "render/fingerprint.h"

#include <QPainter>
#include <algorithm>

#include "core/barcode.h"
#include "core/chain.h"
#include "core/layout.h"
#include "render/page.h"
#include "render/surface.h"

namespace Fingerprint {
namespace {

constexpr double kFrameLeft = Layout::kPrintOriginX;
constexpr double kFrameRight = Layout::kPrintOriginX + Layout::kPageWidth;
constexpr double kFrameBottom = Layout::kPrintOriginY + Layout::kPrintPageHeight;
// The text's top, below the frame's line.
constexpr double kTextGap = 3;
// A QR code of the 16 digits is 21 modules wide (version 1), with a quiet
// zone of 4 modules around it.
constexpr int kModules = 21;
constexpr int kQuiet = 4;
constexpr double kLargestModule = 2.0;
constexpr double kSmallestModule = 0.9;

}  // namespace

QString Text(const QString& hash) {
  return QStringLiteral("Prüfnachweis ") + Chain::Grouped(Chain::Fingerprint(hash));
}

QString Code(const QString& hash) { return Chain::Fingerprint(hash); }

Place PlaceFor(double paperBottom) {
  Place p;
  p.textX = kFrameLeft;
  p.textY = kFrameBottom + kTextGap;
  // The quiet zone above the code keeps it clear of the frame's line.
  const double room = paperBottom - kFrameBottom;
  p.module = std::min(kLargestModule, room / (kModules + 2 * kQuiet));
  p.code = p.module >= kSmallestModule;
  p.codeX = kFrameRight - kModules * p.module;
  p.codeY = kFrameBottom + kQuiet * p.module;
  return p;
}

void Paint(QPainter& painter, const QString& hash, double paperBottom) {
  if (hash.isEmpty()) return;
  const Place place = PlaceFor(paperBottom);
  painter.save();
  painter.setPen(Qt::black);
  QtSurface surface(&painter);
  surface.SelectFont(Page::FontSmall);
  surface.DrawText(int(place.textX), int(place.textY), Text(hash));
  if (place.code) {
    const Barcode::Symbol symbol = Barcode::Encode(Barcode::Type::QR, Code(hash));
    if (symbol.ok) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(Qt::black);
      // Each module overlaps its neighbours by a hair, so no seam shows between them.
      const double m = place.module, seam = m * 0.02;
      const double x0 = kFrameRight - symbol.columns * m;
      for (const QRectF& r : symbol.dark)
        painter.drawRect(QRectF(x0 + r.x() * m, place.codeY + r.y() * m, r.width() * m + seam, r.height() * m + seam));
    }
  }
  painter.restore();
}

}  // namespace Fingerprint
