#include <gtest/gtest.h>

#include "core/cp1252.h"

// The Windows column of bytes 0x80-0x9F, written as the characters themselves
// (with the five undefined bytes as their C1 control code points).
static const char16_t* const kWindowsHigh =
    u"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u008D\u017D\u008F"
    u"\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178";

TEST(Cp1252, EveryByteDecodesAndRoundTrips) {
  QByteArray all;
  for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
  QString text = Cp1252ToUnicode(all);
  ASSERT_EQ(text.size(), 256);
  QString high = QString::fromUtf16(kWindowsHigh);
  for (int b = 0; b < 256; ++b) {
    char16_t expected = (b >= 0x80 && b <= 0x9F) ? high[b - 0x80].unicode() : char16_t(b);
    EXPECT_EQ(text[b].unicode(), expected) << "byte " << b;
  }
  int lost = -1;
  EXPECT_EQ(UnicodeToCp1252(text, &lost), all);
  EXPECT_EQ(lost, 0);
  EXPECT_TRUE(IsCp1252Representable(text));
}

TEST(Cp1252, GermanTextsAndSpecialCharacters) {
  const QString s = QString::fromUtf8("Prüfprotokoll Gerätetyp Lösche ß Ä Ö Ü € „x“ – µ°");
  QByteArray bytes = UnicodeToCp1252(s);
  EXPECT_EQ(bytes.size(), s.size());
  EXPECT_EQ(static_cast<unsigned char>(bytes[2]), 0xFC);           // ü
  EXPECT_EQ(static_cast<unsigned char>(bytes.at(bytes.indexOf('x') - 1)), 0x84);  // „
  EXPECT_EQ(Cp1252ToUnicode(bytes), s);
}

TEST(Cp1252, UnrepresentableCharactersAreCountedNotDropped) {
  // Cyrillic, a CJK character, an emoji (surrogate pair) and the C1 code point
  // U+0080, which cp1252 has no byte for (0x80 is the euro sign).
  const QString s = QString::fromUtf8("a\u0416b\u4E2Dc\U0001F600d") + QChar(0x0080);
  EXPECT_FALSE(IsCp1252Representable(s));
  int lost = 0;
  QByteArray bytes = UnicodeToCp1252(s, &lost);
  EXPECT_EQ(lost, 4);
  EXPECT_EQ(bytes, QByteArray("a?b?c?d?"));
  EXPECT_TRUE(IsCp1252Representable(QString::fromUtf8("Grenzwert 0,30 Ω?").left(14)));
  EXPECT_FALSE(IsCp1252Representable(QString::fromUtf8("Ω")));
  EXPECT_TRUE(IsCp1252Representable(QString()));
}
