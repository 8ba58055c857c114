// The data record file: exact bytes, round trip, files from elsewhere, the
// dialogs and every way a save or load can go wrong.
#include <gtest/gtest.h>

#include <cerrno>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include "core/fileio.h"
#include "core/profile.h"
#include "platform/seams.h"
#include "core/userfolders.h"
#include "report/TFormular.h"

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

struct MessageLog {
  QList<MessageBoxRequest> boxes;
  MessageLog() {
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) {
      boxes << r;
      return Win::IDOK;
    });
  }
};

class FormularRecord : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  TFormular form{nullptr};
  MessageLog messages;

  void SetUp() override { form.SetupWindow(); }
  QString Path(const QString& name = "bericht.ini") const { return dir.filePath(name); }

  // A report as Kopieren leaves it for class I under DIN VDE 0701-0702.
  void Fill() {
    const char* texts[31] = {
        "Elektro Müller GmbH", "Hauptstraße 5", "12345 Köln", "0221 123456", "",
        "Frau Özdemir", "A-2026-17", "Prüfdienst Weiß", "", "50667 Köln", "", "", "Herr Groß",
        "Bohrmaschine", "Hersteller & Söhne", "SN 0815/4711", "Werkstatt 2", "ID-42", "12 Monate",
        "I", "1,2 kW", "ja", "QK236 V1.22", "99887", "12.2027", "07.12.2026", "08.12.2026",
        "Automatisch", "Gehäuse = ok; Stecker \"neu\"", "Köln, 07.12.2026, Frau Özdemir",
        " Herr Groß "};
    for (int i = 0; i < 31; ++i) form.SetFieldText(i, QString::fromUtf8(texts[i]));
    form.VdePruefgrundlage = 4;
    form.VdeKlasse = 1;
    form.MessText = {"  0.120", "Overflow", "  0.25", "??", "??", "??", "??", "??"};
    form.GrenzText = {" 0.30", " 1.00", " 3.50", " 3.50", "??", "??", "??", "??"};
    form.RowActive = {1, 1, 1, 1, 0, 0, 0, 0};
    form.SyncOkBoxes();
    form.OkBoxes[0]->setChecked(true);
    form.OkBoxes[1]->setChecked(true);
    form.OkBoxes[2]->setChecked(true);
    form.OkBoxes[5]->setChecked(true);  // checked but its row is not part of the report
    form.SichtpruefungBox->setChecked(true);
  }
};

const QByteArray kGolden =
    "[TEXT_EDIT_SETTINGS]\r\n"
    "VDEPruefgrundlage=4\r\n"
    "VDEKlasse=1\r\n"
    "NumOfEditFields=31\r\n"
    "Auftraggeber=Elektro M\xfcller GmbH\r\n"
    "AGAnschrift=Hauptstra\xdf" "e 5\r\n"
    "AGPLZ/Stadt=12345 K\xf6ln\r\n"
    "AGTel=0221 123456\r\n"
    "AGFax=\r\n"
    "AGKontaktperson=Frau \xd6zdemir\r\n"
    "Auftragsnummer=A-2026-17\r\n"
    "Auftragnehmer=Pr\xfc" "fdienst Wei\xdf\r\n"
    "ANAnschrift=\r\n"
    "ANPLZ/Stadt=50667 K\xf6ln\r\n"
    "ANTel=\r\n"
    "ANFax=\r\n"
    "ANKontaktperson=Herr Gro\xdf\r\n"
    "Geraet/Art=Bohrmaschine\r\n"
    "Hersteller=Hersteller & S\xf6hne\r\n"
    "Seriennummer=SN 0815/4711\r\n"
    "Standort=Werkstatt 2\r\n"
    "Identnummer=ID-42\r\n"
    "Pruefintervall=12 Monate\r\n"
    "Schutzklasse=I\r\n"
    "Leistung=1,2 kW\r\n"
    "Schutzleiter=ja\r\n"
    "Messgeraet=QK236 V1.22\r\n"
    "SeriennummerMess=99887\r\n"
    "NaechsteKalibrierung=12.2027\r\n"
    "Pruefungam=07.12.2026\r\n"
    "Druckam=08.12.2026\r\n"
    "Auswertung=Automatisch\r\n"
    "Bemerkung=Geh\xe4use = ok; Stecker \"neu\"\r\n"
    "VerantwortlicherUnternehmer=K\xf6ln, 07.12.2026, Frau \xd6zdemir\r\n"
    "Pruefer=\" Herr Gro\xdf \"\r\n"  // outer blanks would be trimmed by any reader
    "MESS_RPE=\"  0.120\"\r\n"
    "MESS_RISO=Overflow\r\n"
    "MESS_IABL=\"  0.25\"\r\n"
    "MESS_IEA=??\r\n"
    "MESS_IB=??\r\n"
    "MESS_UB=??\r\n"
    "MESS_TA=??\r\n"
    "MESS_IA=??\r\n"
    "GRENZ_RPE=\" 0.30\"\r\n"
    "GRENZ_RISO=\" 1.00\"\r\n"
    "GRENZ_IABL=\" 3.50\"\r\n"
    "GRENZ_IEA=\" 3.50\"\r\n"
    "GRENZ_IB=??\r\n"
    "GRENZ_UB=??\r\n"
    "GRENZ_TA=??\r\n"
    "GRENZ_IA=??\r\n"
    "GRENZ_RPE_OK=1\r\n"
    "GRENZ_RISO_OK=1\r\n"
    "GRENZ_IABL_OK=1\r\n"
    "GRENZ_IEA_OK=0\r\n"
    "GRENZ_IB_OK=0\r\n"
    "GRENZ_UB_OK=0\r\n"
    "GRENZ_TA_OK=0\r\n"
    "GRENZ_IA_OK=0\r\n"
    "Sichtpruefung=1\r\n"
    "Funktionspruefung=0\r\n"
    "NaechstePruefung=12/2027\r\n";  // 07.12.2026 and 12 Monate

TEST_F(FormularRecord, SavesTheGoldenFile) {
  Fill();
  ASSERT_TRUE(form.SaveRecord(Path()));
  const QByteArray bytes = ReadAll(Path());
  EXPECT_EQ(bytes, kGolden);
  EXPECT_TRUE(messages.boxes.isEmpty());
  // Saving again into the same file changes nothing.
  ASSERT_TRUE(form.SaveRecord(Path()));
  EXPECT_EQ(ReadAll(Path()), kGolden);
}

// A row's result is kept by the row's data: the same file whether or not its
// box was ever on show (the form may be saved before it was painted).
TEST_F(FormularRecord, ARowsResultIsSavedByItsRowNotByItsBoxOnShow) {
  Fill();
  for (QCheckBox* box : form.OkBoxes) box->hide();
  ASSERT_TRUE(form.SaveRecord(Path()));
  EXPECT_EQ(ReadAll(Path()), kGolden);
  EXPECT_EQ(form.GesamtOk(), 0);  // row 3 belongs to the report and is not checked
}

TEST_F(FormularRecord, RoundTripGivesBackTheReport) {
  Fill();
  form.SetFieldText(28, QString(100, QChar(0xe4)));  // a full remark, all umlauts
  form.SetFieldText(29, QString(150, 'z'));          // a composed line beyond the typing limit
  ASSERT_TRUE(form.SaveRecord(Path()));

  TFormular other(nullptr);
  other.SetupWindow();
  ASSERT_TRUE(other.LoadRecord(Path()));
  for (int i = 0; i < 31; ++i) EXPECT_EQ(other.FieldText(i), form.FieldText(i)) << i;
  EXPECT_EQ(other.MessText, form.MessText);
  EXPECT_EQ(other.GrenzText, form.GrenzText);
  EXPECT_EQ(other.VdePruefgrundlage, 4);
  EXPECT_EQ(other.VdeKlasse, 1);
  EXPECT_EQ(other.RowActive, (std::array<int, 8>{1, 1, 1, 1, 0, 0, 0, 0}));
  for (int r = 0; r < 8; ++r) {
    EXPECT_EQ(other.OkBoxes[r]->isChecked(), r <= 2) << r;  // row 5 was hidden: comes back unchecked
    EXPECT_EQ(other.OkBoxShown(r), r <= 3) << r;
  }
  EXPECT_TRUE(other.SichtpruefungBox->isChecked());
  EXPECT_FALSE(other.FunktionspruefungBox->isChecked());
}

TEST_F(FormularRecord, LoadsAFileWrittenByHand) {
  WriteAll(Path(),
           "[Vorher]\r\n"
           "Auftraggeber=falscher Abschnitt\r\n"
           "\r\n"
           "[text_edit_settings]\r\n"
           "vdepruefgrundlage = 5\r\n"
           "VDEKLASSE= 2 \r\n"
           "AUFTRAGGEBER = \"Elektro M\xfcller\" \r\n"
           "Hersteller='ACME'\r\n"
           "Standort=Halle 3 ; kein Kommentar\r\n"
           "Bemerkung=M\xc3\xa4rz\n"   // UTF-8 bytes: read as the cp1252 characters they are
           "mess_riso=Overflow\r\n"
           "MESS_IABL=0,45\r\n"          // a decimal comma: reads the 0 and stops
           "MESS_IB= 1.5 mA\r\n"         // a unit after the number
           "MESS_UB=Overflow\r\n"
           "MESS_TA=overflow\r\n"        // not the marker: case matters
           "GRENZ_IB=2\r\n"
           "GRENZ_RISO_OK=1\r\n"
           "GRENZ_IB_OK=1 ja\r\n"
           "GRENZ_UB_OK=ja\r\n"
           "Sichtpruefung=1\r\n"
           "Funktionspruefung=2\r\n"
           "[Nachher]\r\n"
           "Pruefer=auch falsch\r\n");
  form.SetFieldText(0, "vorher");
  ASSERT_TRUE(form.LoadRecord(Path()));
  EXPECT_EQ(form.VdePruefgrundlage, 5);
  EXPECT_EQ(form.VdeKlasse, 2);
  EXPECT_EQ(form.FieldText(0), QString::fromUtf8("Elektro Müller"));
  EXPECT_EQ(form.FieldText(14), "ACME");
  EXPECT_EQ(form.FieldText(16), "Halle 3 ; kein Kommentar");
  EXPECT_EQ(form.FieldText(28), QString::fromUtf8("MÃ¤rz"));
  EXPECT_EQ(form.FieldText(27), "");  // the stored text replaces "Automatisch"
  EXPECT_EQ(form.FieldText(30), "");
  EXPECT_EQ(form.MessText[0], "");
  EXPECT_EQ(form.MessText[1], "Overflow");
  EXPECT_EQ(form.MessText[4], "1.5 mA");
  EXPECT_EQ(form.GrenzText[4], "2");
  // Rows 0..3 follow the table (class II under DIN VDE 0751: no RPE), rows 4..7 their values.
  EXPECT_EQ(form.RowActive, (std::array<int, 8>{0, 1, 1, 1, 1, 1, 0, 0}));
  EXPECT_TRUE(form.OkBoxes[1]->isChecked());
  EXPECT_TRUE(form.OkBoxes[4]->isChecked());
  EXPECT_FALSE(form.OkBoxes[5]->isChecked());
  EXPECT_TRUE(form.SichtpruefungBox->isChecked());
  EXPECT_FALSE(form.FunktionspruefungBox->isChecked());  // 2 is not a checked state
  EXPECT_TRUE(form.OkBoxes[0]->isHidden());
  EXPECT_FALSE(form.OkBoxes[4]->isHidden());
  EXPECT_TRUE(messages.boxes.isEmpty());
}

TEST_F(FormularRecord, RowsFollowTheStoredStandardAndClass) {
  struct Case {
    const char* head;
    std::array<int, 8> active;
  } cases[] = {
      {"VDEPruefgrundlage=4\r\nVDEKlasse=3\r\n", {0, 1, 0, 0, 1, 0, 0, 0}},
      {"VDEPruefgrundlage=1\r\nVDEKlasse=1\r\n", {1, 1, 1, 1, 1, 0, 0, 0}},
      {"VDEPruefgrundlage=4\r\nVDEKlasse=0\r\n", {0, 0, 0, 0, 1, 0, 0, 0}},
      {"VDEPruefgrundlage=4\r\n", {0, 0, 0, 0, 1, 0, 0, 0}},                   // class missing
      {"VDEPruefgrundlage=0\r\nVDEKlasse=1\r\n", {0, 0, 0, 0, 1, 0, 0, 0}},
      {"VDEPruefgrundlage=9\r\nVDEKlasse=1\r\n", {0, 0, 0, 0, 1, 0, 0, 0}},    // no such standard
      {"VDEPruefgrundlage=-3\r\nVDEKlasse=77\r\n", {0, 0, 0, 0, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    WriteAll(Path(), QByteArray("[TEXT_EDIT_SETTINGS]\r\n") + c.head +
                         "MESS_RPE=0.1\r\nMESS_RISO=x\r\nMESS_IB=Overflow\r\nMESS_UB=??\r\n");
    ASSERT_TRUE(form.LoadRecord(Path()));
    EXPECT_EQ(form.RowActive, c.active) << c.head;
  }
}

// Loading a file that holds no data record (another program's INI file, a
// text file, or a file that is gone) would empty the form: it is refused.
TEST_F(FormularRecord, AFileWithoutADataRecordIsRefusedAndTheFormStays) {
  WriteAll(Path("andere.ini"), "[ANDERES]\r\nAuftraggeber=x\r\n");
  WriteAll(Path("notiz.txt"), "Einkaufsliste\r\nMilch\r\n");
  const struct {
    QString path;
    const char* says;
  } cases[] = {{Path("andere.ini"), "enthält keinen Datensatz"},
               {Path("notiz.txt"), "enthält keinen Datensatz"},
               {Path("gibt-es-nicht.ini"), "ist nicht vorhanden"}};
  for (const auto& c : cases) {
    Fill();
    messages.boxes.clear();
    EXPECT_FALSE(form.LoadRecord(c.path));
    EXPECT_EQ(form.FieldText(0), QString::fromUtf8("Elektro Müller GmbH"));
    EXPECT_EQ(form.VdePruefgrundlage, 4);
    EXPECT_EQ(form.RowActive[0], 1);
    ASSERT_EQ(messages.boxes.size(), 1);
    EXPECT_EQ(messages.boxes[0].caption, "Datensatz laden");
    EXPECT_TRUE(messages.boxes[0].text.contains(QDir::toNativeSeparators(c.path))) << messages.boxes[0].text.toStdString();
    EXPECT_TRUE(messages.boxes[0].text.contains(QString::fromUtf8(c.says)));
  }
  // The section without keys still loads, with the defaults.
  WriteAll(Path("leer.ini"), "[text_edit_settings]\r\n");
  Fill();
  ASSERT_TRUE(form.LoadRecord(Path("leer.ini")));
  for (int i = 0; i < 31; ++i) EXPECT_EQ(form.FieldText(i), "") << i;
  EXPECT_EQ(form.VdePruefgrundlage, 0);
  EXPECT_FALSE(form.SichtpruefungBox->isChecked());
}

TEST_F(FormularRecord, UnreadableFileLeavesTheFormAlone) {
  Fill();
  EXPECT_FALSE(form.LoadRecord(dir.path()));  // a folder cannot be read as a file
  EXPECT_EQ(form.FieldText(0), QString::fromUtf8("Elektro Müller GmbH"));
  EXPECT_EQ(form.VdePruefgrundlage, 4);
  EXPECT_EQ(form.RowActive[0], 1);
  ASSERT_EQ(messages.boxes.size(), 1);
  EXPECT_EQ(messages.boxes[0].caption, "Datensatz laden");
  EXPECT_TRUE(messages.boxes[0].text.startsWith("Der Datensatz konnte nicht gelesen werden."));
}

TEST_F(FormularRecord, FailedSaveTellsTheUserAndKeepsTheOldFile) {
  WriteAll(Path(), "[TEXT_EDIT_SETTINGS]\r\nAuftraggeber=alt\r\n");
  Fill();
  FileIO::SetSaveFault([](FileIO::SaveStep step) { return step == FileIO::SaveStep::Write ? ENOSPC : 0; });
  EXPECT_FALSE(form.SaveRecord(Path()));
  FileIO::SetSaveFault(nullptr);
  EXPECT_EQ(ReadAll(Path()), QByteArray("[TEXT_EDIT_SETTINGS]\r\nAuftraggeber=alt\r\n"));
  ASSERT_EQ(messages.boxes.size(), 1);
  EXPECT_EQ(messages.boxes[0].caption, "Datensatz speichern");
  EXPECT_TRUE(messages.boxes[0].text.startsWith("Der Datensatz konnte nicht gespeichert werden."));
  EXPECT_TRUE(messages.boxes[0].text.contains(Path()));
  EXPECT_EQ(messages.boxes[0].type & 0xF0, unsigned(Win::MB_ICONHAND));
  EXPECT_TRUE(messages.boxes[0].text.contains(QString::fromUtf8("Auf dem Datenträger ist kein Platz mehr.")));

  EXPECT_FALSE(form.SaveRecord(dir.filePath("kein/ordner/bericht.ini")));
  EXPECT_FALSE(form.SaveRecord(dir.path()));
  EXPECT_EQ(messages.boxes.size(), 3);
  EXPECT_TRUE(QFileInfo(dir.path()).isDir());
}

TEST_F(FormularRecord, RefusesToSaveCharactersTheFileCannotHold) {
  WriteAll(Path(), "[TEXT_EDIT_SETTINGS]\r\nAuftraggeber=alt\r\n");
  Fill();
  form.SetFieldText(22, QString::fromUtf8("Gerät Ω-3"));  // e.g. a device text
  EXPECT_FALSE(form.SaveRecord(Path()));
  EXPECT_EQ(ReadAll(Path()), QByteArray("[TEXT_EDIT_SETTINGS]\r\nAuftraggeber=alt\r\n"));
  ASSERT_EQ(messages.boxes.size(), 1);
  EXPECT_TRUE(messages.boxes[0].text.contains(QString::fromUtf8("\u201EMessgerät:\u201C")));
}

TEST_F(FormularRecord, SavingKeepsOtherKeysAndSections) {
  WriteAll(Path(),
           "[Kopf]\r\nFirma=X\r\n"
           "[TEXT_EDIT_SETTINGS]\r\nEigenerSchluessel=bleibt\r\nauftraggeber=alt\r\n"
           "[Fuss]\r\nEnde=1\r\n");
  Fill();
  ASSERT_TRUE(form.SaveRecord(Path()));
  const QByteArray bytes = ReadAll(Path());
  EXPECT_TRUE(bytes.startsWith("[Kopf]\r\nFirma=X\r\n[TEXT_EDIT_SETTINGS]\r\nEigenerSchluessel=bleibt\r\n"
                               "Auftraggeber=Elektro M\xfcller GmbH\r\nVDEPruefgrundlage=4\r\n"));
  EXPECT_TRUE(bytes.endsWith("Funktionspruefung=0\r\nNaechstePruefung=12/2027\r\n[Fuss]\r\nEnde=1\r\n"));
}

TEST_F(FormularRecord, SaveDialogAndTheIniRule) {
  Fill();
  const QString firstFolder = UserFolders::StartFolder();
  QList<FileDialogRequest> requests;
  QString answer;
  Seams::SetFileDialogResponder([&](const FileDialogRequest& r, QString* path) {
    requests << r;
    if (answer.isEmpty()) return false;
    *path = answer;
    return true;
  });
  QDir(dir.path()).mkpath("akten.ini.d");
  struct Case {
    QString chosen, stored;
  } cases[] = {
      {Path("bericht"), Path("bericht.ini")},
      {Path("bericht.INI"), Path("bericht.INI.ini")},
      {Path("akten.ini.d/bericht"), Path("akten.ini.d/bericht")},
      {Path("b.ini"), Path("b.ini")},
  };
  for (const Case& c : cases) {
    answer = c.chosen;
    form.HandleCommand(20011);
    EXPECT_EQ(ReadAll(c.stored), kGolden) << c.stored.toStdString();
  }
  ASSERT_FALSE(requests.isEmpty());
  const FileDialogRequest& r = requests[0];
  EXPECT_TRUE(r.save);
  EXPECT_EQ(r.title, "Datensatz speichern unter");
  EXPECT_EQ(r.filter, "Ini-Files (*.ini)|*.ini|All Files (*.*)|*.*");
  // The first dialog starts where the user was last (else the documents
  // folder); the next one in the folder chosen in it.
  EXPECT_EQ(r.initialName, firstFolder);
  ASSERT_GE(requests.size(), 2);
  EXPECT_EQ(requests[1].initialName, dir.path());
  EXPECT_TRUE(r.hideReadOnly && r.overwritePrompt && r.noReadOnlyReturn);

  // Cancelling writes nothing.
  answer.clear();
  const int files = QDir(dir.path()).entryList(QDir::Files).size();
  form.CmDatensatzSpeichern();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), files);
}

TEST_F(FormularRecord, AppendedExtensionDoesNotReplaceAReportUnasked) {
  const QByteArray old = "[TEXT_EDIT_SETTINGS]\r\nAuftraggeber=alter Bericht\r\n";
  WriteAll(Path("bericht.ini"), old);
  Fill();
  QString answer;
  Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString* path) {
    *path = answer;
    return true;
  });
  QList<MessageBoxRequest> questions;
  int reply = Win::IDNO;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) {
    questions << r;
    return reply;
  });

  answer = Path("bericht");  // the dialog saw no file of this name, so it asked nothing
  form.CmDatensatzSpeichern();
  ASSERT_EQ(questions.size(), 1);
  EXPECT_EQ(questions[0].caption, "Datensatz speichern unter");
  EXPECT_EQ(questions[0].type, unsigned(Win::MB_YESNO | Win::MB_ICONEXCLAMATION));
  EXPECT_TRUE(questions[0].text.contains(QDir::toNativeSeparators(Path("bericht.ini"))));
  EXPECT_TRUE(questions[0].text.contains(QString::fromUtf8("Möchten Sie sie ersetzen?")));
  EXPECT_EQ(ReadAll(Path("bericht.ini")), old);

  reply = Win::IDYES;
  form.CmDatensatzSpeichern();
  EXPECT_TRUE(ReadAll(Path("bericht.ini")).startsWith("[TEXT_EDIT_SETTINGS]\r\nAuftraggeber=Elektro M\xfcller GmbH\r\n"));

  // A name the dialog itself checked, or a new file, needs no second question.
  answer = Path("bericht.ini");
  form.CmDatensatzSpeichern();
  answer = Path("neu");
  form.CmDatensatzSpeichern();
  EXPECT_EQ(questions.size(), 2);
  EXPECT_EQ(ReadAll(Path("neu.ini")), kGolden);
}

TEST_F(FormularRecord, LoadDialogUsesThePathAsChosen) {
  WriteAll(Path("bericht"), "[TEXT_EDIT_SETTINGS]\r\nAuftraggeber=ohne Endung\r\n");
  QList<FileDialogRequest> requests;
  bool confirm = true;
  Seams::SetFileDialogResponder([&](const FileDialogRequest& r, QString* path) {
    requests << r;
    *path = Path("bericht");
    return confirm;
  });
  form.HandleCommand(20012);
  EXPECT_EQ(form.FieldText(0), "ohne Endung");
  ASSERT_EQ(requests.size(), 1);
  EXPECT_FALSE(requests[0].save);
  EXPECT_EQ(requests[0].title, "Datensatz laden");
  EXPECT_EQ(requests[0].filter, "Ini-Files (*.ini)|*.ini|All Files (*.*)|*.*");
  EXPECT_TRUE(requests[0].hideReadOnly && requests[0].overwritePrompt && requests[0].noReadOnlyReturn);

  confirm = false;
  form.SetFieldText(0, "bleibt");
  form.CmDatensatzLaden();
  EXPECT_EQ(form.FieldText(0), "bleibt");
}

}  // namespace
