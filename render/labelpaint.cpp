#include "render/labelpaint.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <map>

#include "render/surface.h"

namespace LabelPaint {
namespace {

// Fonts are set in hundredths of a millimetre: a pixel size is an integer,
// and the label's letters need finer steps than whole millimetres.
constexpr double kUnitsPerMm = 100;

QFont LabelFont(int units, bool bold) {
  QFont font = QtSurface::MakeFont(PageFont{std::max(units, 1), bold ? 700 : 400, false});
  return font;
}

// The metrics of the label fonts, measured once per size.
const QFontMetricsF& Metrics(int units, bool bold) {
  static thread_local std::map<std::pair<int, bool>, QFontMetricsF> cache;
  auto it = cache.find({units, bold});
  if (it == cache.end()) it = cache.emplace(std::make_pair(units, bold), QFontMetricsF(LabelFont(units, bold))).first;
  return it->second;
}

// A line of the label's text: its height relative to the others, and how
// many lines it may wrap into.
struct Line {
  QString text;
  double weight = 1;
  bool bold = false;
  int maxLines = 1;
  bool onBand = false;
};

// Breaks `text` into lines no wider than `width` (font units), at blanks
// where it can and inside a word where a word alone is too wide. Empty when
// it takes more than `maxLines`.
QStringList Wrap(const QString& text, const QFontMetricsF& fm, double width, int maxLines) {
  if (fm.horizontalAdvance(text) <= width) return {text};
  if (maxLines <= 1) return {};
  QStringList lines;
  QString current;
  const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  for (QString word : words) {
    const QString joined = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
    if (fm.horizontalAdvance(joined) <= width) {
      current = joined;
      continue;
    }
    if (!current.isEmpty()) {
      lines << current;
      current.clear();
    }
    // A word wider than the line is broken where it must be.
    while (fm.horizontalAdvance(word) > width) {
      int n = 1;
      while (n < word.size() && fm.horizontalAdvance(word.left(n + 1)) <= width) ++n;
      lines << word.left(n);
      word = word.mid(n);
      if (lines.size() > maxLines) return {};
    }
    current = word;
    if (lines.size() > maxLines) return {};
  }
  if (!current.isEmpty()) lines << current;
  return lines.size() <= maxLines ? lines : QStringList();
}

// The texts at base size `base` (mm) in a box of `width` x `height` (mm):
// the wrapped lines of each, or empty when they do not fit.
struct Set {
  std::vector<QStringList> wrapped;
  double height = 0;
};
bool Fit(const std::vector<Line>& lines, double base, double width, double height, Set* set) {
  set->wrapped.clear();
  set->height = 0;
  for (const Line& line : lines) {
    const int units = int(std::floor(line.weight * base * kUnitsPerMm));
    const QFontMetricsF& fm = Metrics(units, line.bold);
    QStringList parts = Wrap(line.text, fm, width * kUnitsPerMm, line.maxLines);
    if (parts.isEmpty()) return false;
    set->height += parts.size() * fm.height() / kUnitsPerMm;
    set->wrapped.push_back(parts);
  }
  return set->height <= height;
}

std::vector<Line> LinesOf(const Labels::LabelData& label) {
  std::vector<Line> lines;
  if (label.Failed) {
    lines.push_back({QString::fromUtf8(Labels::kBlocked), 1.3, true, 2, true});
    lines.push_back({Labels::InventarLine(label), 1.0, true, 3});
    lines.push_back({Labels::TestDateLine(label), 0.9, false, 1});
    if (!label.Reason.isEmpty()) lines.push_back({label.Reason, 0.9, false, 3});
  } else {
    const QString next = Labels::NextTestLine(label);
    lines.push_back({QStringLiteral("Nächste Prüfung"), 1.0, false, 1});
    lines.push_back({next.isEmpty() ? QStringLiteral("Datum fehlt") : next, 2.4, true, 1});
    lines.push_back({Labels::InventarLine(label), 1.0, true, 3});
    lines.push_back({Labels::TestDateLine(label), 0.9, false, 1});
  }
  if (!label.Company.isEmpty()) lines.push_back({label.Company, 0.9, false, 2});
  return lines;
}

}  // namespace

Layout Arrange(const QRectF& rect, const Labels::LabelData& label, const Options& options) {
  Layout layout;
  const double shortSide = std::min(rect.width(), rect.height());
  const double margin = std::clamp(0.07 * shortSide, 0.8, 3.0);
  const QRectF inner = rect.adjusted(margin, margin, -margin, -margin);
  QRectF textBox = inner;

  // The code: a square at the left (QR code, Data Matrix) or a strip along
  // the bottom (Code 128), each with the quiet zone a scanner needs.
  const QString content = Labels::CodeText(label, options.content);
  if (!content.isEmpty()) {
    layout.symbol = Barcode::Encode(options.code, content);
    if (!layout.symbol.ok) {
      layout.problem = layout.symbol.error;
      return layout;
    }
    const int quiet = layout.symbol.QuietZone();
    if (layout.symbol.linear) {
      const double modules = layout.symbol.columns + 2.0 * quiet;
      // A narrow tape takes the bars over its full height at the right, as
      // narrow as a printer's dots allow, the texts beside them; other labels
      // a strip along the bottom.
      const bool beside = inner.width() >= inner.height() * 4;
      const double room = beside ? inner.width() * 0.6 : inner.width();
      if (modules * kMinModuleMm > room) {
        layout.problem = QStringLiteral("Der Code 128 für \u201E%1\u201C ist für dieses Format zu breit. Wählen Sie "
                                        "QR-Code oder Data Matrix, ein breiteres Format oder nur die Inventar-Nr. als Inhalt.")
                             .arg(content);
        return layout;
      }
      if (beside) {
        const double width = std::max(modules * kMinModuleMm, std::min(inner.width() * 0.45, modules * 0.33));
        layout.code = QRectF(inner.right() - width, inner.top(), width, inner.height());
        textBox.setRight(layout.code.left() - margin / 2);
      } else {
        const double barHeight = std::clamp(inner.height() * 0.34, 3.0, 15.0);
        layout.code = QRectF(inner.left(), inner.bottom() - barHeight, inner.width(), barHeight);
        textBox.setBottom(layout.code.top() - margin / 2);
      }
      layout.moduleMm = layout.code.width() / modules;
    } else {
      const double modules = std::max(layout.symbol.columns, layout.symbol.rows) + 2.0 * quiet;
      // Wide labels put the square beside the texts; tall ones above them.
      if (inner.width() >= inner.height() * 1.2) {
        const double side = std::min(inner.height(), inner.width() * 0.42);
        layout.code = QRectF(inner.left(), inner.top() + (inner.height() - side) / 2, side, side);
        textBox.setLeft(layout.code.right());
      } else {
        const double side = std::min(inner.width(), inner.height() * 0.5);
        layout.code = QRectF(inner.left() + (inner.width() - side) / 2, inner.top(), side, side);
        textBox.setTop(layout.code.bottom());
      }
      layout.moduleMm = layout.code.width() / modules;
    }
    if (layout.moduleMm < kMinModuleMm) {
      layout.problem = QStringLiteral("Der %1 ist für dieses Format zu groß (%2 mm je Modul, nötig sind %3 mm). "
                                      "Wählen Sie ein größeres Format, QR-Code oder nur die Inventar-Nr. als Inhalt.")
                           .arg(Barcode::Name(options.code))
                           .arg(layout.moduleMm, 0, 'f', 2)
                           .arg(kMinModuleMm, 0, 'f', 2);
      return layout;
    }
  }

  // The texts: the largest size at which every line fits, found by halving.
  const std::vector<Line> lines = LinesOf(label);
  const double bandPad = label.Failed ? std::max(0.4, 0.05 * shortSide) : 0;
  const double width = textBox.width() - 2 * bandPad;
  const double height = textBox.height() - 2 * bandPad;
  Set best;
  double lo = kMinTextMm, hi = std::min(6.0, std::max(lo, height / 2));
  if (width <= 0 || height <= 0 || !Fit(lines, lo, width, height, &best)) {
    layout.problem = QStringLiteral("Das Etikett ist zu klein für seinen Text (Inventar-Nr., Datum, Firma).");
    return layout;
  }
  for (int step = 0; step < 12 && hi - lo > 0.02; ++step) {
    const double mid = (lo + hi) / 2;
    Set set;
    if (Fit(lines, mid, width, height, &set)) {
      lo = mid;
      best = set;
    } else {
      hi = mid;
    }
  }
  const double base = lo;

  // The lines top to bottom: a blocked label's band at the top, the others
  // centred in their box.
  double y = textBox.top() + bandPad + (label.Failed ? 0 : (height - best.height) / 2);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int units = int(std::floor(lines[i].weight * base * kUnitsPerMm));
    const QFontMetricsF& fm = Metrics(units, lines[i].bold);
    const double lineHeight = fm.height() / kUnitsPerMm;
    const double bandTop = y;
    for (const QString& part : best.wrapped[i]) {
      Layout::Text t;
      t.text = part;
      t.sizeMm = units / kUnitsPerMm;
      t.bold = lines[i].bold;
      t.onBand = lines[i].onBand;
      t.box = QRectF(textBox.left() + bandPad, y, fm.horizontalAdvance(part) / kUnitsPerMm, lineHeight);
      layout.texts.push_back(t);
      y += lineHeight;
    }
    if (lines[i].onBand) {
      layout.band = QRectF(textBox.left(), bandTop - bandPad, textBox.width(), y - bandTop + 2 * bandPad);
      y += bandPad;
    }
  }
  layout.fits = true;
  return layout;
}

void Draw(QPainter& painter, const Layout& layout, const Labels::LabelData& label) {
  if (!layout.fits) return;
  painter.save();
  painter.setPen(Qt::NoPen);
  if (!layout.code.isEmpty() && layout.symbol.ok) {
    // Black modules on white, whatever the label's colour: scanners read that best.
    const double m = layout.moduleMm;
    const int quiet = layout.symbol.QuietZone();
    painter.setBrush(Qt::black);
    if (layout.symbol.linear) {
      const double x0 = layout.code.left() + quiet * m;
      for (const QRectF& bar : layout.symbol.dark)
        painter.drawRect(QRectF(x0 + bar.x() * m, layout.code.top(), bar.width() * m, layout.code.height()));
    } else {
      const double x0 = layout.code.left() + quiet * m, y0 = layout.code.top() + quiet * m;
      // Each module overlaps its neighbours by a hair, so no seam shows between them.
      const double seam = m * 0.02;
      for (const QRectF& r : layout.symbol.dark)
        painter.drawRect(QRectF(x0 + r.x() * m, y0 + r.y() * m, r.width() * m + seam, r.height() * m + seam));
    }
  }
  if (label.Failed && !layout.band.isEmpty()) {
    painter.setBrush(kBlockedRed);
    painter.drawRect(layout.band);
  }
  for (const Layout::Text& t : layout.texts) {
    const int units = int(std::lround(t.sizeMm * kUnitsPerMm));
    const QFont font = LabelFont(units, t.bold);
    painter.save();
    painter.translate(t.box.topLeft());
    painter.scale(1 / kUnitsPerMm, 1 / kUnitsPerMm);
    painter.setFont(font);
    painter.setPen(t.onBand ? QColor(Qt::white) : label.Failed ? kBlockedRed : QColor(Qt::black));
    painter.drawText(QPointF(0, Metrics(units, t.bold).ascent()), t.text);
    painter.restore();
  }
  painter.restore();
}

Layout Paint(QPainter& painter, const QRectF& rect, const Labels::LabelData& label, const Options& options) {
  const Layout layout = Arrange(rect, label, options);
  Draw(painter, layout, label);
  return layout;
}

}  // namespace LabelPaint
