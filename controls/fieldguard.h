#pragma once
// What a text field takes, the same in the report form, the device window and
// the record list: a field refuses a character the data record file cannot
// hold (with a short message naming it) and text beyond its limit (it shows
// that it is full), both with the alert sound; a limit field takes only a
// number with one decimal separator, a typed comma becoming the point.
#include <QString>

class QLineEdit;

namespace FieldGuard {

// A text field of at most `limit` characters typed or pasted. A pasted line
// break (CR LF, CR or LF) becomes one blank: the file keeps a field as one line.
// The form may set a longer text itself; the field shows it is full then too.
void Text(QLineEdit* edit, int limit);
// A limit field of at most `maxChars` characters.
void Limit(QLineEdit* edit, int maxChars);
// The message the field showed last for a refused input (empty when none).
QString LastRefusal(const QLineEdit* edit);

}  // namespace FieldGuard
