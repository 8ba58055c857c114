#include <gtest/gtest.h>

#include "core/cformat.h"

TEST(CFormat, PrintfFormatsOfTheProgram) {
  EXPECT_EQ(CFormat("%5.2f", static_cast<double>(0.3f)), " 0.30");
  EXPECT_EQ(CFormat("%5.2f", static_cast<double>(0.1f)), " 0.10");
  EXPECT_EQ(CFormat("%03d", 1), "001");
  EXPECT_EQ(CFormat("%04d", 2729), "2729");
  EXPECT_EQ(CFormat("l %04X\r", 2728u), "l 0AA8\r");
  EXPECT_EQ(CFormat("%7d/%7d", 5, 12), "      5/     12");
  EXPECT_EQ(CFormat("%6d / %6d", 0, 0), "     0 /      0");
  EXPECT_EQ(CFormat("%2d:%02d:%02d %02d.%02d.%04d", 9, 5, 7, 16, 2, 2010), " 9:05:07 16.02.2010");
}

TEST(CFormat, LongOutputIsNotCut) {
  QString s = CFormat("%0300d", 7);
  EXPECT_EQ(s.size(), 300);
  EXPECT_TRUE(s.endsWith("07"));
}

namespace {
int ScanHex4(const QString& text, unsigned v[4]) {
  ScanField f[4] = {{ScanField::Hex, &v[0]}, {ScanField::Hex, &v[1]}, {ScanField::Hex, &v[2]}, {ScanField::Hex, &v[3]}};
  return CScanFields(text, "d %x %x %x %x", f, 4);
}
}  // namespace

TEST(CScan, HexFieldsAsTheCLibraryReadsThem) {
  unsigned v[4] = {};
  EXPECT_EQ(ScanHex4("d 0007 1 5 2710", v), 4);
  EXPECT_EQ(v[0], 7u);
  EXPECT_EQ(v[3], 0x2710u);
  // No blank needed after the literal: a blank in the pattern matches none too.
  EXPECT_EQ(ScanHex4("d0007\t1  5 0x2710 trailing", v), 4);
  EXPECT_EQ(v[3], 0x2710u);
  // A sign is part of a hexadecimal number; "-1" wraps like strtoul.
  EXPECT_EQ(ScanHex4("d -1 +2 3 4", v), 4);
  EXPECT_EQ(v[0], 0xFFFFFFFFu);
  EXPECT_EQ(v[1], 2u);
  // "0x" followed by no digit: the 0 is the number and the x stops the field.
  EXPECT_EQ(ScanHex4("d 0x 1 2 3", v), 1);
  EXPECT_EQ(v[0], 0u);
  // Missing fields count only what was read.
  EXPECT_EQ(ScanHex4("d 1 2 zz", v), 2);
  // "a" is a hexadecimal digit: "d all" reads one field (10) as sscanf does.
  EXPECT_EQ(ScanHex4("d all", v), 1);
  EXPECT_EQ(v[0], 10u);
  EXPECT_EQ(ScanHex4("d zz", v), 0);
  EXPECT_EQ(ScanHex4("d ", v), -1);
  EXPECT_EQ(ScanHex4("x 1 2 3 4", v), 0);
}

TEST(CScan, WordAndHexOfARangeAnswer) {
  QString word;
  unsigned code = 0;
  ScanField f[2] = {{ScanField::Word, &word, 51}, {ScanField::Hex, &code}};
  EXPECT_EQ(CScanFields("m 12.5 4", "m %s %x", f, 2), 2);
  EXPECT_EQ(word, "12.5");
  EXPECT_EQ(code, 4u);
  EXPECT_EQ(CScanFields("m --- 16", "m %s %x", f, 2), 2);
  EXPECT_EQ(code, 0x16u);
  EXPECT_EQ(CScanFields(QString("m ") + QString(60, 'w') + " 1", "m %s %x", f, 2), 2);
  EXPECT_EQ(word.size(), 51);
  EXPECT_EQ(CScanFields("m 12.5", "m %s %x", f, 2), 1);
}

TEST(CScan, FloatIsC89Style) {
  struct Case { const char* text; bool converts; float value; };
  const Case cases[] = {
      {"0.30", true, 0.30f},     {"  1.5", true, 1.5f},      {"-2", true, -2.0f},
      {"0,45", true, 0.0f},      {"0.25 MOhm", true, 0.25f}, {"1e3", true, 1000.0f},
      {"1e", true, 1.0f},        {".5", true, 0.5f},         {"+.5e-1", true, 0.05f},
      {"", false, 0},            {"??", false, 0},           {"Overflow", false, 0},
      {"inf", false, 0},         {"nan", false, 0},          {"0x1p3", true, 0.0f},
      {".", false, 0},           {"-", false, 0},            {"   ", false, 0},
  };
  for (const Case& c : cases) {
    float v = -99;
    EXPECT_EQ(ScanFloat(c.text, &v), c.converts) << c.text;
    if (c.converts) EXPECT_FLOAT_EQ(v, c.value) << c.text;
  }
}
