// VeldoHeroMark: the application's mark (our own artwork): a rounded tile in the accent colours
// with an open box and a sweep of sparkles, painted at any size.
#pragma once

#include <QImage>

namespace veldo::ui {

// The mark as an image of `edge` × `edge` device pixels, transparent around the tile.
QImage veldoHeroMark(int edge);

} // namespace veldo::ui
