// A working day end to end: records loaded from the simulated tester, one of
// them copied into a report, the report saved, read back by a fresh form (as
// after a restart) and printed to PDF.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPrinter>
#include <QProcess>

#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "report/printing.h"
#include "render/surface.h"
#include "shell/kelvara.h"
#include "tests/sim_link_fixture.h"
#include "tests/testutil.h"

namespace {

class Workday : public SimLink {
 protected:
  void TearDown() override {
    Seams::ResetAll();
    SimLink::TearDown();
  }
};

struct FormReport {
  QStringList fields;
  std::array<QString, kRowCount> mess, grenz;
  std::array<int, kRowCount> active{};
  std::array<bool, kRowCount> ok{};
  bool sicht = false, funktion = false;
  int standard = 0, klasse = 0;
};

FormReport ReportOf(const TFormular& form) {
  FormReport r;
  for (int i = 0; i < TFormular::kNumEdits; ++i) r.fields << form.FieldText(i);
  r.mess = form.MessText;
  r.grenz = form.GrenzText;
  r.active = form.RowActive;
  for (int i = 0; i < kRowCount; ++i) r.ok[i] = form.OkBoxes[i]->isChecked() && form.OkBoxShown(i);
  r.sicht = form.SichtpruefungBox->isChecked();
  r.funktion = form.FunktionspruefungBox->isChecked();
  r.standard = form.VdePruefgrundlage;
  r.klasse = form.VdeKlasse;
  return r;
}

void PaintOnScreen(TFormular& form) {
  QImage image(700, 900, QImage::Format_RGB32);
  QPainter painter(&image);
  QtSurface surface(&painter);
  form.Paint(surface, true, image.rect());
}

}  // namespace

TEST_F(Workday, TesterRecordIntoAReportSavedReloadedAndPrinted) {
  const QString records = RecordFile("1 4:1005 8:20000 10:15000 12:15000\n0 3:1500 7:12000 9:32767 11:250\n");
  StartSim({"--record-file", records, "--fast"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Online"; }, 10000));
  LoadAll();
  ASSERT_EQ(w->RecordCount, 2);

  TFormular form(w.get());
  form.SetupWindow();
  form.resize(form.sizeHint());
  const char* texts[] = {"Muster GmbH", "Hauptstraße 1", "12345 Musterstadt"};
  for (int i = 0; i < 3; ++i) form.SetFieldText(i, QString::fromUtf8(texts[i]));
  form.SetFieldText(9, QString::fromUtf8("54321 Prüfstadt"));
  form.SetFieldText(12, QStringLiteral("Frau Schmidt"));
  form.SetFieldText(13, QStringLiteral("Bohrmaschine"));
  form.SetFieldText(28, QString::fromUtf8("Gehäuse gereinigt; 100 % in Ordnung"));
  form.SichtpruefungBox->setChecked(true);
  form.FunktionspruefungBox->setChecked(true);
  form.EvCommand(TFormular::kKopierenId, form.KopierenButton, 0);  // the "Kopieren" click
  form.CmErzeugenPruefer();

  // The report holds what the device window shows.
  int active = 0;
  for (int r = 0; r < kDeviceRowCount; ++r) {
    EXPECT_EQ(form.MessText[r], w->ValueStatic[r]->text().left(18)) << r;
    EXPECT_EQ(form.GrenzText[r], w->LimitEdit[r]->text().left(18)) << r;
    active += form.RowActive[r];
  }
  EXPECT_GE(active, 3);
  EXPECT_EQ(form.VdePruefgrundlage, w->VdePruefgrundlage);
  EXPECT_EQ(form.FieldText(22), w->DeviceText);
  PaintOnScreen(form);
  const FormReport before = ReportOf(form);

  // Saved under a name without extension: ".ini" is appended.
  const QString base = dir_.path() + "/bericht";
  Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString* path) {
    *path = base;
    return true;
  });
  int messages = 0;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest&) { return ++messages, int(Win::IDOK); });
  form.HandleCommand(TFormular::CmDatensatzSpeichernId);
  ASSERT_TRUE(QFile::exists(base + ".ini"));
  EXPECT_EQ(messages, 0);

  // A fresh program: a new form reads the file back.
  TFormular again(nullptr);
  again.SetupWindow();
  Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString* path) {
    *path = base + ".ini";
    return true;
  });
  again.HandleCommand(TFormular::CmDatensatzLadenId);
  PaintOnScreen(again);
  const FormReport after = ReportOf(again);
  EXPECT_EQ(after.fields, before.fields);
  EXPECT_EQ(after.mess, before.mess);
  EXPECT_EQ(after.grenz, before.grenz);
  EXPECT_EQ(after.active, before.active);
  EXPECT_EQ(after.ok, before.ok);
  EXPECT_EQ(after.sicht, before.sicht);
  EXPECT_EQ(after.funktion, before.funktion);
  EXPECT_EQ(after.standard, before.standard);
  EXPECT_EQ(after.klasse, before.klasse);
  EXPECT_EQ(again.GesamtOk(), form.GesamtOk());

  // And printed: the paper carries the values and the verdict.
  QPrinter* printer = PrintJob::EnsurePrinter(again);
  const QString pdf = TestUtil::OutDir() + "/workday_report.pdf";
  QFile::remove(pdf);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(pdf);
  Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
  again.HandleCommand(TFormular::CmDruckenId);
  EXPECT_EQ(messages, 0);
  QProcess tool;
  tool.start("pdftotext", {"-layout", pdf, "-"});
  ASSERT_TRUE(tool.waitForFinished(30000));
  const QString text = QString::fromUtf8(tool.readAllStandardOutput());
  for (int r = 0; r < kDeviceRowCount; ++r)
    if (before.active[r]) EXPECT_TRUE(text.contains(before.mess[r].trimmed())) << before.mess[r].toStdString();
  EXPECT_TRUE(text.contains(QString::fromUtf8("Gehäuse gereinigt; 100 % in Ordnung")));
  EXPECT_TRUE(text.contains(w->DeviceText.simplified().section(' ', 0, 0)));
  EXPECT_TRUE(text.contains(before.fields[30]));
  QProcess::execute("pdftoppm", {"-png", "-r", "90", "-singlefile", pdf, TestUtil::OutDir() + "/workday_report"});
}

TEST_F(Workday, WholeProgramGoesOnlineWithTheSimulatedTesterAndCopiesARecord) {
  StartSim({"--records", "3", "--fast"});
  {
    Kelvara k(QString::fromLatin1(Kelvara::AppName), 0, ChildWindowMakers::Program(),
              [] { return HostInfo{true, QStringLiteral("PRUEF1"), QStringLiteral("192.168.0.5")}; });
    ASSERT_TRUE(k.InitMainWindow());
    k.Frame->show();
    auto* device = qobject_cast<TMessgeraet*>(k.DeviceWindow);
    auto* form = qobject_cast<TFormular*>(k.ReportForm);
    ASSERT_TRUE(device && form);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return device->GetDlgItemText(1448) == "Online"; }, 10000));
    EXPECT_FALSE(device->DeviceText.isEmpty());
    EXPECT_EQ(device->GetDlgItemText(1304), device->DeviceText);
    device->ButtonClicked(105);  // load all
    ASSERT_TRUE(TestUtil::WaitFor([&] { return device->LoadState == 0 && device->RecordCount == 3; }, 30000));
    // The record buttons come back once the load is over.
    EXPECT_TRUE(TestUtil::WaitFor(
        [&] {
          for (QPushButton* b : device->RecordButton)
            if (!b->isEnabled()) return false;
          return true;
        },
        5000));
    TestUtil::Grab(k.Frame, QStringLiteral("workday-online"));

    k.EvCommand(ShellIds::CmShowForm);
    form->EvCommand(TFormular::kKopierenId, form->KopierenButton, 0);
    EXPECT_EQ(form->FieldText(TFormular::kFieldMessgeraet), device->DeviceText);
    int active = 0;
    for (int r = 0; r < kDeviceRowCount; ++r) active += form->RowActive[r];
    EXPECT_GE(active, 1);
    TestUtil::Pump(100);
    TestUtil::Grab(k.Frame, QStringLiteral("workday-form"));
  }
}
