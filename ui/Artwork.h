#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

// The program's pictures, drawn in code so the build needs no image files. Each drawing is the same on
// every call: noise comes from a fixed hash, never from a random source.
namespace qm::artwork {

// The main window's background: a parchment scroll on black, 293 x 382.
QImage parchmentScroll();
// The title lettering over the archive list, 192 x 27, transparent around the letters.
QImage titleLettering();
// The about window's background: dark green-grey stone, 475 x 352.
QImage stoneTexture();
// The about window's picture: a dragon's head on a red ground, 128 x 150.
QImage dragonHead();
// The program's icon, with images of 16, 32 and 48 pixels.
QIcon programIcon();

} // namespace qm::artwork
