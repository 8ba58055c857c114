// Measured values of a record and the record buttons.
#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>

#include "controls/TColorStatic.h"
#include "platform/seams.h"
#include "tests/device_link_fixture.h"

namespace {
void SetRecord(DeviceRecord& r, int klasse, int norm, std::initializer_list<std::pair<int, int>> entries) {
  r.ClassIndex = klasse;
  r.NormIndex = norm;
  int i = 0;
  for (auto [code, raw] : entries) {
    r.RangeCode[i] = code;
    r.RawValue[i] = raw;
    ++i;
  }
}
}  // namespace

TEST_F(DeviceLink, RangeTextTable) {
  EXPECT_EQ(TMessgeraet::RangeText(0), "intern/Start");
  EXPECT_EQ(TMessgeraet::RangeText(5), "Isolationswiderstand,   RISO 200kOhm");
  EXPECT_EQ(TMessgeraet::RangeText(12), "Ersatzableitstrom, IEA 20mA");
  EXPECT_EQ(TMessgeraet::RangeText(22), "Isolationswiderstand, Calibrierung RISO 200MOhm");
  EXPECT_EQ(TMessgeraet::RangeText(23), "?");
  EXPECT_EQ(TMessgeraet::RangeText(-1), "?");
}

// The range text belongs to the code of the line, not to the code the parse
// started from.
TEST_F(DeviceLink, ShowRangeShowsTheCodeOfTheLine) {
  w->ShowRange(QStringLiteral("m 12.5 5"));
  EXPECT_EQ(w->Display->GetText(), "12.5");
  EXPECT_EQ(Text(1467), TMessgeraet::RangeText(5));
  w->ShowRange(QStringLiteral("m X 16"));  // hexadecimal: 22
  EXPECT_EQ(Text(1467), TMessgeraet::RangeText(22));
  w->ShowRange(QStringLiteral("m X 17"));
  EXPECT_EQ(Text(1467), "?");
}

// Each value goes through single precision; the texts show where that matters.
TEST_F(DeviceLink, ScalingThroughSinglePrecision) {
  struct Case {
    int code, raw, row;
    const char* text;
  } cases[] = {
      {4, 1005, 0, "   1.00"},  {5, 5, 1, " 0.0000"},    {3, 12345, 0, "  1.235"}, {3, 12355, 0, "  1.235"},
      {3, 32769, 0, "  3.277"}, {8, 20000, 1, "  200.0"},  {6, 19999, 1, "  2.000"}, {7, 12000, 1, "  12.00"},
      {9, 250, 2, "  0.025"},   {10, 15000, 2, " 15.000"}, {11, 250, 3, "  0.025"},  {12, 15000, 3, "  15.00"},
      {3, 32767, 0, "Overflow"}, {7, 32768, 1, "Overflow"},
  };
  for (const Case& c : cases) {
    SetRecord(w->Records[0], 0, 0, {{c.code, c.raw}, {0, 0}, {0, 0}, {0, 0}});
    w->RecordIndex = 0;
    w->ShowRecord();
    EXPECT_EQ(w->ValueStatic[c.row]->text(), c.text) << "code " << c.code << " raw " << c.raw;
  }
}

TEST_F(DeviceLink, ShowRecordWritesRowsListsAndHex) {
  w->RecordCount = 3;
  SetRecord(w->Records[2], 1, 0, {{3, 1500}, {7, 12000}, {9, 32767}, {11, 250}});
  w->RecordIndex = 2;
  w->ShowRecord();
  EXPECT_EQ(Text(1453), "003");
  EXPECT_EQ(w->KlasseCombo->currentIndex(), 1);
  EXPECT_EQ(w->NormCombo->currentIndex(), 0);
  EXPECT_EQ(w->VdeKlasse, 2);  // RefreshSettings followed
  QStringList texts;
  for (QLabel* v : w->ValueStatic) texts << v->text();
  EXPECT_EQ(texts, (QStringList{"  0.150", "  12.00", "Overflow", "  0.025"}));
  w->ShowRecordHex();
  EXPECT_EQ(Text(203), "0001 0000 0003 05dc 0007 2ee0 0009 7fff 000b 00fa");

  // Codes without a value leave "?"; of two entries for one row the later wins;
  // an overflow marker under such a code shows nothing either.
  SetRecord(w->Records[0], 0, 1, {{0, 5}, {3, 1000}, {4, 2000}, {13, 32767}});
  w->RecordIndex = 0;
  w->ShowRecord();
  texts.clear();
  for (QLabel* v : w->ValueStatic) texts << v->text();
  EXPECT_EQ(texts, (QStringList{"   2.00", "?", "?", "?"}));
  EXPECT_EQ(w->NormCombo->currentIndex(), 1);
}

TEST_F(DeviceLink, NavigationClamps) {
  for (int i = 0; i < 12; ++i) SetRecord(w->Records[i], 0, 0, {{3, 1000 + i}, {0, 0}, {0, 0}, {0, 0}});
  w->RecordCount = 12;
  w->RecordIndex = 11;
  w->ButtonClicked(104);
  EXPECT_EQ(w->RecordIndex, 11);
  w->ButtonClicked(109);
  EXPECT_EQ(w->RecordIndex, 11);
  EXPECT_EQ(Text(1453), "012");
  EXPECT_EQ(Text(206), "011");
  EXPECT_EQ(w->ValueStatic[0]->text(), "  0.101");
  w->RecordIndex = 3;
  w->ButtonClicked(110);
  EXPECT_EQ(w->RecordIndex, 0);
  w->ButtonClicked(101);
  EXPECT_EQ(w->RecordIndex, 0);
  EXPECT_EQ(Text(206), "000");
  w->ButtonClicked(109);
  EXPECT_EQ(w->RecordIndex, 10);
  w->ButtonClicked(101);
  EXPECT_EQ(w->RecordIndex, 9);

  w->RecordCount = 0;
  for (int id : {101, 104, 110, 109}) {
    w->ButtonClicked(id);
    EXPECT_EQ(w->RecordIndex, 0) << id;
    EXPECT_EQ(Text(1453), "001");
  }
}

TEST_F(DeviceLink, DeviceAddressButtons) {
  AttachPty();
  w->DeviceAddress = 2728;
  w->ButtonClicked(1459);
  EXPECT_EQ(Text(1455), "0001");
  EXPECT_EQ(w->DeviceAddress, 0u);
  w->ButtonClicked(1457);
  EXPECT_EQ(Sent(), QByteArray("l 0000\r"));
  w->ButtonClicked(1458);
  EXPECT_EQ(Text(1455), "2729");
  w->ButtonClicked(1457);
  EXPECT_EQ(Sent(), QByteArray("l 0AA8\r"));
  EXPECT_EQ(w->DeviceAddress, 2728u);  // "Laden" does not move it
  w->DeviceAddress = 5000;             // as a load may leave it
  w->ButtonClicked(1459);
  EXPECT_EQ(w->DeviceAddress, 0u);
  w->ButtonClicked(1469);
  EXPECT_EQ(Sent(), QByteArray("cal\r"));
  w->ButtonClicked(4711);  // not a button of ours
  EXPECT_TRUE(Sent().isEmpty());
}

TEST_F(DeviceLink, VersionAndRandom) {
  Feed("vQK236 V2.04.11\r");
  w->ButtonClicked(1302);  // no port: "?" at once all the same
  EXPECT_EQ(Text(1304), "?");
  QRegularExpression seven("^[ 0-9]{3}[0-9]\\.[0-9]{2}$");
  QStringList first;
  for (QLabel* v : w->ValueStatic) first << v->text();
  bool changed = false;
  for (int round = 0; round < 5 && !changed; ++round) {
    w->ButtonClicked(1447);
    QStringList now;
    for (QLabel* v : w->ValueStatic) {
      EXPECT_TRUE(seven.match(v->text()).hasMatch()) << v->text().toStdString();
      double value = v->text().toDouble();
      EXPECT_GE(value, 0.0);
      EXPECT_LE(value, 50.59);
      now << v->text();
    }
    changed = now != first;
    first = now;
  }
  EXPECT_TRUE(changed);
}
