#pragma once
// The program's pictures, kept in its Qt resources: the icon (16 and 32 pixels) and the About
// box banner (462 x 47 pixels).

#include <QIcon>
#include <QPixmap>

namespace koralux {

QIcon programIcon();
QPixmap aboutBanner();

}  // namespace koralux
