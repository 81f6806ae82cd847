// What a member list or profile group asks its widget to show as a member's
// head picture. The rules decide which picture; the widget layer turns the
// request into a pixmap in one place (a built-in picture, or the custom
// picture from the cache, fetched first when allowed).
#pragma once

#include <QString>

namespace quillora::presence {

struct HeadPictureRequest {
    // Built-in head image number (1..24; 0 and others show picture 24); used
    // when customName is empty.
    int builtIn = 0;
    // Custom picture: the cache file customName + ".bmp". Only plain decimal
    // names are ever put here.
    QString customName;
    // Fetch the custom picture from the site when the cache does not hold it.
    bool mayDownload = false;
    // When the custom picture cannot be had: show the built-in picture (true)
    // or leave the picture shown before (false).
    bool fallBackToBuiltIn = false;

    bool isCustom() const { return !customName.isEmpty(); }
    bool operator==(const HeadPictureRequest &) const = default;
};

// True for 1 to 10 ASCII digits: a name from a document becomes a picture
// file name only then.
bool isPictureName(const QString &text);

inline HeadPictureRequest builtInHead(int number)
{
    return {number, QString(), false, false};
}

} // namespace quillora::presence
