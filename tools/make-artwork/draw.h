#pragma once
// The drawings behind the program's artwork in resources/: the logo of the
// control bar, the about box picture, the control-bar glyphs and the frame
// icon. All share one palette (deep blue, signal amber, light grey) so they
// read as one set.
#include <QPixmap>

namespace ArtworkDrawing {
// The bitmap of a resource id (see Artwork::BitmapIds), or a null pixmap.
QPixmap Bitmap(int id);
// The frame icon at size x size pixels.
QPixmap Icon(int size);
}  // namespace ArtworkDrawing
