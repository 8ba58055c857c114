#pragma once
// The program's own artwork, kept as PNG files in resources/ and built into
// the program: the logo of the control bar, the about box picture, the
// control-bar glyphs and the frame icon. tools/make-artwork draws them.
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <vector>

namespace Artwork {
// Bitmaps by resource id: 1 logo (98 x 33), 3 about picture (225 x 76),
// glyphs 20014, 20013, 20015, 20016, 24332, 24333, 24337, 24321..24324 (20 x 20).
// An unknown id gives a null pixmap.
QPixmap Bitmap(int id);
// Icon group 20003 (32 x 32 and 16 x 16).
QIcon Icon(int id);

// The ids of all bitmaps, and the file name of each in resources/.
const std::vector<int>& BitmapIds();
QString BitmapFile(int id);
// The sizes of the frame icon, and the file name of each in resources/.
const std::vector<int>& IconSizes();
QString IconFile(int size);
}  // namespace Artwork
