#include "tests/labeltools.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace LabelTools {
namespace {

QByteArray Run(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(120000)) {
    process.kill();
    process.waitForFinished();
  }
  if (exitCode) *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return process.readAllStandardOutput();
}

}  // namespace

bool Have(const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

std::string Missing(const QString& program) {
  return (program + QStringLiteral(" fehlt (scripts/setup installiert es)")).toStdString();
}

QStringList ScanImage(const QString& png, bool dataMatrix, int expected) {
  QStringList codes;
  if (dataMatrix) {
    // dmtxread gives the code's bytes: ISO 8859-1 unless they are UTF-8.
    const QByteArray bytes =
        Run(QStringLiteral("dmtxread"), {"-n", "-N", QString::number(expected), "-m", "30000", png});
    for (const QByteArray& line : bytes.split('\n')) {
      if (line.trimmed().isEmpty()) continue;
      const QString utf8 = QString::fromUtf8(line);
      codes << (utf8.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(line) : utf8);
    }
  } else {
    codes = QString::fromUtf8(Run(QStringLiteral("zbarimg"), {"--quiet", "--raw", png})).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }
  for (QString& code : codes) code = code.trimmed();
  return codes;
}

QStringList ScanImage(const QImage& image, bool dataMatrix, int expected) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("scan.png"));
  image.save(path);
  return ScanImage(path, dataMatrix, expected);
}

QImage PdfPage(const QString& pdf, int page, int dpi) {
  QTemporaryDir dir;
  const QString stem = dir.filePath(QStringLiteral("page"));
  Run(QStringLiteral("pdftoppm"), {"-r", QString::number(dpi), "-f", QString::number(page), "-l", QString::number(page),
                                   "-png", "-singlefile", pdf, stem});
  return QImage(stem + QStringLiteral(".png"));
}

QStringList ScanPdfPage(const QString& pdf, int page, int dpi) { return ScanImage(PdfPage(pdf, page, dpi)); }

QStringList ScanPdfRegion(const QString& pdf, int page, const QRectF& mm, int dpi) {
  QTemporaryDir dir;
  const QString stem = dir.filePath(QStringLiteral("region"));
  const double k = dpi / 25.4;
  Run(QStringLiteral("pdftoppm"),
      {"-r", QString::number(dpi), "-f", QString::number(page), "-l", QString::number(page), "-x",
       QString::number(qRound(mm.x() * k)), "-y", QString::number(qRound(mm.y() * k)), "-W",
       QString::number(qRound(mm.width() * k)), "-H", QString::number(qRound(mm.height() * k)), "-png", "-singlefile",
       pdf, stem});
  return ScanImage(stem + QStringLiteral(".png"));
}

QString PdfText(const QString& pdf) {
  return QString::fromUtf8(Run(QStringLiteral("pdftotext"), {"-enc", "UTF-8", pdf, "-"}));
}

std::vector<QSizeF> PdfPageSizes(const QString& pdf) {
  std::vector<QSizeF> sizes;
  const QString info = QString::fromUtf8(Run(QStringLiteral("pdfinfo"), {"-f", "1", "-l", "100000", pdf}));
  static const QRegularExpression line(QStringLiteral("Page\\s+\\d+ size:\\s+([\\d.]+) x ([\\d.]+) pts"));
  for (auto it = line.globalMatch(info); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    sizes.emplace_back(m.captured(1).toDouble() * 25.4 / 72, m.captured(2).toDouble() * 25.4 / 72);
  }
  return sizes;
}

int RedPixels(const QImage& image) {
  int red = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      red += c.red() > 150 && c.green() < 80 && c.blue() < 80;
    }
  return red;
}

}  // namespace LabelTools
