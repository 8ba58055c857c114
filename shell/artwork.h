#pragma once
// The program's own artwork, drawn at start-up: the logo of the control bar,
// the about box picture, the control-bar glyphs and the frame icon. All share
// one palette (deep blue, signal amber, light grey) so they read as one set.
#include <QIcon>
#include <QPixmap>

namespace Artwork {
// Bitmaps by resource id: 1 logo (98 x 33), 3 about picture (225 x 76),
// glyphs 20014, 20013, 24332, 24333, 24337, 24321..24324 (20 x 20).
// An unknown id gives a null pixmap.
QPixmap Bitmap(int id);
// Icon group 20003 (32 x 32 and 16 x 16).
QIcon Icon(int id);
}  // namespace Artwork
