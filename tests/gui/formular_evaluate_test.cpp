// Kopieren: values and limits from the device window judged row by row.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QStatusBar>
#include <QPushButton>
#include <QTemporaryDir>

#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"

namespace {

class FormularEvaluate : public ::testing::Test {
 protected:
  TMessgeraet device{nullptr, 1000, 0};
  TFormular form{&device};

  void SetUp() override {
    form.SetupWindow();
    device.VdePruefgrundlage = 4;
    device.VdeKlasse = 1;
    for (int r = 0; r < 4; ++r) device.MeasurementAvailable[r] = 1;
  }
  void Show(int row, const QString& value, const QString& limit) {
    device.ValueStatic[row]->setText(value);
    device.LimitEdit[row]->setText(limit);
  }
};

TEST_F(FormularEvaluate, DirectionOfEachRow) {
  struct Case {
    int row;
    const char* value;
    const char* limit;
    bool ok;
  } cases[] = {
      {0, "0.30", " 0.30", false},  // RPE strictly below
      {0, "0.29", " 0.30", true},
      {0, "Overflow", " 0.30", false},
      {1, "1.0", " 1.00", true},  // RISO at or above
      {1, "0.99", " 1.00", false},
      {1, "Overflow", " 1.00", true},
      {1, "Overflow", "", false},
      {1, "Overflow", "?", false},
      {1, "overflow", " 1.00", false},
      {2, "0.50", "0.50", true},  // currents at or below
      {2, "0.51", "0.50", false},
      {3, "  0.25 mA", " 0.30", true},  // trailing unit letters
      {3, "0,45", " 0.30", true},       // decimal comma: reads 0
      {3, "??", " 3.50", false},
      {3, "Overflow", " 3.50", false},
      {2, "1e-1", " 0.10", true},
      {2, "-0.2", "-0.1", true},
      {2, "0.1", "abc", false},
  };
  for (const Case& c : cases) {
    Show(c.row, c.value, c.limit);
    form.CmKopieren();
    EXPECT_EQ(form.OkBoxes[c.row]->isChecked(), c.ok) << c.row << " " << c.value << " vs " << c.limit;
    EXPECT_EQ(form.MessText[c.row], c.value);
    EXPECT_EQ(form.GrenzText[c.row], c.limit);
  }
}

TEST_F(FormularEvaluate, RowsAndFieldsFromTheDeviceWindow) {
  struct Case {
    int standard, klasse;
    std::array<int, 4> available;
    std::array<int, 8> active;
    const char* schutzklasse;
  } cases[] = {
      {4, 1, {1, 1, 1, 1}, {1, 1, 1, 1, 0, 0, 0, 0}, "I"},
      {4, 2, {1, 1, 1, 1}, {0, 1, 1, 1, 0, 0, 0, 0}, "II"},
      {5, 3, {1, 1, 1, 1}, {0, 1, 0, 0, 0, 0, 0, 0}, "III"},
      {4, 1, {1, 0, 1, 0}, {1, 0, 1, 0, 0, 0, 0, 0}, "I"},  // what the device does not offer
      {1, 1, {1, 1, 1, 1}, {1, 1, 1, 1, 0, 0, 0, 0}, "I"},  // rows 4..7 never from the device
      {4, 0, {1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0, 0}, ""},
      {4, 4, {1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0, 0}, ""},
      {9, 1, {1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0, 0}, "I"},  // no such standard (6..8 are today's): no row, no crash
  };
  device.DeviceText = "QK248 V2.01";
  for (int r = 0; r < 4; ++r) Show(r, "0.01", "5");
  for (const Case& c : cases) {
    device.VdePruefgrundlage = c.standard;
    device.VdeKlasse = c.klasse;
    for (int r = 0; r < 4; ++r) device.MeasurementAvailable[r] = c.available[r];
    form.CmKopieren();
    EXPECT_EQ(form.VdePruefgrundlage, c.standard);
    EXPECT_EQ(form.VdeKlasse, c.klasse);
    EXPECT_EQ(form.RowActive, c.active) << c.standard << "/" << c.klasse;
    for (int r = 0; r < 8; ++r) EXPECT_EQ(form.OkBoxShown(r), c.active[r] == 1);
    EXPECT_EQ(form.FieldText(19), c.schutzklasse);
    EXPECT_EQ(form.FieldText(22), "QK248 V2.01");
  }
}

TEST_F(FormularEvaluate, CopiesAtMost18CharactersAndKeepsTheRest) {
  form.SetFieldText(0, "Kunde");
  form.SichtpruefungBox->setChecked(true);
  form.MessText[5] = "1.0";  // e.g. from a loaded file
  form.RowActive[5] = 1;
  form.OkBoxes[5]->setChecked(true);
  Show(0, QString(25, '1'), "22222222222222222222");
  form.EvCommand(1102, form.KopierenButton, 0);
  EXPECT_EQ(form.MessText[0], QString(18, '1'));
  EXPECT_EQ(form.GrenzText[0], QString(18, '2'));
  EXPECT_EQ(form.FieldText(0), "Kunde");
  EXPECT_TRUE(form.SichtpruefungBox->isChecked());
  // Rows 4..7 leave the report: inactive, unchecked and without a value, so a
  // saved and reloaded report does not bring them back.
  EXPECT_EQ(form.RowActive[5], 0);
  EXPECT_FALSE(form.OkBoxes[5]->isChecked());
  EXPECT_EQ(form.MessText[5], "??");

  QTemporaryDir dir;
  ASSERT_TRUE(form.SaveRecord(dir.filePath("r.ini")));
  TFormular loaded(&device);
  ASSERT_TRUE(loaded.LoadRecord(dir.filePath("r.ini")));
  EXPECT_EQ(loaded.RowActive, form.RowActive);
}

TEST_F(FormularEvaluate, VerdictAfterKopierenAndLaterDeviceChanges) {
  Show(0, "0.12", " 0.30");
  Show(1, "Overflow", " 1.00");
  Show(2, "0.40", " 3.50");
  Show(3, "0.40", " 3.50");
  form.SichtpruefungBox->setChecked(true);
  form.FunktionspruefungBox->setChecked(true);
  form.CmKopieren();
  form.PaintScreen();
  EXPECT_TRUE(form.ReportPassed());

  // The device window changes afterwards: the report keeps what was copied.
  device.VdeKlasse = 2;
  Show(0, "9.99", " 0.30");
  form.PaintScreen();
  EXPECT_TRUE(form.ReportPassed());
  EXPECT_EQ(form.VdeKlasse, 1);
  EXPECT_EQ(form.MessText[0], "0.12");

  form.CmKopieren();  // now RPE is gone (class II) and the rest still passes
  form.PaintScreen();
  EXPECT_TRUE(form.ReportPassed());
  device.MeasurementAvailable[2] = 0;
  Show(3, "3.51", " 3.50");
  form.CmKopieren();
  form.PaintScreen();
  EXPECT_FALSE(form.ReportPassed());
}

}  // namespace

// After Kopieren the status bar tells the month of the next test, or that the
// instrument's calibration had run out on the test date: no box to answer,
// and the report is made all the same. The interval field's tool tip follows
// the two dates as they are typed.
TEST_F(FormularEvaluate, KopierenTellsTheNextTestAndARunOutCalibration) {
  QMainWindow frame;
  TFormular* shown = new TFormular(&device);
  frame.setCentralWidget(shown);
  shown->SetupWindow();
  int boxes = 0;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest&) { return ++boxes, int(Win::IDOK); });
  for (int r = 0; r < 4; ++r) Show(r, "0.10", " 0.30");
  shown->SetFieldText(Layout::kFieldPruefungAm, "12.06.2026");
  shown->SetFieldText(Layout::kFieldPruefintervall, "24 Monate");
  EXPECT_EQ(shown->Edits[Layout::kFieldPruefintervall]->toolTip(),
            QString::fromUtf8("Nächste Prüfung: 06/2028 (Prüfung am + 24 Monate)"));
  shown->SetFieldText(Layout::kFieldNaechsteKalibrierung, "06/2026");
  shown->CmKopieren();
  EXPECT_EQ(frame.statusBar()->currentMessage(), QString::fromUtf8("Kopiert. Nächste Prüfung: 06/2028."));

  shown->SetFieldText(Layout::kFieldNaechsteKalibrierung, "05/2026");
  shown->CmKopieren();
  EXPECT_TRUE(frame.statusBar()->currentMessage().startsWith(
      QString::fromUtf8("Achtung: Die Kalibrierung des Messgeräts war am Prüftag (12.06.2026) abgelaufen")))
      << frame.statusBar()->currentMessage().toStdString();
  EXPECT_EQ(boxes, 0);
  EXPECT_EQ(shown->MessText[0], "0.10");  // Kopieren was done

  shown->SetFieldText(Layout::kFieldPruefintervall, "");
  EXPECT_TRUE(shown->Edits[Layout::kFieldPruefintervall]->toolTip().startsWith(
      QString::fromUtf8("Nächste Prüfung: 06/2027 (Prüfung am + 12 Monate; das Feld nennt keine Monate)")));
  shown->SetFieldText(Layout::kFieldPruefungAm, "");
  EXPECT_TRUE(shown->Edits[Layout::kFieldPruefintervall]->toolTip().contains(QString::fromUtf8("sobald")));
}
