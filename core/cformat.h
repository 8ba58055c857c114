#pragma once
// C-style text formatting and scanning.
//
// Formatting goes through the C library's printf, so widths, precisions and
// rounding are exactly those of printf. Scanning is our own small scanner with
// the rules of a C89 runtime: "%x"/"%X" take an optional sign and 0x prefix,
// "%s" a word up to white space, "%f" sign, digits, point and exponent only
// (no inf, nan or hexadecimal floats), a blank in the pattern matches any run of
// white space including none. Texts are QString; formats and patterns are ASCII.
#include <QString>

// printf into a QString. "%s" arguments are const char* in Latin-1; pass
// other texts by concatenating QStrings instead.
QString CFormat(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Result slots for CScan. Pointers may be null for fields that are read but not kept.
// A slot whose kind does not fit its conversion (a Word for %x, ...) ends the
// scan as a mismatch would, so a wrong slot can never be written with another type.
struct ScanField {
  enum Kind { Hex, Float, Word, Int } kind;
  void* target;  // unsigned int* for Hex, float* for Float, QString* for Word, int* for Int
  int maxChars = -1;  // for Word: keep at most this many characters (-1 = all)
};

// Scans `text` with `pattern` (conversions %x %X %f %s %d, literal characters,
// blanks). Returns the number of fields converted and assigned, as sscanf does;
// -1 when the text ends before the first conversion (EOF), as sscanf does.
int CScanFields(const QString& text, const char* pattern, ScanField* fields, int fieldCount);

// Convenience forms for the patterns the program uses.
// "m %s %x": word and hexadecimal code.
// "d %x %x %x %x": four hexadecimal fields.
// "s %X": one hexadecimal number.
// "%f": one float.
bool ScanFloat(const QString& text, float* value);  // "%f": true when one value was read
