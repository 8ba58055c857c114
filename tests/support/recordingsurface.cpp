#include "tests/support/recordingsurface.h"

void RecordingSurface::SelectFont(const PageFont& font) {
  font_ = font;
  Op op{QStringLiteral("font"), font.height, font.weight, font.draftQuality ? 1 : 0, 0, {}, font};
  ops_.push_back(op);
}

int RecordingSurface::TextWidth(const QString& text) { return int(text.size()) * (font_.height / 2); }

int RecordingSurface::LineHeight() { return font_.height + font_.height / 4; }

int RecordingSurface::Ascent() { return font_.height; }

void RecordingSurface::DrawText(int x, int y, const QString& text) {
  ops_.push_back(Op{QStringLiteral("text"), x, y, 0, 0, text, font_});
}

void RecordingSurface::FillWhite(const QRect& rect) {
  ops_.push_back(Op{QStringLiteral("fill"), rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1, {}, font_});
}

void RecordingSurface::Rectangle(int left, int top, int right, int bottom) {
  ops_.push_back(Op{QStringLiteral("rect"), left, top, right, bottom, {}, font_});
}

void RecordingSurface::Line(int x1, int y1, int x2, int y2) {
  ops_.push_back(Op{QStringLiteral("line"), x1, y1, x2, y2, {}, font_});
}

void RecordingSurface::Save() {
  saved_.push_back(font_);
  ops_.push_back(Op{QStringLiteral("save"), 0, 0, 0, 0, {}, font_});
}

void RecordingSurface::Restore() {
  if (!saved_.empty()) {
    font_ = saved_.back();
    saved_.pop_back();
  }
  ops_.push_back(Op{QStringLiteral("restore"), 0, 0, 0, 0, {}, font_});
}

std::vector<RecordingSurface::Op> RecordingSurface::Texts() const {
  std::vector<Op> out;
  for (const Op& op : ops_)
    if (op.kind == QLatin1String("text")) out.push_back(op);
  return out;
}

const RecordingSurface::Op* RecordingSurface::FindText(const QString& text) const {
  for (const Op& op : ops_)
    if (op.kind == QLatin1String("text") && op.text == text) return &op;
  return nullptr;
}

QStringList RecordingSurface::Lines() const {
  QStringList out;
  for (const Op& op : ops_) {
    if (op.kind == QLatin1String("text"))
      out << QStringLiteral("text %1 %2 %3").arg(op.a).arg(op.b).arg(op.text);
    else if (op.kind == QLatin1String("font"))
      out << QStringLiteral("font %1 %2").arg(op.a).arg(op.b);
    else if (op.kind == QLatin1String("save") || op.kind == QLatin1String("restore"))
      out << op.kind;
    else
      out << QStringLiteral("%1 %2 %3 %4 %5").arg(op.kind).arg(op.a).arg(op.b).arg(op.c).arg(op.d);
  }
  return out;
}
