#pragma once
// The program's pictures, drawn rather than shipped as bitmaps so they stay
// sharp at any size.
#include <QIcon>
#include <QPixmap>

namespace mk::artwork {

QIcon applicationIcon();
QPixmap splashPicture();
QPixmap logo(int height);
QIcon playIcon();
QIcon stopIcon();
QIcon rewindIcon();

} // namespace mk::artwork
