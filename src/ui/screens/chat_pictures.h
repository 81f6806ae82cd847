// The pictures and the sound of the message board and the "Contact" pane.
// Every head picture these screens show goes through chatHeadPicture, the
// one place that turns a request into a pixmap (built-in picture, or the
// cached custom picture, fetched first when the request allows it).
#pragma once

#include "head_picture.h"
#include "session/head_images.h"

#include <QPixmap>

namespace quillora::ui {

// The picture for `request`; a null pixmap means "leave the picture shown".
QPixmap chatHeadPicture(const session::CustomFaceCache &cache, const presence::HeadPictureRequest &request);

// A rank badge 0..9 (the 64x12 level pictures); null for -1.
QPixmap rankBadgePicture(int badge);

// The banner across the top of the "Communication" dialog, 555x35.
QPixmap messageBoardBanner();

// Plays "msg.wav" without blocking: the resource is put into a file once and
// handed to the desktop's sound player (paplay, pw-play or aplay, whichever is
// installed) as a detached process. Nothing happens when none is.
void playMessageSound();

} // namespace quillora::ui
