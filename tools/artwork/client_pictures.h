// The picture sets of the client's image set, each drawn with the drawing kit.
#pragma once

#include "drawing_kit.h"

#include <vector>

namespace artwork {

// The toolbar and menu images, each drawn at 16, 24 and 32 pixels.
struct Picture {
    const char *name;
    Drawing draw;
};
std::vector<Picture> commandPictures();

// The level badge of level 1 to 10: 64x12, ten pips, tiers bronze, silver,
// gold, blue.
QImage levelBadge(int level);

// The program's mark: a speech bubble with a white quill.
void mark(Canvas &c, const QColor &light, const QColor &base, const QColor &edge);
// The tray icon: frame 0 is the still icon; 1 to 4 pulse a light on the bubble.
Drawing trayFrame(int frame);

} // namespace artwork
