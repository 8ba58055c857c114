// The INI profile layer: reading with Windows profile rules, writing in place.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "platform/profile.h"

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

class ProfileTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString Path(const char* name = "p.ini") const { return dir.filePath(name); }
};

// A file the way people and Windows programs write them.
const QByteArray kHandWritten =
    "; exported by hand\r\n"
    "stray=before any section\r\n"
    "[Other]\r\n"
    "Name=other section\r\n"
    "\r\n"
    "[  text_edit_settings ]\r\n"
    "  Auftraggeber   =   Elektro M\xfcller  \r\n"
    "HERSTELLER=\"  quoted with blanks  \"\r\n"
    "Single='single'\r\n"
    "Mixed=\"half'\r\n"
    "just a line without equals sign\r\n"
    "Auftraggeber=second occurrence loses\r\n"
    "Empty=\r\n"
    "Utf8=M\xc3\xa4rz\n"
    "[TEXT_EDIT_SETTINGS]\r\n"
    "Late=in a second section of the same name\r\n"
    "[After]\r\n"
    "Auftraggeber=wrong section\r\n";

TEST_F(ProfileTest, ReadsWithWindowsRules) {
  WriteAll(Path(), kHandWritten);
  TProfile p("TEXT_EDIT_SETTINGS", Path());
  EXPECT_EQ(p.State(), TProfile::FileState::Ok);
  struct Case {
    const char* key;
    QString expected;
  } cases[] = {
      {"auftraggeber", QString::fromUtf8("Elektro Müller")},  // case, trimming, cp1252, first wins
      {"Hersteller", "  quoted with blanks  "},                // quotes keep the inner blanks
      {"single", "single"},
      {"Mixed", "\"half'"},                                    // quotes must match to be removed
      {"just a line without equals sign", "dflt"},             // no "=": no key
      {"Empty", ""},
      {"Utf8", QString::fromUtf8("MÃ¤rz")},                    // bytes are cp1252, not UTF-8
      {"Late", "dflt"},                                        // only the first matching section counts
      {"Name", "dflt"},
      {"stray", "dflt"},
  };
  for (const Case& c : cases) EXPECT_EQ(p.GetString(c.key, 100, "dflt"), c.expected) << c.key;
}

TEST_F(ProfileTest, GetStringCutsToBufferSizeMinusOne) {
  WriteAll(Path(), "[S]\r\nK=0123456789\r\n");
  TProfile p("S", Path());
  EXPECT_EQ(p.GetString("K", 5), "0123");
  EXPECT_EQ(p.GetString("K", 11), "0123456789");
  EXPECT_EQ(p.GetString("K", 1), "");
  EXPECT_EQ(p.GetString("Missing", 4, "default"), "def");
}

TEST_F(ProfileTest, GetIntRules) {
  WriteAll(Path(),
           "[S]\r\n"
           "Plain=42\r\nNeg= -17\r\nPlus=+5\r\nTrail=12abc\r\nWord=abc\r\nEmpty=\r\n"
           "Wrap=4294967297\r\nBig=2147483648\r\nQuoted=\"7\"\r\nBlankSign=- 3\r\n");
  TProfile p("S", Path());
  struct Case {
    const char* key;
    int expected;
  } cases[] = {{"Plain", 42},       {"Neg", -17},  {"Plus", 5},     {"Trail", 12},
               {"Word", 0},         {"Empty", 99}, {"Wrap", 1},     {"Big", INT32_MIN},
               {"Quoted", 7},       {"BlankSign", 0}, {"Missing", 99}};
  for (const Case& c : cases) EXPECT_EQ(p.GetInt(c.key, 99), c.expected) << c.key;
}

TEST_F(ProfileTest, MissingAndUnreadableFiles) {
  TProfile missing("S", Path("none.ini"));
  EXPECT_EQ(missing.State(), TProfile::FileState::Missing);
  EXPECT_EQ(missing.GetString("K", 10, "d"), "d");

  TProfile folder("S", dir.path());
  EXPECT_EQ(folder.State(), TProfile::FileState::Unreadable);
  EXPECT_FALSE(folder.WriteString("K", "v"));
  EXPECT_TRUE(QFileInfo(dir.path()).isDir());

  // A pipe would block the open until someone writes; a device never ends.
  ASSERT_EQ(mkfifo(QFile::encodeName(Path("pipe.ini")).constData(), 0600), 0);
  for (const QString& path : {Path("pipe.ini"), QStringLiteral("/dev/zero")}) {
    TProfile special("S", path);
    EXPECT_EQ(special.State(), TProfile::FileState::Unreadable) << path.toStdString();
    EXPECT_FALSE(special.ErrorText().isEmpty());
    EXPECT_FALSE(special.WriteString("K", "v"));
  }

  WriteAll(Path("huge.ini"), "[S]\r\nK=v\r\n" + QByteArray(4 * 1024 * 1024, 'x'));
  TProfile huge("S", Path("huge.ini"));
  EXPECT_EQ(huge.State(), TProfile::FileState::Unreadable);
  EXPECT_FALSE(huge.WriteString("K", "w"));
}

TEST_F(ProfileTest, WritingKeepsEveryOtherByte) {
  WriteAll(Path(), kHandWritten);
  {
    TProfile p("text_edit_settings", Path());
    ASSERT_TRUE(p.WriteString("AUFTRAGGEBER", QString::fromUtf8("Neu Ä")));
    ASSERT_TRUE(p.WriteString("NewKey", "x"));
    ASSERT_TRUE(p.Flush());
  }
  QByteArray expected = kHandWritten;
  expected.replace("  Auftraggeber   =   Elektro M\xfcller  \r\n", "AUFTRAGGEBER=Neu \xc4\r\n");
  // A new key goes after the section's last line.
  expected.replace("Utf8=M\xc3\xa4rz\n", "Utf8=M\xc3\xa4rz\nNewKey=x\r\n");
  EXPECT_EQ(ReadAll(Path()), expected);
}

TEST_F(ProfileTest, NewKeyGoesBeforeBlankLinesOfItsSection) {
  WriteAll(Path(), "[A]\nx=1\n\n[B]\ny=2");
  {
    TProfile a("a", Path());
    ASSERT_TRUE(a.WriteString("z", "3"));
  }
  {
    TProfile b("B", Path());
    ASSERT_TRUE(b.WriteString("w", "4"));  // the last line has no line end yet
  }
  EXPECT_EQ(ReadAll(Path()), QByteArray("[A]\nx=1\nz=3\r\n\n[B]\ny=2\r\nw=4\r\n"));
}

TEST_F(ProfileTest, NewSectionAndNewFile) {
  {
    TProfile p("NEW", Path());
    ASSERT_TRUE(p.WriteInt("A", -5));
    ASSERT_TRUE(p.WriteString("B", ""));
    ASSERT_TRUE(p.WriteInt("A", 6));  // second write replaces the first
  }
  EXPECT_EQ(ReadAll(Path()), QByteArray("[NEW]\r\nA=6\r\nB=\r\n"));

  WriteAll(Path("x.ini"), "[Old]\r\nk=v");
  {
    TProfile p("NEW", Path("x.ini"));
    ASSERT_TRUE(p.WriteString("A", "1"));
  }
  EXPECT_EQ(ReadAll(Path("x.ini")), QByteArray("[Old]\r\nk=v\r\n[NEW]\r\nA=1\r\n"));
}

TEST_F(ProfileTest, ValuesReadBackAsWritten) {
  const QString values[] = {"  lead and trail  ", "\"quoted\"", "'single'", "\"", "a=b", QString::fromUtf8("€ äöüß")};
  {
    TProfile p("S", Path());
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(p.WriteString(QString("K%1").arg(i), values[i]));
  }
  TProfile p("S", Path());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p.GetString(QString("K%1").arg(i), 100), values[i]) << i;
  EXPECT_TRUE(ReadAll(Path()).contains("K5=\x80 \xe4\xf6\xfc\xdf\r\n"));
}

TEST_F(ProfileTest, RefusesWhatTheFileCannotHold) {
  TProfile p("S", Path());
  EXPECT_FALSE(p.WriteString("K", QString::fromUtf8("Łódź")));
  EXPECT_FALSE(p.WriteString("K", "two\nlines"));
  EXPECT_TRUE(p.Flush());  // nothing was written
  EXPECT_FALSE(QFile::exists(Path()));
}

TEST_F(ProfileTest, FailedSaveKeepsTheOldFile) {
  WriteAll(Path(), "[S]\r\nK=old\r\n");
  TProfile::FailSavesForTests(true);
  {
    TProfile p("S", Path());
    ASSERT_TRUE(p.WriteString("K", "new"));
    EXPECT_FALSE(p.Flush());
    EXPECT_FALSE(p.ErrorText().isEmpty());
  }
  TProfile::FailSavesForTests(false);
  EXPECT_EQ(ReadAll(Path()), QByteArray("[S]\r\nK=old\r\n"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"p.ini"});  // no temporary file left

  TProfile nowhere("S", dir.filePath("no/such/folder/p.ini"));
  ASSERT_TRUE(nowhere.WriteString("K", "v"));
  EXPECT_FALSE(nowhere.Flush());
}

}  // namespace
