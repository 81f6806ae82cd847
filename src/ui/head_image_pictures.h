// The pictures of head images (see session/head_images.h for the rule): the
// 24 built-in 32x32 pictures from the resources, and a listed member's picture
// loaded from the custom picture cache.
#pragma once

#include "session/head_images.h"

#include <QList>
#include <QPixmap>

namespace quillora::ui {

// Built-in picture for a head image number (0 and unknown numbers show
// picture 24). Call initResources() (ui_resources.h) first.
QPixmap builtInHeadPixmap(int headImageNumber);
// Pictures 1..24 in order: a choice list shows number n at position n - 1.
QList<QPixmap> builtInHeadPixmaps();

// The picture to show for a listed member, by the head image rule: built-in,
// cached custom picture, or custom picture downloaded into the cache. A null
// pixmap means "show nothing new" (the row keeps the picture it had).
QPixmap memberHeadPixmap(const session::CustomFaceCache &cache, const QString &userId, int headImageNumber,
                         int customFlag);

} // namespace quillora::ui
