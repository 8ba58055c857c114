#pragma once
// A static text control that paints itself: one text in a large bold font of
// its own, on its own fill colour, with its own text and text-background
// colours and DrawText-style layout flags. Every paint is composed in an
// off-screen image and copied in one go, and the background is never erased
// first, so the control never shows a half-drawn state.
#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>
#include <cstdint>

class TColorStatic : public QWidget {
  Q_OBJECT
 public:
  // Layout flags with the values of the Windows DrawText flags.
  enum : uint16_t {
    DT_LEFT = 0x0000,
    DT_CENTER = 0x0001,
    DT_RIGHT = 0x0002,
    DT_VCENTER = 0x0004,
    DT_BOTTOM = 0x0008,
    DT_WORDBREAK = 0x0010,
    DT_SINGLELINE = 0x0020,
    DT_NOPREFIX = 0x0800,
  };
  static constexpr int kMaxText = 254;

  // `id` becomes the objectName; `textLimit` is kept for symmetry with the
  // other statics and not used.
  TColorStatic(QWidget* parent, int id, int textLimit, int fontHeight);
  ~TColorStatic() override;

  void SetText(const QString& text);  // cut to kMaxText characters
  void SetFillColor(const QColor& color);
  void SetTextBkColor(const QColor& color);
  void SetTextColor(const QColor& color);
  void SetFormat(uint16_t format);
  void SetEraseOnInvalidate(bool erase);

  QString GetText() const { return Text; }
  QColor GetFillColor() const { return FillColor; }
  QColor GetTextBkColor() const { return TextBkColor; }
  QColor GetTextColor() const { return TextColor; }
  uint16_t GetFormat() const { return Format; }
  const QFont& GetFont() const { return Font; }

  // Paints the control's current state into an image of the given logical
  // size at the given device pixel ratio (what a paint copies to the screen).
  QImage Compose(const QSize& size, qreal pixelRatio = 1.0) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Invalidate();

  QFont Font;
  int FontHeight;
  QColor FillColor{255, 255, 255};
  QColor TextBkColor{255, 255, 255};
  QColor TextColor{0, 0, 0};
  uint16_t Format = DT_WORDBREAK | DT_NOPREFIX;
  bool EraseOnInvalidate = true;
  QString Text;
};
