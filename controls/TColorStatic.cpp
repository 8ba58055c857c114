#include "controls/TColorStatic.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QStringList>
#include <cmath>
#include <vector>

namespace {

// The bold font: cell height `height` pixels (ascent + descent, like a
// positive LOGFONT height) and an average character width of height / 2.
QFont MakeFont(int height) {
  QFont font(QStringLiteral("Big Fonts"));
  font.setStyleHint(QFont::TypeWriter);  // the modern family, if the face is missing
  font.setBold(true);
  font.setWeight(QFont::Bold);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  font.setStyleStrategy(QFont::PreferQuality);
  if (height <= 0) return font;
  font.setPixelSize(height);
  // Qt's pixel size is the em height; shrink it until the cell height fits.
  const int cell = QFontMetrics(font).height();
  if (cell > height) {
    const int px = std::max(1, static_cast<int>(std::lround(double(height) * height / cell)));
    font.setPixelSize(px);
  }
  // Stretch the glyphs so the average character width becomes half the
  // requested height, as a font mapper does with a requested width.
  const int wanted = height / 2;
  const int average = QFontMetrics(font).averageCharWidth();
  if (wanted > 0 && average > 0) {
    const int stretch = static_cast<int>(std::lround(100.0 * wanted / average));
    font.setStretch(std::clamp(stretch, 1, 4000));
  }
  return font;
}

struct Line {
  QString text;
  int underline = -1;  // index of the character after a single "&", or -1
};

// Removes the "&" prefixes of a line: "&&" is one "&", "&x" underlines x.
Line StripPrefix(const QString& s) {
  Line line;
  for (int i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 1 < s.size()) {
      ++i;
      if (s[i] != '&') line.underline = line.text.size();
    } else if (s[i] == '&') {
      continue;
    }
    line.text += s[i];
  }
  return line;
}

// Breaks one paragraph into lines at blanks; a word wider than the whole
// width is broken between characters so that nothing is lost.
void BreakParagraph(const QString& para, const QFontMetrics& fm, int width, QStringList* out) {
  int i = 0;
  const int n = para.size();
  if (n == 0) {
    out->append(QString());
    return;
  }
  while (i < n) {
    QString line;
    int j = i;
    while (j < n) {
      int wordEnd = j;
      while (wordEnd < n && para[wordEnd] != ' ') ++wordEnd;
      int spaceEnd = wordEnd;
      while (spaceEnd < n && para[spaceEnd] == ' ') ++spaceEnd;
      const QString candidate = line + para.mid(j, wordEnd - j);
      if (fm.horizontalAdvance(candidate) <= width || line.isEmpty()) {
        if (line.isEmpty() && fm.horizontalAdvance(candidate) > width) {
          // One word that does not fit on its own: as many characters as fit
          // (at least one), the rest goes on.
          int k = j + 1;
          while (k < wordEnd && fm.horizontalAdvance(para.mid(j, k + 1 - j)) <= width) ++k;
          line = para.mid(j, k - j);
          j = k;
          break;
        }
        line = candidate + para.mid(wordEnd, spaceEnd - wordEnd);
        j = spaceEnd;
      } else {
        break;
      }
    }
    // Blanks at the break belong to no line.
    while (line.endsWith(' ') && j < n) line.chop(1);
    while (j < n && para[j] == ' ') ++j;
    out->append(line);
    i = j;
  }
}

}  // namespace

TColorStatic::TColorStatic(QWidget* parent, int id, int textLimit, int fontHeight)
    : QWidget(parent), Font(MakeFont(fontHeight)), FontHeight(fontHeight) {
  Q_UNUSED(textLimit);
  setObjectName(QString::number(id));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
}

TColorStatic::~TColorStatic() = default;

void TColorStatic::Invalidate() {
  // The erase flag has no effect here: the background is never erased, each
  // paint covers the whole control.
  update();
}

void TColorStatic::SetText(const QString& text) {
  QString cut = text.left(kMaxText);
  if (!cut.isEmpty() && cut.back().isHighSurrogate()) cut.chop(1);
  Text = cut;
  Invalidate();
}

void TColorStatic::SetFillColor(const QColor& color) {
  FillColor = color;
  Invalidate();
}

void TColorStatic::SetTextBkColor(const QColor& color) {
  TextBkColor = color;
  Invalidate();
}

void TColorStatic::SetTextColor(const QColor& color) {
  TextColor = color;
  Invalidate();
}

void TColorStatic::SetFormat(uint16_t format) {
  Format = format;
  Invalidate();
}

void TColorStatic::SetEraseOnInvalidate(bool erase) {
  EraseOnInvalidate = erase;
  Invalidate();
}

QImage TColorStatic::Compose(const QSize& size, qreal pixelRatio) const {
  // The image has device pixels; everything below is drawn in logical ones.
  const qreal ratio = pixelRatio > 0 ? pixelRatio : 1.0;
  QImage image((QSizeF(size.expandedTo(QSize(1, 1))) * ratio).toSize(), QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::black);
  QPainter p(&image);
  const QRect client(QPoint(0, 0), size);
  p.fillRect(client, FillColor);
  p.setFont(Font);
  const QFontMetrics fm(Font, &image);
  const int lineHeight = fm.height();

  // Lines: split at line ends, then (with word break) at blanks.
  QStringList raw;
  if (Format & DT_SINGLELINE) {
    QString s = Text;
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace('\r', ' ').replace('\n', ' ');
    raw.append(s);
  } else {
    QString s = Text;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace('\r', '\n');
    raw = s.split('\n');
  }
  std::vector<Line> lines;
  for (const QString& para : raw) {
    if (Format & DT_NOPREFIX) {
      QStringList broken;
      if ((Format & DT_WORDBREAK) && !(Format & DT_SINGLELINE))
        BreakParagraph(para, fm, client.width(), &broken);
      else
        broken.append(para);
      for (const QString& b : broken) lines.push_back(Line{b, -1});
    } else {
      const Line stripped = StripPrefix(para);
      QStringList broken;
      if ((Format & DT_WORDBREAK) && !(Format & DT_SINGLELINE))
        BreakParagraph(stripped.text, fm, client.width(), &broken);
      else
        broken.append(stripped.text);
      int offset = 0;
      for (const QString& b : broken) {
        Line line{b, -1};
        if (stripped.underline >= offset && stripped.underline < offset + b.size())
          line.underline = stripped.underline - offset;
        offset += b.size();
        lines.push_back(line);
      }
    }
  }

  int y = 0;
  if (Format & DT_SINGLELINE) {
    if (Format & DT_BOTTOM)
      y = client.height() - lineHeight;
    else if (Format & DT_VCENTER)
      y = (client.height() - lineHeight) / 2;
  }
  for (const Line& line : lines) {
    if (y >= client.height()) break;  // clipped at the bottom
    const int w = fm.horizontalAdvance(line.text);
    int x = 0;
    if (Format & DT_CENTER)
      x = (client.width() - w) / 2;
    else if (Format & DT_RIGHT)
      x = client.width() - w;
    // Opaque background mode: each line's cells are drawn on TextBkColor.
    p.fillRect(QRect(x, y, w, lineHeight), TextBkColor);
    p.setPen(TextColor);
    p.drawText(x, y + fm.ascent(), line.text);
    if (line.underline >= 0) {
      const int ux = x + fm.horizontalAdvance(line.text.left(line.underline));
      const int uw = fm.horizontalAdvance(line.text.mid(line.underline, 1));
      const int uy = y + fm.ascent() + std::max(1, fm.underlinePos());
      p.fillRect(QRect(ux, uy, uw, std::max(1, fm.lineWidth())), TextColor);
    }
    y += lineHeight;
  }
  p.end();
  return image;
}

void TColorStatic::paintEvent(QPaintEvent*) {
  const QImage image = Compose(size(), devicePixelRatioF());
  QPainter p(this);
  p.drawImage(0, 0, image);
}
