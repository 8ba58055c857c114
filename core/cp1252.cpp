#include "core/cp1252.h"

namespace {
// Unicode code points of the bytes 0x80..0x9F.
const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};
}  // namespace

namespace Cp1252 {

QChar ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return QChar(kHigh[byte - 0x80]);
  return QChar(static_cast<char16_t>(byte));
}

bool FromUnicode(QChar ch, unsigned char* byte) {
  const char16_t u = ch.unicode();
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
    *byte = static_cast<unsigned char>(u);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == u) {
      *byte = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  }
  return false;
}

}  // namespace Cp1252

QString Cp1252ToUnicode(const QByteArray& bytes) {
  QString text;
  text.reserve(bytes.size());
  for (char c : bytes) text.append(Cp1252::ToUnicode(static_cast<unsigned char>(c)));
  return text;
}

QByteArray UnicodeToCp1252(const QString& text, int* lost) {
  QByteArray bytes;
  bytes.reserve(text.size());
  int missing = 0;
  for (int i = 0; i < text.size(); ++i) {
    unsigned char b = 0;
    if (Cp1252::FromUnicode(text[i], &b)) {
      bytes.append(static_cast<char>(b));
    } else {
      // A surrogate pair is one character and gets one replacement.
      if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
      bytes.append('?');
      ++missing;
    }
  }
  if (lost) *lost = missing;
  return bytes;
}

bool IsCp1252Representable(const QString& text) {
  unsigned char b = 0;
  for (QChar ch : text)
    if (!Cp1252::FromUnicode(ch, &b)) return false;
  return true;
}
