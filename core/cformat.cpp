#include "core/cformat.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <locale.h>
#if defined(__APPLE__)
#include <xlocale.h>
#endif
#endif

namespace {

// The C library formats and reads numbers after LC_NUMERIC, and the GUI library
// sets the locale from the environment on Unix: under a German locale printf
// would write "0,30" and strtof would stop at the point of "0.30". Texts here
// are the program's own and always use a point, so every formatting and float
// conversion runs in the "C" locale of the calling thread.
class ClassicNumbers {
 public:
#if defined(__unix__) || defined(__APPLE__)
  ClassicNumbers() {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (classic) previous_ = uselocale(classic);
  }
  ~ClassicNumbers() {
    if (previous_) uselocale(previous_);
  }
  ClassicNumbers(const ClassicNumbers&) = delete;
  ClassicNumbers& operator=(const ClassicNumbers&) = delete;

 private:
  locale_t previous_ = static_cast<locale_t>(0);
#else
  // The Windows C runtime stays in the "C" locale unless the program changes
  // it, and this program never does.
  ClassicNumbers() {}
#endif
};

}  // namespace

QString CFormat(const char* format, ...) {
  const ClassicNumbers classic;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  char small[256];
  int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  QString result;
  if (n < 0) {
    result = QString();
  } else if (n < static_cast<int>(sizeof small)) {
    result = QString::fromLatin1(small, n);
  } else {
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, copy);
    result = QString::fromLatin1(big.data(), n);
  }
  va_end(copy);
  return result;
}

namespace {

bool IsSpace(QChar c) {
  ushort u = c.unicode();
  return u == ' ' || u == '\t' || u == '\n' || u == '\v' || u == '\f' || u == '\r';
}

int HexDigit(QChar c) {
  ushort u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

bool IsDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

// Reads a hexadecimal number as a 32-bit runtime's strtoul would: sign,
// optional 0x, saturating at 0xFFFFFFFF; a minus sign negates modulo 2^32.
bool ReadHex(const QString& s, int& pos, unsigned int& out) {
  int p = pos;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
    negative = s[p] == '-';
    ++p;
  }
  // "0x" counts as a prefix only when a hex digit follows; otherwise the 0 is the number.
  if (p + 1 < s.size() && s[p] == '0' && (s[p + 1] == 'x' || s[p + 1] == 'X') && p + 2 < s.size() &&
      HexDigit(s[p + 2]) >= 0) {
    p += 2;
  }
  if (p >= s.size() || HexDigit(s[p]) < 0) return false;
  unsigned long long value = 0;
  bool saturated = false;
  while (p < s.size() && HexDigit(s[p]) >= 0) {
    if (!saturated) {
      value = value * 16 + static_cast<unsigned>(HexDigit(s[p]));
      if (value > 0xFFFFFFFFull) saturated = true;
    }
    ++p;
  }
  unsigned int v = saturated ? 0xFFFFFFFFu : static_cast<unsigned int>(value);
  out = negative ? static_cast<unsigned int>(0u - v) : v;
  pos = p;
  return true;
}

bool ReadInt(const QString& s, int& pos, int& out) {
  int p = pos;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
    negative = s[p] == '-';
    ++p;
  }
  if (p >= s.size() || !IsDigit(s[p])) return false;
  unsigned long long value = 0;
  while (p < s.size() && IsDigit(s[p])) {
    if (value < 0x100000000ull) value = value * 10 + static_cast<unsigned>(s[p].unicode() - '0');
    ++p;
  }
  unsigned int v = static_cast<unsigned int>(value);
  out = static_cast<int>(negative ? 0u - v : v);
  pos = p;
  return true;
}

// Decimal float: [sign] digits [. digits] [e [sign] digits]; at least one digit in the mantissa.
bool ReadFloat(const QString& s, int& pos, float& out) {
  int p = pos;
  std::string buf;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) buf += static_cast<char>(s[p++].unicode());
  int digits = 0;
  while (p < s.size() && IsDigit(s[p])) { buf += static_cast<char>(s[p++].unicode()); ++digits; }
  if (p < s.size() && s[p] == '.') {
    buf += '.';
    ++p;
    while (p < s.size() && IsDigit(s[p])) { buf += static_cast<char>(s[p++].unicode()); ++digits; }
  }
  if (digits == 0) return false;
  if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
    int q = p + 1;
    std::string exp = "e";
    if (q < s.size() && (s[q] == '+' || s[q] == '-')) exp += static_cast<char>(s[q++].unicode());
    if (q < s.size() && IsDigit(s[q])) {
      while (q < s.size() && IsDigit(s[q])) exp += static_cast<char>(s[q++].unicode());
      buf += exp;
      p = q;
    }
  }
  errno = 0;
  {
    const ClassicNumbers classic;
    out = std::strtof(buf.c_str(), nullptr);
  }
  pos = p;
  return true;
}

}  // namespace

int CScanFields(const QString& text, const char* pattern, ScanField* fields, int fieldCount) {
  int pos = 0;
  int assigned = 0;
  int fieldIndex = 0;
  bool anyConversionTried = false;
  for (const char* f = pattern; *f; ++f) {
    char c = *f;
    if (c == ' ' || c == '\t' || c == '\n') {
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
      continue;
    }
    if (c != '%') {
      if (pos >= text.size()) return (assigned == 0 && !anyConversionTried) ? -1 : assigned;
      if (text[pos].unicode() != static_cast<unsigned char>(c)) return assigned;
      ++pos;
      continue;
    }
    ++f;
    char conv = *f;
    if (conv == '\0') break;
    if (conv == '%') {
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
      if (pos >= text.size() || text[pos] != '%') return assigned;
      ++pos;
      continue;
    }
    if (fieldIndex >= fieldCount) return assigned;
    ScanField& field = fields[fieldIndex++];
    // The target's type is the field's kind: a conversion of another type would
    // write over memory of the wrong type, so it ends the scan like a mismatch.
    const ScanField::Kind wanted = conv == 'x' || conv == 'X' ? ScanField::Hex
                                   : conv == 'd'              ? ScanField::Int
                                   : conv == 'f'              ? ScanField::Float
                                                              : ScanField::Word;
    if (field.kind != wanted) return assigned;
    // Every conversion here skips leading white space first.
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    if (pos >= text.size()) return (assigned == 0) ? -1 : assigned;
    anyConversionTried = true;
    bool ok = false;
    switch (conv) {
      case 'x':
      case 'X': {
        unsigned int v = 0;
        ok = ReadHex(text, pos, v);
        if (ok && field.target) *static_cast<unsigned int*>(field.target) = v;
        break;
      }
      case 'd': {
        int v = 0;
        ok = ReadInt(text, pos, v);
        if (ok && field.target) *static_cast<int*>(field.target) = v;
        break;
      }
      case 'f': {
        float v = 0;
        ok = ReadFloat(text, pos, v);
        if (ok && field.target) *static_cast<float*>(field.target) = v;
        break;
      }
      case 's': {
        int start = pos;
        while (pos < text.size() && !IsSpace(text[pos])) ++pos;
        ok = pos > start;
        if (ok && field.target) {
          QString word = text.mid(start, pos - start);
          if (field.maxChars >= 0) word.truncate(field.maxChars);
          *static_cast<QString*>(field.target) = word;
        }
        break;
      }
      default:
        return assigned;
    }
    if (!ok) return assigned;
    ++assigned;
  }
  return assigned;
}

bool ScanFloat(const QString& text, float* value) {
  float v = 0;
  ScanField field{ScanField::Float, &v};
  if (CScanFields(text, "%f", &field, 1) != 1) return false;
  if (value) *value = v;
  return true;
}
