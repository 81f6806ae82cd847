// The pictures and the sound of the message board and the "Contact" pane.
// Every head picture these screens show goes through chatHeadPicture, the
// one place that turns a request into a pixmap (built-in picture, or the
// cached custom picture). It never waits for the network: a custom picture
// the cache lacks is queued on the downloads object and the screen swaps it
// in when pictureReady names that member.
#pragma once

#include "head_picture.h"
#include "session/head_images.h"

#include <QPixmap>

namespace quillora::ui {

// The picture to show now for `request`; a null pixmap means "leave the
// picture shown". A custom picture that is not cached but may be downloaded
// is queued on `faces` and the built-in picture stands in until it comes.
QPixmap chatHeadPicture(session::CustomFaceDownloads &faces, const presence::HeadPictureRequest &request);
// A downloaded custom picture as a head picture (at most 32x32); null when
// the file does not load.
QPixmap customHeadPicture(const QString &path);

// A rank badge 0..9 (the 64x12 level pictures); null for -1.
QPixmap rankBadgePicture(int badge);

// The banner across the top of the "Communication" dialog, 555x35.
QPixmap messageBoardBanner();

// Plays "msg.wav" without blocking: the resource is put into a file once and
// handed to the desktop's sound player (paplay, pw-play or aplay, whichever is
// installed) as a detached process. Nothing happens when none is.
void playMessageSound();

} // namespace quillora::ui
