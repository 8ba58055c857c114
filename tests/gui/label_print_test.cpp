// Labels printed through a real print queue: the page size of each format
// reaches the print system, the codes read back from what it printed, the
// texts hold the next test's month, and the label printers' own drivers of
// the system take the jobs. The queues write into files; no real printer is
// ever reached.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <optional>

#include "platform/seams.h"
#include "records/labeldialog.h"
#include "tests/cupstestserver.h"
#include "tests/labeltools.h"
#include "tests/testutil.h"

namespace {

Labels::LabelData Label(const QString& inventar, bool failed) {
  Labels::LabelData l;
  l.InventarNr = inventar;
  l.Customer = QStringLiteral("Bäckerei Müller");
  l.Company = QStringLiteral("Elektro Schmidt GmbH");
  l.TestDate = QDate(2026, 6, 12);
  l.NextTest = QDate(2027, 6, 12);
  l.Failed = failed;
  if (failed) l.Reason = QStringLiteral("R-PE 0.45 Ohm, Grenzwert 0.30");
  return l;
}

class LabelPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    QString why;
    server_ = CupsTestServer::Get(&why);
    if (!server_) GTEST_SKIP() << "kein Druckserver: " << why.toStdString();
    use_.emplace(*server_);
    ASSERT_TRUE(out_.isValid());
    // The print system's filters run as its own user.
    QFile::setPermissions(out_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                           QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther |
                                           QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup);
    Seams::SetGenericDialogResponder([this](const GenericDialogRequest& r) {
      dialogs_ << r.kind;
      return int(Win::IDOK);
    });
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) {
      boxes_ << r.text;
      return int(Win::IDOK);
    });
  }
  void TearDown() override {
    if (!server_) return;
    for (const QString& q : queues_) server_->RemoveQueue(q);
    use_.reset();
  }
  // Queue names are the test process's own: tests run side by side on one server.
  static QString Name(const QString& stem) { return QStringLiteral("%1-%2").arg(stem).arg(QCoreApplication::applicationPid()); }
  bool Queue(const QString& name, const QString& output, const QString& model, const QString& ppd) {
    QString why;
    if (!server_->AddQueue(name, output, model, ppd, &why)) {
      ADD_FAILURE() << why.toStdString();
      return false;
    }
    queues_ << name;
    return true;
  }
  // Prints the labels in `format` on `queue` through the dialog, as the user
  // does, and waits until the queue has written them.
  bool PrintOn(const QString& queue, const QString& output, const QString& format,
               const std::vector<Labels::LabelData>& labels, int start = 1) {
    QFile::remove(output);
    LabelDialog dialog(labels);
    dialog.SetupWindow();
    dialog.ChooseFormat(format);
    dialog.ChooseCode(Barcode::Type::QR);
    dialog.ChooseContent(Labels::Content::Inventar);
    dialog.ChooseStart(start);
    dialog.Printer()->setPrinterName(queue);
    if (!dialog.Print()) return false;
    QString why;
    if (!server_->WaitForJobs(queue, 60000, &why)) {
      ADD_FAILURE() << why.toStdString();
      return false;
    }
    return TestUtil::WaitFor([&] { return QFileInfo(output).size() > 0; }, 10000);
  }

  CupsTestServer* server_ = nullptr;
  std::optional<CupsTestServer::Use> use_;
  QTemporaryDir out_;
  QStringList queues_, dialogs_, boxes_;
};

}  // namespace

// Every format through a queue that hands the print system's PDF to a file:
// one page per label (sheets: A4 from the start position), each page the
// format's size, every code read back, the next test's month in the text, the
// blocked label red.
TEST_F(LabelPrint, EveryFormatKeepsItsPageSizeThroughARealQueue) {
  if (!LabelTools::Have("zbarimg") || !LabelTools::Have("pdfinfo")) GTEST_SKIP() << LabelTools::Missing("zbarimg/pdfinfo");
  const QString output = out_.filePath("etiketten.pdf");
  const QString queue = Name("KelvaraEtiketten");
  ASSERT_TRUE(Queue(queue, output, QString(), KELVARA_SOURCE_DIR "/tests/data/kelvara-pdf-labels.ppd"));
  const std::vector<Labels::LabelData> labels = {Label("INV-0815", false), Label("K-12/7", true), Label("Küche-3", false)};
  QStringList formats;
  for (const Labels::Format& f : Labels::Formats()) formats << f.key;
  formats << "50x30";
  for (const QString& key : formats) {
    SCOPED_TRACE(key.toStdString());
    Labels::Format format;
    ASSERT_TRUE(Labels::FormatByKey(key, &format));
    const int start = format.Sheet() ? format.PerPage() - 1 : 1;  // a sheet used before: two places left
    ASSERT_TRUE(PrintOn(queue, output, key, labels, start));
    QFile::remove(TestUtil::OutDir() + "/cups-label-" + key + ".pdf");
    QFile::copy(output, TestUtil::OutDir() + "/cups-label-" + key + ".pdf");  // to be looked at
    const std::vector<QSizeF> sizes = LabelTools::PdfPageSizes(output);
    ASSERT_EQ(int(sizes.size()), format.Sheet() ? 2 : 3);
    for (const QSizeF& size : sizes) {
      EXPECT_NEAR(size.width(), format.pageWidth, 0.5);
      EXPECT_NEAR(size.height(), format.pageHeight, 0.5);
    }
    const std::vector<Labels::Slot> places = Labels::Place(format, 3, start);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(LabelTools::ScanPdfRegion(output, places[size_t(i)].page + 1, places[size_t(i)].rect),
                QStringList{labels[size_t(i)].InventarNr});
    const QString text = LabelTools::PdfText(output);
    EXPECT_EQ(text.count(QStringLiteral("06/2027")), 2) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("GESPERRT")));
    if (!format.Sheet()) {
      EXPECT_GT(LabelTools::RedPixels(LabelTools::PdfPage(output, 2, 100)), 50);
      EXPECT_EQ(LabelTools::RedPixels(LabelTools::PdfPage(output, 1, 100)), 0);
    }
  }
  EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();
  EXPECT_EQ(dialogs_.count("print"), formats.size());
}

// The label printers' drivers of the system (P-touch, Dymo) take the jobs and
// write their printers' data; a label too small for its code is not sent.
TEST_F(LabelPrint, TheLabelPrintersDriversTakeTheJobs) {
  struct Case {
    const char* model;
    const char* format;
    int tapeMm;  // the QL's page header names the tape width it was given (0: not checked)
  } cases[] = {{"Brother-QL-570-ptouch-ql", "62x40", 62}, {"Brother-QL-570-ptouch-ql", "29x90", 29},
               {"Brother-PT-2430PC-ptouch-pt", "24mm", 0}, {"Brother-PT-2430PC-ptouch-pt", "12mm", 0},
               {"lw450.ppd", "89x36", 0}, {"lw450.ppd", "54x25", 0}};
  int printed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + c.format);
    const QStringList models = server_->Models(QString::fromLatin1(c.model));
    if (models.isEmpty()) continue;  // that driver did not install here
    const QString queue = Name(QStringLiteral("KelvaraTreiber%1").arg(printed));
    const QString output = out_.filePath(queue + ".bin");
    ASSERT_TRUE(Queue(queue, output, models.first(), QString()));
    ASSERT_TRUE(PrintOn(queue, output, QString::fromLatin1(c.format), {Label("INV-0815", false), Label("K-12/7", true)}));
    EXPECT_GT(QFileInfo(output).size(), 1000);
    if (c.tapeMm) {
      // One print-information command per label ("ESC i z"), with the tape
      // width of the format's page: the page size reached the driver.
      QFile f(output);
      ASSERT_TRUE(f.open(QIODevice::ReadOnly));
      const QByteArray data = f.readAll();
      EXPECT_EQ(data.count("\x1biz"), 2);
      const qsizetype at = data.indexOf("\x1biz");
      ASSERT_GE(at, 0);
      EXPECT_EQ(int(uchar(data[at + 5])), c.tapeMm);
    }
    const QString kept = TestUtil::OutDir() + "/cups-driver-" + QString::fromLatin1(c.format) + ".bin";
    QFile::remove(kept);
    QFile::copy(output, kept);
    ++printed;
  }
  if (printed == 0) GTEST_SKIP() << "weder printer-driver-ptouch noch printer-driver-dymo sind installiert";
  EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();
}
