#pragma once
// A small drawing surface: the few operations the report page needs. One page
// drawing serves the screen, the printer, the preview and the tests: QtSurface
// paints with a QPainter; the tests' RecordingSurface lists the operations with
// a fixed text metric so the layout can be checked without fonts.
#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <vector>

class QPainter;

// A page font: character height in layout units (the em size, without internal
// leading), weight (400 normal, 700 bold), sans-serif, variable pitch.
struct PageFont {
  int height = 12;
  int weight = 400;
  bool draftQuality = false;  // "fastest output" quality; only affects rendering
  bool operator==(const PageFont& o) const {
    return height == o.height && weight == o.weight && draftQuality == o.draftQuality;
  }
};

class Surface {
 public:
  virtual ~Surface() = default;
  virtual void SelectFont(const PageFont& font) = 0;
  // Width of the text in the selected font, in layout units.
  virtual int TextWidth(const QString& text) = 0;
  // Text height of the selected font (ascent + descent).
  virtual int LineHeight() = 0;
  // Height of the selected font above its baseline.
  virtual int Ascent() = 0;
  // Draws the text transparently with (x, y) as the top-left corner of its cell.
  virtual void DrawText(int x, int y, const QString& text) = 0;
  virtual void FillWhite(const QRect& rect) = 0;
  // Outline of the rectangle from (left, top) to (right, bottom), not filled.
  virtual void Rectangle(int left, int top, int right, int bottom) = 0;
  virtual void Line(int x1, int y1, int x2, int y2) = 0;
  // Save and restore font, pen and brush.
  virtual void Save() = 0;
  virtual void Restore() = 0;
};

// Paints on a QPainter whose coordinates are layout units.
class QtSurface : public Surface {
 public:
  explicit QtSurface(QPainter* painter);
  void SelectFont(const PageFont& font) override;
  int TextWidth(const QString& text) override;
  int LineHeight() override;
  int Ascent() override;
  void DrawText(int x, int y, const QString& text) override;
  void FillWhite(const QRect& rect) override;
  void Rectangle(int left, int top, int right, int bottom) override;
  void Line(int x1, int y1, int x2, int y2) override;
  void Save() override;
  void Restore() override;

  // The QFont used for a page font: Liberation Sans (DejaVu Sans as fallback)
  // with the pixel size set to the character height.
  static QFont MakeFont(const PageFont& font);

 private:
  QPainter* painter_;
};
