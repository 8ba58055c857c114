#pragma once
// The fingerprint of a stored test on its printed report: below the page's
// frame, in the lower margin, "Prüfnachweis" with the first 16 hexadecimal
// digits of the test's hash in the chain of the archive, and a small QR code
// holding the same digits. Nothing of the page itself moves; a report whose
// test is not stored (or that differs from its stored test) has no
// fingerprint and prints none.
#include <QString>

class QPainter;

namespace Fingerprint {

// "Prüfnachweis 3F9A 1C0B 7D2E 4F56" for a test's hash.
QString Text(const QString& hash);
// What the QR code holds: the 16 digits, in capitals.
QString Code(const QString& hash);

// Where the fingerprint goes, in the units of the logical printer page (the
// report's frame from (60, 60) to (690, 960)); `paperBottom` is how far down
// the paper's printable area reaches in those units. The text stands in the
// logical page below the frame; the QR code at the frame's right end as large
// as the paper below allows (modules of 0.9 to 2 units, about 0.25 to 0.5 mm
// on A4), and is left out where the paper ends too soon (a landscape sheet).
struct Place {
  double textX = 0, textY = 0;
  bool code = false;
  double codeX = 0, codeY = 0;  // the top left of the first module
  double module = 0;            // the size of a module
};
Place PlaceFor(double paperBottom);

// Draws the fingerprint onto a painter whose coordinates are the logical
// printer page; nothing when `hash` is empty.
void Paint(QPainter& painter, const QString& hash, double paperBottom);

}  // namespace Fingerprint
