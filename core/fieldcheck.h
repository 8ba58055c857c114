#pragma once
// Checks of what the user types, shared by the report form, the device window
// and the record list: characters the data record file (code page 1252) cannot
// hold, limit values and test dates. Each returns the German text that tells
// the user why an input is refused, or an empty text when it is taken.
#include <QString>

namespace FieldCheck {

// The first character of the text that the data record file cannot hold
// (an empty text when there is none).
QString UnstorableCharacter(const QString& text);
// "„Ω“ kann im Datensatz nicht gespeichert werden." and the like.
QString UnstorableMessage(const QString& character);
// "Das Feld ist voll: höchstens 50 Zeichen."
QString FullMessage(int limit);

// A limit as the limit fields take it: the characters "-0123456789. " with at
// most one decimal separator (a comma becomes the point; `text` is normalised
// in place). Acceptable: a number as the evaluation reads it ("0.30", " 1",
// "-.5"); partial: such characters that are no number yet ("", "-", " ");
// refused: any other character or a second separator.
enum class State { Refused, Partial, Acceptable };
State Limit(QString& text);
QString LimitMessage(const QString& text);

// A test date TT.MM.JJJJ that exists on the calendar (one-digit day and month
// are taken and written with two digits). Returns false when it is none;
// `normalized` then stays untouched.
bool Date(const QString& text, QString* normalized);
QString DateMessage(const QString& text);

}  // namespace FieldCheck
