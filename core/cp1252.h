#pragma once
// Code page 1252 (Windows Western) <-> Unicode with a table of our own.
// Bytes 0x00-0x7F and 0xA0-0xFF are the Latin-1 code points; 0x80-0x9F carry
// the Windows characters (euro sign, quotes, dashes, ...). The five bytes that
// Windows leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control
// code points of the same value and back, so every byte survives a round trip.
#include <QByteArray>
#include <QChar>
#include <QString>

namespace Cp1252 {
// The Unicode character of one byte.
QChar ToUnicode(unsigned char byte);
// The byte of one character; false when the character has none.
bool FromUnicode(QChar ch, unsigned char* byte);
}  // namespace Cp1252

// Decodes cp1252 bytes into text (total: every byte has a character).
QString Cp1252ToUnicode(const QByteArray& bytes);
// Encodes text into cp1252. Characters without a byte become '?' and, when
// `lost` is given, it is set to the number of such characters.
QByteArray UnicodeToCp1252(const QString& text, int* lost = nullptr);
// True when every character of the text has a cp1252 byte.
bool IsCp1252Representable(const QString& text);
