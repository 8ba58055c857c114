#pragma once
// The tests' drawing surface: records what the page draws instead of painting.
#include <QString>
#include <QStringList>
#include <vector>

#include "render/surface.h"

// Lists every operation as a line of text, e.g. "text 5 80 Auftraggeber:".
// Metric: every character is height/2 wide, a line is height + height/4 high,
// of which height lies above the baseline.
class RecordingSurface : public Surface {
 public:
  struct Op {
    QString kind;  // "font", "text", "fill", "rect", "line", "save", "restore"
    int a = 0, b = 0, c = 0, d = 0;
    QString text;
    PageFont font;  // the font selected when the op was recorded
  };

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

  const std::vector<Op>& Ops() const { return ops_; }
  // The text operations only.
  std::vector<Op> Texts() const;
  // The first text op whose text equals `text`, or nullptr.
  const Op* FindText(const QString& text) const;
  // Every op as a line ("text 5 80 Auftraggeber:").
  QStringList Lines() const;

 private:
  std::vector<Op> ops_;
  PageFont font_;
  std::vector<PageFont> saved_;
};
