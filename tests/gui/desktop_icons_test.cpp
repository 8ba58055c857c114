// The desktop's icons: what resources/ holds is what tools/make-artwork draws
// now, and each SVG, drawn by the desktop's SVG renderer, looks like its PNG.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

const QString kResources = QStringLiteral(KELVARA_SOURCE_DIR "/resources");

QString MakeArtwork() { return QString(KELVARA_SIM_PATH).replace(QStringLiteral("zelto-sim"), QStringLiteral("make-artwork")); }

// How far two images of one size are apart: the mean difference of a
// channel (0..255) and the share of pixels that differ clearly.
struct Difference {
  double mean = 0;
  double clearShare = 0;
};
Difference Compare(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  Difference d;
  double sum = 0;
  int clear = 0;
  for (int row = 0; row < x.height(); ++row)
    for (int col = 0; col < x.width(); ++col) {
      const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
      const int channels[4] = {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                               std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))};
      int most = 0;
      for (int c : channels) {
        sum += c;
        most = std::max(most, c);
      }
      clear += most > 64;
    }
  const double pixels = double(x.width()) * x.height();
  d.mean = sum / (4 * pixels);
  d.clearShare = clear / pixels;
  return d;
}

TEST(DesktopIcons, TheArtworkInTheResourcesIsWhatTheToolDraws) {
  QTemporaryDir out;
  ASSERT_TRUE(out.isValid());
  QProcess tool;
  tool.start(MakeArtwork(), {out.path()});
  ASSERT_TRUE(tool.waitForFinished(60000));
  ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
  QStringList drawn;
  for (const QString& sub : {QString(), QStringLiteral("desktop")})
    for (const QString& name : QDir(out.filePath(sub)).entryList({"*.png", "*.svg"}, QDir::Files))
      drawn << (sub.isEmpty() ? name : sub + '/' + name);
  ASSERT_EQ(drawn.size(), 33);  // 13 bitmaps, 2 frame icons, 2 x 8 desktop icons, 2 SVG
  for (const QString& name : drawn) {
    const QString kept = kResources + '/' + name;
    ASSERT_TRUE(QFile::exists(kept)) << name.toStdString() << " is drawn but not in resources/ (build/make-artwork resources)";
    if (name.endsWith(".svg")) {
      QFile a(out.filePath(name)), b(kept);
      ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
      EXPECT_EQ(a.readAll(), b.readAll()) << name.toStdString();
    } else {
      EXPECT_EQ(QImage(out.filePath(name)).convertToFormat(QImage::Format_ARGB32),
                QImage(kept).convertToFormat(QImage::Format_ARGB32))
          << name.toStdString() << " differs from what make-artwork draws";
    }
  }
}

TEST(DesktopIcons, EachSvgLooksLikeItsPng) {
  QTemporaryDir out;
  for (const QString& icon : {QStringLiteral("kelvara"), QStringLiteral("kelvara-datensatz")}) {
    for (int size : {48, 256}) {
      const QString png = out.filePath(QStringLiteral("%1-%2.png").arg(icon).arg(size));
      QProcess rsvg;
      rsvg.start("rsvg-convert", {"-w", QString::number(size), "-h", QString::number(size),
                                  kResources + "/desktop/" + icon + ".svg", "-o", png});
      ASSERT_TRUE(rsvg.waitForFinished(30000)) << "rsvg-convert (librsvg2-bin) is missing: scripts/setup";
      ASSERT_EQ(rsvg.exitCode(), 0) << rsvg.readAllStandardError().constData();
      const QImage svg(png), kept(QStringLiteral("%1/desktop/%2-%3.png").arg(kResources, icon).arg(size));
      ASSERT_EQ(svg.size(), kept.size());
      const Difference d = Compare(svg, kept);
      // Edges are smoothed a little differently; a shape or colour of its own is not.
      // (Measured: a mean of 0.06 to 0.4, a clear difference at 0.06 % of the pixels.)
      EXPECT_LT(d.mean, 1.0) << icon.toStdString() << " " << size;
      EXPECT_LT(d.clearShare, 0.005) << icon.toStdString() << " " << size;
    }
  }
}

}  // namespace
