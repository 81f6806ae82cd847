// The graphics context the embedded browser shares with the widgets, made
// when the browser first needs it rather than when the program starts. Qt
// makes it while the application object is built (the browser's library asks
// for it), and making it loads the OpenGL driver: on a machine without a GPU
// a software renderer of some 30 MiB, paid by a program that may spend the
// day in the tray without showing a page.
#pragma once

namespace quillora::ui {

// Before the application object exists: Qt and the browser find a shared
// context already in place, an empty one, and make none of their own.
void deferSharedGraphicsContext();

// Makes the shared context if it was deferred (the first call does the work;
// main thread only). False when it cannot be made: the browser then renders
// without sharing, as it would without a graphics driver.
bool realizeSharedGraphicsContext();

} // namespace quillora::ui
