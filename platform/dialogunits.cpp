#include "platform/dialogunits.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <cstdint>

namespace DialogUnits {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t num = static_cast<int64_t>(a) * b;
  const int64_t den = c;
  const bool negative = (num < 0) != (den < 0);
  const int64_t n = num < 0 ? -num : num;
  const int64_t d = den < 0 ? -den : den;
  int64_t q = (2 * n + d) / (2 * d);  // half away from zero on the magnitude
  if (negative) q = -q;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int>(q);
}

int ScreenDpi() {
  if (!qGuiApp) return kReferenceDpi;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return kReferenceDpi;
  const int dpi = static_cast<int>(std::lround(screen->logicalDotsPerInch()));
  return dpi > 0 ? dpi : kReferenceDpi;
}

static int Dpi(int dpi) { return dpi > 0 ? dpi : ScreenDpi(); }

int X(int du, int dpi) { return MulDiv(du, kBaseX * Dpi(dpi), 4 * kReferenceDpi); }
int Y(int du, int dpi) { return MulDiv(du, kBaseY * Dpi(dpi), 8 * kReferenceDpi); }

QRect Rect(int x, int y, int w, int h, int dpi) {
  const int d = Dpi(dpi);
  return QRect(X(x, d), Y(y, d), X(w, d), Y(h, d));
}

QSize Size(int w, int h, int dpi) {
  const int d = Dpi(dpi);
  return QSize(X(w, d), Y(h, d));
}

}  // namespace DialogUnits
