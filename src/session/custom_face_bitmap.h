// Checks that a file chosen as a custom head image is a real Windows bitmap
// of exactly 32x32 pixels before it is uploaded. The check reads the file's
// headers and makes sure the pixel data they describe is in the file, so a
// truncated or mislabelled file is refused here, not by the members who
// download it later. Any colour depth a bitmap may have is accepted.
#pragma once

#include <QByteArray>

#include <optional>

namespace quillora::session {

inline constexpr int kCustomFaceSize = 32;

struct BitmapInfo {
    int width = 0;
    int height = 0; // always positive; top-down bitmaps store it negated
    int bitCount = 0;
};

// The size and depth of a well-formed bitmap file; nullopt for anything else.
std::optional<BitmapInfo> readBitmapInfo(const QByteArray &file);

enum class CustomFaceCheck {
    Ok,
    NotBitmap, // not a bitmap, damaged, or larger than kMaxCustomFaceBytes
    WrongSize, // a bitmap, but not 32x32
};

CustomFaceCheck checkCustomFace(const QByteArray &file);

} // namespace quillora::session
