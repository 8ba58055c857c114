#include "shell/artwork.h"

// The resource file lives in a static library: referencing its initialiser
// here keeps the linker from dropping it. Outside any namespace, as Qt needs.
static void InitArtworkResources() { Q_INIT_RESOURCE(kelvara); }

namespace Artwork {
namespace {

QPixmap Load(const QString& file) {
  static const bool initialised = (InitArtworkResources(), true);
  (void)initialised;
  return QPixmap(QStringLiteral(":/artwork/") + file);
}

}  // namespace

const std::vector<int>& BitmapIds() {
  static const std::vector<int> ids{1, 3, 20014, 20013, 20015, 20016, 24332, 24333, 24337, 24321, 24322, 24323, 24324};
  return ids;
}

QString BitmapFile(int id) {
  switch (id) {
    case 1: return QStringLiteral("logo.png");
    case 3: return QStringLiteral("about.png");
    default: return QStringLiteral("glyph-%1.png").arg(id);
  }
}

const std::vector<int>& IconSizes() {
  static const std::vector<int> sizes{32, 16};
  return sizes;
}

QString IconFile(int size) { return QStringLiteral("icon-%1.png").arg(size); }

QPixmap Bitmap(int id) {
  for (int known : BitmapIds())
    if (known == id) return Load(BitmapFile(id));
  return QPixmap();
}

QIcon Icon(int id) {
  QIcon icon;
  if (id != 20003) return icon;
  for (int size : IconSizes()) icon.addPixmap(Load(IconFile(size)));
  return icon;
}

}  // namespace Artwork
