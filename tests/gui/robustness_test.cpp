// Hostile input, generated from fixed seeds: random and broken lines from the
// tester, random measured values, random and damaged data record files, random
// typing, and random text for the scanner and the code page. Each run checks
// that nothing crashes or hangs and that every index, count and text stays
// within its bounds; where a value is stored and read back, it comes back whole.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <sys/stat.h>

#include "controls/TColorStatic.h"
#include "core/cformat.h"
#include "core/cp1252.h"
#include "core/profile.h"
#include "platform/seams.h"
#include "core/limitprofiles.h"
#include "report/TFormular.h"
#include "tests/support/recordingsurface.h"
#include "render/surface.h"
#include "tests/device_link_fixture.h"

namespace {

using Rng = std::mt19937;

int Pick(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
bool Chance(Rng& rng, int percent) { return Pick(rng, 0, 99) < percent; }
unsigned PickU(Rng& rng) { return static_cast<unsigned>(rng()); }

QByteArray RandomBytes(Rng& rng, int maxLength) {
  QByteArray bytes(Pick(rng, 0, maxLength), '\0');
  for (char& c : bytes) c = static_cast<char>(Pick(rng, 0, 255));
  return bytes;
}

// A number as the tester might garble it: extremes, signs, overlong digit runs.
QByteArray HostileNumber(Rng& rng) {
  static const char* const kNumbers[] = {"0",        "7FFF",     "8000",       "FFFF",     "FFFFFFFF",
                                         "80000000", "-1",       "-80000000",  "+12",      "0x1F",
                                         "0x",       "9999999999", "123456789ABCDEF0123", "zz", ""};
  if (Chance(rng, 60)) return QByteArray::number(PickU(rng) >> Pick(rng, 0, 31), 16);
  return kNumbers[Pick(rng, 0, int(std::size(kNumbers)) - 1)];
}

// Bytes from the tester: answers that parse, answers that almost parse, and noise.
QByteArray LineNoise(Rng& rng) {
  static const char* const kFixed[] = {
      "vQK236 V2.04.11\r", "vQK248\r", "xQK999 V1.00\r", "vQK\r", "QK\r", "s 9999999999\r",
      "s 01F4\r", "s 0002\r", "s -1\r", "s zzzz\r", "s\r", "d zzzz 1 2 3\r", "d all\r",
      "m\r", "m 12.5 4\r", "m --- 16\r", "m 1 -5\r", "m nothing\r", "\r", "\r\n", "\n",
      "cal\r"};
  switch (Pick(rng, 0, 9)) {
    case 0:
    case 1: return kFixed[Pick(rng, 0, int(std::size(kFixed)) - 1)];
    case 2:
    case 3:
      // A record entry, well formed or not.
      return "d " + HostileNumber(rng) + " " + HostileNumber(rng) + " " + HostileNumber(rng) + " " +
             HostileNumber(rng) + (Chance(rng, 90) ? "\r" : "");
    case 4: return "s " + HostileNumber(rng) + "\r";
    case 5: {
      QByteArray word = Chance(rng, 20) ? QByteArray(Pick(rng, 40, 700), 'w') : HostileNumber(rng);
      return "m " + word + " " + HostileNumber(rng) + "\r";
    }
    case 6: {
      // An overlong line, sometimes one that begins like an answer.
      QByteArray line(Pick(rng, 500, 1500), static_cast<char>(Pick(rng, 0x20, 0x7E)));
      if (Chance(rng, 50)) line[0] = "dsmv"[Pick(rng, 0, 3)];
      return line + "\r";
    }
    default: return RandomBytes(rng, 12);
  }
}

}  // namespace

// The device window's line processing, fed in chunks of 0 to 5 bytes as the poll
// tick reads them, while loads and deletes are started, navigated and abandoned
// through the record buttons and the timers.
TEST_F(DeviceLink, RandomLineInputKeepsEveryInvariant) {
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDYES); });
  AttachPty();
  auto drain = [&] {
    char buf[4096];
    while (read(master_, buf, sizeof buf) > 0) {
    }
  };
  const QStringList rangeTexts = [] {
    QStringList texts{QStringLiteral("?")};
    for (int c = 0; c <= 22; ++c) texts << TMessgeraet::RangeText(c);
    return texts;
  }();

  auto checkState = [&](int step) {
    ASSERT_GE(w->RecordCount, 0) << step;
    ASSERT_LE(w->RecordCount, TMessgeraet::kMaxRecords) << step;
    ASSERT_GE(w->RecordIndex, 0) << step;
    ASSERT_LT(w->RecordIndex, TMessgeraet::kRecordSlots) << step;
    ASSERT_GE(w->EntryIndex, 0) << step;
    ASSERT_LE(w->EntryIndex, 3) << step;
    ASSERT_GE(w->LoadState, 0) << step;
    ASSERT_LE(w->LoadState, 9) << step;
    ASSERT_TRUE(w->DeleteAllPending == 0 || w->DeleteAllPending == 1) << step;
    ASSERT_TRUE(w->DeviceType == 0 || w->DeviceType == 2) << step;
    ASSERT_GE(w->LineLength, 0) << step;
    ASSERT_LE(w->LineLength, 511) << step;
    ASSERT_LE(w->LineBuffer.size(), 512) << step;
    ASSERT_LE(w->LogList->count(), TMessgeraet::kLogLimit) << step;
    if (w->LogList->count() > 0) ASSERT_LE(w->LogList->item(w->LogList->count() - 1)->text().size(), 4 + 190);
  };
  auto checkTexts = [&](int step) {
    ASSERT_LE(w->DeviceText.size(), 99) << step;
    ASSERT_LE(w->Display->GetText().size(), 51) << step;
    ASSERT_TRUE(rangeTexts.contains(Text(1467))) << step << " " << Text(1467).toStdString();
    ASSERT_LE(Text(203).size(), 127) << step;
    for (int id : {1453, 1455, 1466}) ASSERT_LE(Text(id).size(), 10) << step << " " << id;
    for (QLabel* value : w->ValueStatic) ASSERT_LE(value->text().size(), 18) << step;
    ASSERT_GE(w->NormCombo->currentIndex(), 0) << step;
    ASSERT_GE(w->KlasseCombo->currentIndex(), 0) << step;
  };

  Rng rng(0x4b656c76);
  QByteArray stream;
  unsigned statesSeen = 0;
  bool deleteSeen = false;
  const int kSteps = 30000;
  for (int step = 0; step < kSteps; ++step) {
    if (stream.size() < 5) stream += LineNoise(rng);
    const int n = Pick(rng, 0, 5);
    w->ProcessChunk(stream.left(n));
    stream.remove(0, n);
    ASSERT_TRUE(w->LoadState >= 0 && w->LoadState <= 9) << step;
    statesSeen |= 1u << w->LoadState;
    w->StepLoadAll();  // what the rest of the poll tick does
    deleteSeen |= w->DeleteAllPending == 1;

    if (Chance(rng, 2)) {
      // The user or a timer steps in.
      static const int kButtons[] = {101, 104, 110, 109, 1459, 1458, 1457, 105, 105, 102, 1302};
      switch (Pick(rng, 0, 4)) {
        case 0:
        case 1: w->ButtonClicked(kButtons[Pick(rng, 0, int(std::size(kButtons)) - 1)]); break;
        case 2: w->EvTimer(TMessgeraet::LockTimer); break;
        case 3: w->EvTimer(TMessgeraet::LinkTimer); break;  // probes, and reopens the port when silent
        default:
          w->KlasseCombo->setCurrentIndex(Pick(rng, 0, w->KlasseCombo->count() - 1));
          w->NormCombo->setCurrentIndex(Pick(rng, 0, w->NormCombo->count() - 1));
          break;
      }
    }
    if (step % 256 == 0) drain();
    checkState(step);
    if (HasFatalFailure()) return;
    if (step % 64 == 0) {
      checkTexts(step);
      if (HasFatalFailure()) return;
    }
  }
  // Every state of the load sequence and a pending delete were exercised.
  EXPECT_EQ(statesSeen, 0x3FFu);
  EXPECT_TRUE(deleteSeen);

  // The log keeps its newest lines and never more than its limit.
  for (int i = 0; i < TMessgeraet::kLogLimit + 50; ++i) w->ProcessChunk(QByteArray("\r"));
  Feed("last line\r");
  EXPECT_EQ(w->LogList->count(), TMessgeraet::kLogLimit);
  EXPECT_EQ(Log().last(), "RxD:last line");
  for (const QString& line : Log()) ASSERT_LE(line.size(), 4 + 190);
  checkTexts(kSteps);
}

// Range texts, the live display and the four value fields with random codes and
// raw values, the extremes included, and record cursors outside the table.
TEST_F(DeviceLink, RandomMeasuredValuesShowBoundedTexts) {
  Identify();
  Rng rng(0x5a656c74);
  const int kExtremes[] = {INT_MIN, INT_MIN + 1, -32768, -32767, -1, 0, 1, 2, 3, 12, 13, 22, 23,
                           32766, 32767, 32768, 32769, 65535, 65536, INT_MAX - 1, INT_MAX};
  auto anyInt = [&] {
    return Chance(rng, 40) ? kExtremes[Pick(rng, 0, int(std::size(kExtremes)) - 1)] : static_cast<int>(PickU(rng));
  };
  auto smallOrAny = [&](int hi) { return Chance(rng, 70) ? Pick(rng, -2, hi) : anyInt(); };

  for (int i = 0; i < 3000; ++i) {
    const int code = anyInt();
    const QString range = TMessgeraet::RangeText(code);
    if (code >= 0 && code <= 22)
      EXPECT_NE(range, "?") << code;
    else
      EXPECT_EQ(range, "?") << code;
  }

  for (int i = 0; i < 1500; ++i) {
    QByteArray line = Chance(rng, 80) ? "m " + HostileNumber(rng) + " " + HostileNumber(rng)
                                      : "m" + RandomBytes(rng, 80).replace('\0', ' ');
    if (Chance(rng, 10)) line += QByteArray(Pick(rng, 1, 600), 'x');
    w->ShowRange(QString::fromLatin1(line));
    ASSERT_LE(w->Display->GetText().size(), 51);
    const QString shown = Text(1467);
    bool known = shown == "?";
    for (int c = 0; c <= 22 && !known; ++c) known = shown == TMessgeraet::RangeText(c);
    ASSERT_TRUE(known) << shown.toStdString();
  }

  const int kCursors[] = {-1, 0, 0, 1, 250, 499, 500, 500, 501, 502, INT_MAX, INT_MIN};
  for (int i = 0; i < 1500; ++i) {
    const int slot = Pick(rng, 0, TMessgeraet::kRecordSlots - 1);
    DeviceRecord& record = w->Records[slot];
    record.ClassIndex = smallOrAny(3);
    record.NormIndex = smallOrAny(2);
    for (int e = 0; e < 4; ++e) {
      record.RangeCode[e] = smallOrAny(24);
      record.RawValue[e] = Chance(rng, 20) ? 32767 + Pick(rng, 0, 1) : anyInt();
    }
    const DeviceRecord copy = record;

    // ShowRecordHex: ten groups of at least four lower-case hex digits that read back as stored.
    w->RecordIndex = slot;
    w->ShowRecordHex();
    const QStringList groups = Text(203).split(' ');
    ASSERT_EQ(groups.size(), 10) << Text(203).toStdString();
    const int values[10] = {copy.ClassIndex, copy.NormIndex, copy.RangeCode[0], copy.RawValue[0],
                            copy.RangeCode[1], copy.RawValue[1], copy.RangeCode[2], copy.RawValue[2],
                            copy.RangeCode[3], copy.RawValue[3]};
    for (int g = 0; g < 10; ++g) {
      bool ok = false;
      EXPECT_GE(groups[g].size(), 4);
      EXPECT_EQ(groups[g], groups[g].toLower());
      EXPECT_EQ(groups[g].toUInt(&ok, 16), static_cast<unsigned>(values[g])) << g;
      EXPECT_TRUE(ok);
    }

    // ShowRecord from the slot, or from a cursor outside the table (which falls back to slot 0).
    w->RecordIndex = Chance(rng, 70) ? slot : kCursors[Pick(rng, 0, int(std::size(kCursors)) - 1)];
    const bool inTable = w->RecordIndex >= 0 && w->RecordIndex < TMessgeraet::kRecordSlots;
    const int shownSlot = inTable ? w->RecordIndex : 0;
    const DeviceRecord shown = w->Records[shownSlot];
    w->ShowRecord();
    ASSERT_EQ(w->RecordIndex, shownSlot);
    ASSERT_GE(w->NormCombo->currentIndex(), 0);
    ASSERT_GE(w->KlasseCombo->currentIndex(), 0);
    ASSERT_TRUE(w->VdeKlasse >= 1 && w->VdeKlasse <= 3);
    ASSERT_TRUE(w->VdePruefgrundlage >= 4 && w->VdePruefgrundlage <= 5);

    // Each row shows the last entry that names it: "Overflow", a number of the
    // entry's sign in at least seven characters, or "?" when none names it.
    static const int kRowOfCode[10] = {0, 0, 1, 1, 1, 1, 2, 2, 3, 3};
    int lastRaw[4];
    bool named[4] = {false, false, false, false};
    for (int e = 0; e < 4; ++e) {
      const int c = shown.RangeCode[e];
      if (c < 3 || c > 12) continue;
      named[kRowOfCode[c - 3]] = true;
      lastRaw[kRowOfCode[c - 3]] = shown.RawValue[e];
    }
    for (int r = 0; r < 4; ++r) {
      const QString text = w->ValueStatic[r]->text();
      ASSERT_LE(text.size(), 18) << text.toStdString();
      if (!named[r]) {
        EXPECT_EQ(text, "?");
      } else if (lastRaw[r] == 32767 || lastRaw[r] == 32768) {
        EXPECT_EQ(text, "Overflow");
      } else {
        float value = 0;
        ASSERT_TRUE(ScanFloat(text, &value)) << text.toStdString();
        EXPECT_GE(text.size(), 7);
        EXPECT_TRUE(std::isfinite(value));
        if (lastRaw[r] > 0) EXPECT_GE(value, 0.0f) << text.toStdString();
        if (lastRaw[r] < 0) EXPECT_LE(value, 0.0f) << text.toStdString();
      }
    }
    if (HasFailure()) return;
  }
}

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray LineEnd(Rng& rng) {
  static const char* const kEnds[] = {"\r\n", "\r\n", "\n", "\r", "\n\r"};
  return kEnds[Pick(rng, 0, int(std::size(kEnds)) - 1)];
}

// A value a damaged or foreign file might hold (no line breaks: those end the line).
QByteArray HostileValue(Rng& rng) {
  static const char* const kValues[] = {
      "0", "1", "4", "5", "6", "-1", "-2147483648", "-2147483649", "2147483647", "4294967301",
      "99999999999999999999", "  3  ", "+2", "3abc", "abc", "", "\"quoted\"", "'x", "\"", "''",
      "Overflow", " 0.45", "0,45", "1e39", "-inf", "nan", "\xC3\x28", "\xE2\x82", "\xF0\x9F\x98",
      "\xC3\xA4\xC3\xB6", "M\xfcller \x80 \x81\x8d\x8f\x90\x9d", "a=b=c", "[x]", "1"};
  switch (Pick(rng, 0, 5)) {
    case 0: {
      QByteArray v = RandomBytes(rng, 40);
      v.replace('\r', 'r').replace('\n', 'n');
      return v;
    }
    case 1: return QByteArray(Pick(rng, 90, 3000), static_cast<char>(Pick(rng, 0x21, 0xFF)));
    default: return kValues[Pick(rng, 0, int(std::size(kValues)) - 1)];
  }
}

// A data record file: the section (or something like it), the program's keys in
// random spelling with hostile values, junk lines and every kind of line end.
QByteArray HostileRecordFile(Rng& rng, const QStringList& keys) {
  static const char* const kHeaders[] = {"[TEXT_EDIT_SETTINGS]", " [ text_edit_settings ] ",
                                         "[TEXT_EDIT_SETTINGS", "[other]", "[]"};
  QByteArray file;
  const int lines = Pick(rng, 0, 120);
  for (int i = 0; i < lines; ++i) {
    switch (Pick(rng, 0, 9)) {
      case 0: file += kHeaders[Chance(rng, 60) ? 0 : Pick(rng, 1, 4)]; break;
      case 1: {
        QByteArray junk = RandomBytes(rng, 60);  // a line without "=" mostly
        junk.replace('=', '-').replace('\r', ' ').replace('\n', ' ');
        file += junk;
        break;
      }
      default: {
        QByteArray key = keys[Pick(rng, 0, keys.size() - 1)].toLatin1();
        if (Chance(rng, 20)) key = key.toLower();
        if (Chance(rng, 10)) key = " " + key + "\t";
        file += key + (Chance(rng, 10) ? " = " : "=") + HostileValue(rng);
      }
    }
    if (i + 1 < lines || Chance(rng, 50)) file += LineEnd(rng);
  }
  return file;
}

// Everything a loaded form shows or stores.
struct FormState {
  QStringList fields, mess, grenz;
  int standard = 0, klasse = 0;
  bool sicht = false, funktion = false;
  std::array<int, kRowCount> active{};
  std::array<bool, kRowCount> okShownChecked{};
  bool operator==(const FormState& o) const {
    return fields == o.fields && mess == o.mess && grenz == o.grenz && standard == o.standard &&
           klasse == o.klasse && sicht == o.sicht && funktion == o.funktion && active == o.active &&
           okShownChecked == o.okShownChecked;
  }
};

FormState StateOf(const TFormular& form) {
  FormState s;
  for (int i = 0; i < TFormular::kNumEdits; ++i) s.fields << form.FieldText(i);
  for (int r = 0; r < kRowCount; ++r) {
    s.mess << form.MessText[r];
    s.grenz << form.GrenzText[r];
    s.active[r] = form.RowActive[r];
    s.okShownChecked[r] = form.OkBoxes[r]->isChecked() && form.OkBoxShown(r);
  }
  s.standard = form.VdePruefgrundlage;
  s.klasse = form.VdeKlasse;
  s.sicht = form.SichtpruefungBox->isChecked();
  s.funktion = form.FunktionspruefungBox->isChecked();
  return s;
}

// Paints the form on the recording surface and on an image; the rows drawn
// are exactly the active ones, the heading is one of the known texts.
void PaintEverywhere(TFormular& form, bool onImage) {
  RecordingSurface recording;
  form.Paint(recording, true, QRect(0, 0, form.PageWidth, form.PageHeight));
  for (int r = 0; r < kRowCount; ++r) EXPECT_EQ(form.OkBoxShown(r), form.RowActive[r] == 1) << r;
  const bool knownStandard = form.VdePruefgrundlage >= 1 && form.VdePruefgrundlage <= Profiles::kStandardCodeMax;
  EXPECT_EQ(recording.FindText(QStringLiteral("???")) != nullptr, !knownStandard) << form.VdePruefgrundlage;
  EXPECT_TRUE(form.GesamtOk() == 0 || form.GesamtOk() == 1);
  // The sentence drawn is the form's verdict.
  EXPECT_EQ(recording.FindText(QStringLiteral("Der Prüfling hat die Prüfung bestanden")) != nullptr, form.ReportPassed());
  if (onImage) {
    QImage image(form.PageWidth, form.PageHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    QtSurface surface(&painter);
    form.Paint(surface, true, image.rect());
  }
}

}  // namespace

// The profile layer and the form's load with random, damaged and hostile files:
// reads stay within their buffers, writes change only their key, what is written
// reads back, and a loaded form paints and saves again to a file that loads the same.
TEST(RandomRecordFiles, LoadPaintAndSaveAgain) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QList<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) {
    boxes << r;
    return int(Win::IDOK);
  });
  TFormular form(nullptr);
  form.SetupWindow();
  QStringList keys = {"VDEPruefgrundlage", "VDEKlasse", "NumOfEditFields", "Sichtpruefung", "Funktionspruefung"};
  for (const QString& key : form.IniKeys) keys << key;
  const QString section = QString::fromLatin1(TFormular::kSection);
  Rng rng(0x496e6931);

  // --- The profile layer on its own.
  const QString iniPath = dir.filePath("profile.ini");
  const QString kMissing = QStringLiteral("\x01missing");
  for (int round = 0; round < 150; ++round) {
    WriteFile(iniPath, Chance(rng, 20) ? RandomBytes(rng, 2000) : HostileRecordFile(rng, keys));
    TProfile profile(section, iniPath);
    ASSERT_EQ(profile.State(), TProfile::FileState::Ok);
    QMap<QString, QString> expected;
    for (const QString& key : keys) {
      const QString full = profile.GetString(key, 1 << 20, kMissing);
      expected[key] = full;
      for (int size : {-1, 0, 1, 2, 20, 100}) {
        const QString cut = profile.GetString(key, size, kMissing);
        ASSERT_LE(cut.size(), std::max(0, size - 1));
        ASSERT_TRUE(full.startsWith(cut));
      }
      const int number = profile.GetInt(key, -77);
      if (full == kMissing || full.isEmpty())
        ASSERT_EQ(number, -77);
      else
        ASSERT_EQ(number, ProfileInt(full));
    }
    for (int write = Pick(rng, 0, 8); write > 0; --write) {
      const QString key = keys[Pick(rng, 0, keys.size() - 1)];
      QString value;
      static const char16_t kChars[] = {u'a', u'Z', u'0', u' ', u'\t', u'"', u'\'', u'=', u'[', u']', u'ä',
                                        u'ß', u'€', u'\u201E', u'\0', u'\u0081', u'\r', u'\n', u'\u03A9',
                                        char16_t(0xD83D), char16_t(0xDE00), u'\uFFFD'};
      for (int n = Pick(rng, 0, 12); n > 0; --n) value += QChar(kChars[Pick(rng, 0, int(std::size(kChars)) - 1)]);
      const bool storable = !value.contains('\r') && !value.contains('\n') && IsCp1252Representable(value);
      const QByteArray before = profile.Bytes();
      const QString spelled = Chance(rng, 30) ? key.toUpper() : key;
      ASSERT_EQ(profile.WriteString(spelled, value), storable);
      if (!storable) {
        ASSERT_EQ(profile.Bytes(), before);
        continue;
      }
      expected[key] = value;
      for (const QString& k : keys)
        ASSERT_EQ(profile.GetString(k, 1 << 20, kMissing), expected[k])
            << "after writing " << key.toStdString() << " in round " << round;
    }
    ASSERT_TRUE(profile.Flush());
    TProfile again(section, iniPath);
    ASSERT_EQ(again.Bytes(), profile.Bytes());
  }

  // --- The form: load, paint, save, load the saved file again.
  TFormular second(nullptr);
  second.SetupWindow();
  const QString recordPath = dir.filePath("record.ini");
  const QString savedPath = dir.filePath("saved.ini");
  for (int round = 0; round < 80; ++round) {
    const bool random = Chance(rng, 15);
    WriteFile(recordPath, random ? RandomBytes(rng, 3000) : "[TEXT_EDIT_SETTINGS]\r\n" + HostileRecordFile(rng, keys));
    if (random && !form.LoadRecord(recordPath)) {
      // Random bytes hold no data record: refused with a message, and nothing else.
      ASSERT_FALSE(boxes.isEmpty());
      boxes.clear();
      continue;
    }
    ASSERT_TRUE(form.LoadRecord(recordPath));
    for (int i = 0; i < TFormular::kNumEdits; ++i) ASSERT_LT(form.FieldText(i).size(), 400);
    for (int r = 0; r < kRowCount; ++r) {
      ASSERT_LE(form.MessText[r].size(), 19);
      ASSERT_LE(form.GrenzText[r].size(), 19);
      ASSERT_TRUE(form.RowActive[r] == 0 || form.RowActive[r] == 1);
    }
    PaintEverywhere(form, round % 10 == 0);
    const FormState loaded = StateOf(form);
    QFile::remove(savedPath);
    ASSERT_TRUE(form.SaveRecord(savedPath)) << round;
    ASSERT_TRUE(second.LoadRecord(savedPath));
    ASSERT_TRUE(StateOf(second) == loaded) << "round " << round;
    // Saved into the damaged file itself, around whatever else it holds.
    ASSERT_TRUE(form.SaveRecord(recordPath)) << round;
    ASSERT_TRUE(second.LoadRecord(recordPath));
    ASSERT_TRUE(StateOf(second) == loaded) << "round " << round << " saved in place";
    if (HasFailure()) return;
  }
  EXPECT_TRUE(boxes.isEmpty());

  // A folder where the file should be: refused with a message, the form unchanged.
  const FormState before = StateOf(form);
  const QString folder = dir.filePath("folder.ini");
  ASSERT_TRUE(QDir().mkpath(folder));
  EXPECT_FALSE(form.LoadRecord(folder));
  EXPECT_EQ(boxes.size(), 1);
  EXPECT_TRUE(StateOf(form) == before);
  EXPECT_FALSE(form.SaveRecord(folder));
  EXPECT_EQ(boxes.size(), 2);
  EXPECT_TRUE(QFileInfo(folder).isDir());
  // A pipe or a device chosen as the file would wait or read for ever: refused the same way.
  const QString pipe = dir.filePath("pipe.ini");
  ASSERT_EQ(::mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
  for (const QString& special : {pipe, QStringLiteral("/dev/zero")}) {
    boxes.clear();
    EXPECT_FALSE(form.LoadRecord(special)) << special.toStdString();
    EXPECT_FALSE(form.SaveRecord(special)) << special.toStdString();
    EXPECT_EQ(boxes.size(), 2);
    EXPECT_TRUE(StateOf(form) == before);
  }

  // Many lines without "=" in the section (a text file chosen by mistake) load
  // in one pass over the file, not one pass per line.
  QByteArray many = "[TEXT_EDIT_SETTINGS]\r\n";
  for (int i = 0; i < 50000; ++i) many += "no key here\r\n";
  many += "Auftraggeber=am Ende\r\n";
  WriteFile(recordPath, many);
  ASSERT_TRUE(form.LoadRecord(recordPath));
  EXPECT_EQ(form.FieldText(0), "am Ende");
  EXPECT_TRUE(form.SaveRecord(recordPath));
}

namespace {

// Types the text into the widget one key at a time, as the keyboard would.
void Type(QWidget* widget, const QString& text) {
  for (int i = 0; i < text.size(); ++i) {
    QString key = text.mid(i, 1);
    if (text[i].isHighSurrogate() && i + 1 < text.size()) key = text.mid(i++, 2);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, key);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, key);
    QApplication::sendEvent(widget, &release);
  }
}

void Press(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(widget, &press);
}

QString RandomTyping(Rng& rng) {
  static const char16_t kChars[] = {u'a', u'Z', u'7', u' ', u'.', u'-', u'"', u'=', u'ä', u'Ö', u'ß', u'€',
                                    u'\u201E', u'\u2013', u'\u0152', u'\u00A0', u'\u03A9', u'\u0142',
                                    u'\u0301', u'\uFFFD', u'\t', u'\u0007'};
  QString text;
  for (int n = Pick(rng, 0, 15); n > 0; --n) {
    if (Chance(rng, 5))
      text += QString::fromUtf8("\xF0\x9F\x98\x80");  // a character beyond the basic plane
    else
      text += QChar(kChars[Pick(rng, 0, int(std::size(kChars)) - 1)]);
  }
  return text;
}

}  // namespace

// Random typing, editing keys and pasting into the form's fields and the device
// window's limit fields: a save either keeps every character, or refuses and
// says which field holds a character a data record file cannot store.
TEST_F(DeviceLink, RandomTypingIsStoredWholeOrRefusedAloud) {
  QList<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) {
    boxes << r;
    return int(Win::IDOK);
  });
  Identify();
  TFormular form(w.get());
  form.SetupWindow();
  TFormular reread(w.get());
  reread.SetupWindow();
  const QString path = dir_.filePath("typed.ini");
  const QString limitSet = QString::fromLatin1(TMessgeraet::kLimitCharacters);
  Rng rng(0x54617374);
  int stored = 0, pasted = 0, beeps = 0;
  Seams::SetBeepCounter(&beeps);
  for (int round = 0; round < 60; ++round) {
    for (QLineEdit* limit : w->LimitEdit) {
      Press(limit, Qt::Key_A, Qt::ControlModifier);
      Type(limit, RandomTyping(rng) + QString(Pick(rng, 0, 25), ' ') + QStringLiteral("1.5"));
      for (QChar c : limit->text()) ASSERT_TRUE(limitSet.contains(c)) << limit->text().toStdString();
    }
    form.CmKopieren();
    // The form compares the limits as they were typed, never a cut one.
    for (int r = 0; r < 4; ++r) ASSERT_EQ(form.GrenzText[r], w->LimitEdit[r]->text()) << r;
    for (int n = Pick(rng, 1, 6); n > 0; --n) {
      QLineEdit* edit = form.Edits[Pick(rng, 0, TFormular::kNumEdits - 1)];
      switch (Pick(rng, 0, 4)) {
        case 0: Press(edit, Qt::Key_Backspace); break;
        case 1: Press(edit, Qt::Key_Home); break;
        case 2:
          QApplication::clipboard()->setText(RandomTyping(rng) + QStringLiteral("\nzweite Zeile"));
          Press(edit, Qt::Key_V, Qt::ControlModifier);
          pasted += edit->text().contains(QStringLiteral(" zweite Zeile"));
          break;
        default: Type(edit, RandomTyping(rng)); break;
      }
    }
    // Everything typed or pasted can be stored, on one line.
    QStringList texts;
    for (int i = 0; i < TFormular::kNumEdits; ++i) {
      texts << form.FieldText(i);
      ASSERT_TRUE(IsCp1252Representable(texts[i])) << "field " << i;
      ASSERT_FALSE(texts[i].contains('\n') || texts[i].contains('\r')) << "field " << i;
    }
    QFile::remove(path);
    boxes.clear();
    ASSERT_TRUE(form.SaveRecord(path));
    ASSERT_TRUE(boxes.isEmpty());
    ++stored;
    ASSERT_TRUE(reread.LoadRecord(path));
    for (int i = 0; i < TFormular::kNumEdits; ++i) ASSERT_EQ(reread.FieldText(i), texts[i]) << "field " << i;
    for (int r = 0; r < kRowCount; ++r) {
      EXPECT_EQ(reread.MessText[r], form.MessText[r]);
      EXPECT_EQ(reread.GrenzText[r], form.GrenzText[r]);
    }
  }
  EXPECT_EQ(stored, 60);
  EXPECT_GT(pasted, 0);
  EXPECT_GT(beeps, 0);  // the characters a file cannot store were refused aloud
}

// The scanner with random text and patterns, the formatter with random numbers,
// and the code page with random bytes and random text.
TEST(RandomTextConversions, ScanFormatAndCodePage) {
  Rng rng(0x43703132);
  // Scanning random text never reads more fields than the pattern has, never
  // writes beyond a word's limit, and reads back what was formatted.
  static const char* const kPatterns[] = {"m %s %x", "d %x %x %x %x", "s %X", "%f", "%d", "%s%s", "x%%y %d",
                                          "%", "%q", " ", "%x%x%x%x%x%x"};
  static const char16_t kChars[] = {u'0', u'9', u'a', u'f', u'F', u'x', u'X', u'-', u'+', u'.', u'e', u'E',
                                    u' ', u'\t', u'\n', u'%', u'm', u'd', u's', u'\0', u'\u00E4', char16_t(0xD83D)};
  for (int i = 0; i < 20000; ++i) {
    QString text;
    for (int n = Pick(rng, 0, 30); n > 0; --n) text += QChar(kChars[Pick(rng, 0, int(std::size(kChars)) - 1)]);
    if (Chance(rng, 2)) text += QString(Pick(rng, 100, 2000), '9');
    const char* pattern = kPatterns[Pick(rng, 0, int(std::size(kPatterns)) - 1)];
    // Each slot gets a random kind with a target of that kind; a slot whose
    // kind is not the pattern's conversion ends the scan there.
    unsigned hex[6] = {};
    float floats[6] = {};
    int ints[6] = {};
    QString words[6];
    int limits[6];
    ScanField fields[6];
    for (int k = 0; k < 6; ++k) {
      limits[k] = Pick(rng, -1, 4);
      switch (Pick(rng, 0, 3)) {
        case 0: fields[k] = {ScanField::Hex, &hex[k]}; break;
        case 1: fields[k] = {ScanField::Float, &floats[k]}; break;
        case 2: fields[k] = {ScanField::Int, &ints[k]}; break;
        default: fields[k] = {ScanField::Word, &words[k], limits[k]}; break;
      }
      if (Chance(rng, 10)) fields[k].target = nullptr;
    }
    const int fieldCount = Pick(rng, 0, 6);
    const int n = CScanFields(text, pattern, fields, fieldCount);
    ASSERT_GE(n, -1);
    ASSERT_LE(n, fieldCount);
    for (int k = 0; k < 6; ++k) {
      if (limits[k] >= 0) ASSERT_LE(words[k].size(), limits[k]);
      ASSERT_FALSE(std::isnan(floats[k]));
    }
    float any = 0;
    ScanFloat(text, &any);
    ASSERT_FALSE(std::isnan(any));
  }
  for (int i = 0; i < 5000; ++i) {
    const unsigned u[4] = {PickU(rng), PickU(rng) >> Pick(rng, 0, 31), PickU(rng) & 0xFF, PickU(rng)};
    unsigned back[4] = {};
    ScanField four[4] = {{ScanField::Hex, &back[0]}, {ScanField::Hex, &back[1]}, {ScanField::Hex, &back[2]},
                         {ScanField::Hex, &back[3]}};
    const QString line = CFormat(Chance(rng, 50) ? "d %x %x %x %x" : "d %04X  %X\t%x %08x", u[0], u[1], u[2], u[3]);
    ASSERT_EQ(CScanFields(line, "d %x %x %x %x", four, 4), 4) << line.toStdString();
    for (int k = 0; k < 4; ++k) ASSERT_EQ(back[k], u[k]) << line.toStdString();

    const int number = static_cast<int>(PickU(rng));
    int readInt = 0;
    ScanField intField{ScanField::Int, &readInt};
    ASSERT_EQ(CScanFields(CFormat("%d", number), "%d", &intField, 1), 1);
    ASSERT_EQ(readInt, number);

    // Any float printed with enough digits reads back as the same float.
    float value = 0;
    do {
      const unsigned bits = PickU(rng);
      std::memcpy(&value, &bits, sizeof value);
    } while (!std::isfinite(value));
    float readFloat = 0;
    const QString printed = CFormat(Chance(rng, 50) ? "%.9g" : "%.9e", static_cast<double>(value));
    ASSERT_TRUE(ScanFloat(printed, &readFloat)) << printed.toStdString();
    ASSERT_EQ(readFloat, value) << printed.toStdString();

    // Wide and long formats take the slow path and are complete.
    const int width = Pick(rng, 0, 600);
    ASSERT_EQ(CFormat("%*.3f", width, static_cast<double>(Pick(rng, 0, 9))).size(),
              std::max(width, 5));
  }

  // Code page: every byte string comes back byte for byte; text comes back when
  // it can be stored, and every character that cannot is counted once.
  for (int i = 0; i < 5000; ++i) {
    const QByteArray bytes = RandomBytes(rng, 64);
    const QString text = Cp1252ToUnicode(bytes);
    ASSERT_EQ(text.size(), bytes.size());
    ASSERT_TRUE(IsCp1252Representable(text));
    int lost = -1;
    ASSERT_EQ(UnicodeToCp1252(text, &lost), bytes);
    ASSERT_EQ(lost, 0);

    QString random;
    for (int n = Pick(rng, 0, 40); n > 0; --n) {
      switch (Pick(rng, 0, 9)) {
        case 0: random += QString::fromUtf8("\xF0\x9F\x98\x80"); break;
        case 1: random += QChar(static_cast<char16_t>(Pick(rng, 0xD800, 0xDFFF))); break;  // a lone surrogate, or half a pair
        default: random += QChar(static_cast<char16_t>(Pick(rng, 0, Chance(rng, 50) ? 0x17F : 0x2200))); break;
      }
    }
    // Counted by characters (a lone surrogate is one character, a pair too).
    const QList<uint> characters = random.toUcs4();
    int unstorable = 0;
    for (uint c : characters) {
      unsigned char b = 0;
      if (c > 0xFFFF || !Cp1252::FromUnicode(QChar(static_cast<char16_t>(c)), &b)) ++unstorable;
    }
    int missing = -1;
    const QByteArray encoded = UnicodeToCp1252(random, &missing);
    ASSERT_EQ(missing == 0, IsCp1252Representable(random));
    ASSERT_EQ(missing, unstorable);
    ASSERT_EQ(encoded.size(), characters.size());
    if (missing == 0) ASSERT_EQ(Cp1252ToUnicode(encoded), random);
    ASSERT_EQ(encoded.count('?') - random.count('?'), missing);
  }
}
