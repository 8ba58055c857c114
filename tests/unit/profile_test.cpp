// The INI profile layer: reading with Windows profile rules, writing in place.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/fileio.h"
#include "core/profile.h"

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

// Makes one step of every save fail with an error number until it goes out of scope.
struct SaveFaultScope {
  SaveFaultScope(FileIO::SaveStep failing, int error) {
    FileIO::SetSaveFault([=](FileIO::SaveStep step) { return step == failing ? error : 0; });
  }
  ~SaveFaultScope() { FileIO::SetSaveFault(nullptr); }
};

TEST_F(ProfileTest, AFailureAtAnyStepOfASaveKeepsTheOldFileAndSaysWhyInGerman) {
  const QByteArray old = "[S]\r\nK=old\r\n";
  const struct {
    FileIO::SaveStep step;
    int error;
    const char* reason;
  } cases[] = {
      {FileIO::SaveStep::Write, ENOSPC, "kein Platz"},
      {FileIO::SaveStep::Sync, EIO, "Ein-/Ausgabefehler"},
      {FileIO::SaveStep::Rename, EROFS, "schreibgeschützt"},
  };
  for (const auto& c : cases) {
    WriteAll(Path(), old);
    {
      SaveFaultScope fault(c.step, c.error);
      TProfile p("S", Path());
      ASSERT_TRUE(p.WriteString("K", "new"));
      EXPECT_FALSE(p.Flush());
      EXPECT_TRUE(p.ErrorText().contains(QString::fromUtf8(c.reason))) << p.ErrorText().toStdString();
    }
    EXPECT_EQ(ReadAll(Path()), old);
    // no temporary file is left beside it
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"p.ini"});
  }

  TProfile nowhere("S", dir.filePath("no/such/folder/p.ini"));
  ASSERT_TRUE(nowhere.WriteString("K", "v"));
  EXPECT_FALSE(nowhere.Flush());
  EXPECT_EQ(nowhere.ErrorText(), QString::fromUtf8("Die Datei oder der Ordner ist nicht vorhanden."));
}

TEST_F(ProfileTest, ASaveKeepsTheFileModeAndWritesThroughALink) {
  WriteAll(Path("real.ini"), "[S]\r\nK=old\r\n");
  ASSERT_EQ(::chmod(QFile::encodeName(Path("real.ini")).constData(), 0640), 0);
  ASSERT_TRUE(QFile::link(Path("real.ini"), Path("link.ini")));
  {
    TProfile p("S", Path("link.ini"));
    ASSERT_TRUE(p.WriteString("K", "new"));
    ASSERT_TRUE(p.Flush());
  }
  EXPECT_TRUE(QFileInfo(Path("link.ini")).isSymLink());
  EXPECT_EQ(ReadAll(Path("real.ini")), QByteArray("[S]\r\nK=new\r\n"));
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(Path("real.ini")).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ProfileTest, AFileThatWouldGrowPastWhatAReadAcceptsIsNotWritten) {
  // Nearly the limit already: one more key takes it over.
  QByteArray big = "[S]\r\nK=old\r\n[Filler]\r\n";
  big += QByteArray(TProfile::kMaxFileSize - big.size() - 4, 'x');
  WriteAll(Path(), big);
  {
    TProfile p("S", Path());
    ASSERT_EQ(p.State(), TProfile::FileState::Ok);
    ASSERT_TRUE(p.WriteString("Longer", "a value of some length"));
    EXPECT_FALSE(p.Flush());
    EXPECT_TRUE(p.ErrorText().contains("MiB"));
  }
  EXPECT_EQ(ReadAll(Path()), big);
  // What is written stays readable.
  {
    TProfile p("S", Path());
    ASSERT_TRUE(p.WriteString("K", "neu"));
    ASSERT_TRUE(p.Flush());
  }
  EXPECT_EQ(TProfile("S", Path()).GetString("K", 100), "neu");
}

TEST_F(ProfileTest, ASaveOnAReallyFullFileSystemKeepsTheOldFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system to fill needs root";
  QTemporaryDir mountPoint;
  const QByteArray where = QFile::encodeName(mountPoint.path());
  if (::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  struct Unmount {
    QByteArray at;
    ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
  } unmount{where};

  const QString record = mountPoint.filePath("bericht.ini");
  const QByteArray old = "[S]\r\nK=old\r\n";
  WriteAll(record, old);
  {  // fill the rest of the file system
    QFile filler(mountPoint.filePath("filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    for (int i = 0; i < 64 && filler.write(block) == block.size() && filler.flush(); ++i) {
    }
  }
  {
    TProfile p("S", record);
    ASSERT_TRUE(p.WriteString("K", QString(3000, 'n')));
    ASSERT_TRUE(p.WriteString("L", QString(3000, 'n')));
    EXPECT_FALSE(p.Flush());
    EXPECT_EQ(p.ErrorText(), QString::fromUtf8("Auf dem Datenträger ist kein Platz mehr."));
  }
  EXPECT_EQ(ReadAll(record), old);
  EXPECT_EQ(QDir(mountPoint.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"bericht.ini", "filler"}));
}

}  // namespace
