#pragma once
// The drawings behind the program's artwork in resources/: the logo of the
// control bar, the about box picture, the control-bar glyphs and the frame
// icon. All share one palette (deep blue, signal amber, light grey) so they
// read as one set.
#include <QByteArray>
#include <QPixmap>

namespace ArtworkDrawing {
// The bitmap of a resource id (see Artwork::BitmapIds), or a null pixmap.
QPixmap Bitmap(int id);
// The frame icon (and the desktop's icon of the program) at size x size
// pixels, and the same drawing as SVG.
QPixmap Icon(int size);
QByteArray IconSvg();
// The desktop's icon of a data record file, as PNG and as SVG.
QPixmap RecordIconImage(int size);
QByteArray RecordIconSvg();
}  // namespace ArtworkDrawing
