// Draws the program's artwork and writes it as PNG files into a folder
// (normally resources/), where the program's resource file takes it from.
//
//   build/make-artwork resources
//
// The desktop icons (resources/desktop/kelvara-SIZE.png, the data record's
// kelvara-datensatz-SIZE.png, and both as SVG) are drawn the same way.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <cstdio>

#include "core/fileio.h"
#include "render/fonts.h"
#include "shell/artwork.h"
#include "tools/make-artwork/draw.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-artwork <folder>\n");
    return 2;
  }
  Fonts::InstallSubstitutions();
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.exists() && !QDir().mkpath(folder.path())) {
    std::fprintf(stderr, "make-artwork: cannot create %s\n", argv[1]);
    return 1;
  }
  auto save = [&](const QPixmap& pixmap, const QString& name) {
    const QString path = folder.filePath(name);
    if (pixmap.isNull() || !pixmap.toImage().save(path, "PNG")) {
      std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(path));
      return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), pixmap.width(), pixmap.height());
    return true;
  };
  bool ok = true;
  for (int id : Artwork::BitmapIds()) ok &= save(ArtworkDrawing::Bitmap(id), Artwork::BitmapFile(id));
  for (int size : Artwork::IconSizes()) ok &= save(ArtworkDrawing::Icon(size), Artwork::IconFile(size));
  // The desktop's icon theme takes the same drawing in its usual sizes.
  if (!folder.exists(QStringLiteral("desktop"))) folder.mkpath(QStringLiteral("desktop"));
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    ok &= save(ArtworkDrawing::Icon(size), QStringLiteral("desktop/kelvara-%1.png").arg(size));
    ok &= save(ArtworkDrawing::RecordIconImage(size), QStringLiteral("desktop/kelvara-datensatz-%1.png").arg(size));
  }
  // And as SVG for any other size: the same shapes.
  auto saveSvg = [&](const QByteArray& svg, const QString& name) {
    const QString path = folder.filePath(name);
    QString error;
    if (!FileIO::SaveFileAtomically(path, svg, &error)) {
      std::fprintf(stderr, "make-artwork: cannot write %s: %s\n", qPrintable(path), qPrintable(error));
      return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
  };
  ok &= saveSvg(ArtworkDrawing::IconSvg(), QStringLiteral("desktop/kelvara.svg"));
  ok &= saveSvg(ArtworkDrawing::RecordIconSvg(), QStringLiteral("desktop/kelvara-datensatz.svg"));
  return ok ? 0 : 1;
}
