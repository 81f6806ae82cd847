// Resource identifiers of the icons an icon picker offers. A picker entry is
// known by its icon's identifier, not by its position, and the dialogs
// exchange that identifier with their data.
//
// The 24 built-in head pictures are the icons kHeadIconFirst .. kHeadIconLast:
// picture n (1 to 24) is identifier kHeadIconFirst + n - 1. The lists show
// them in picture order, so the entry at position p carries picture p + 1.
#pragma once

#include "shared_limits.h"

namespace quillora::forum {

using service::kHeadPictureCount;
inline constexpr int kHeadIconFirst = 301;
inline constexpr int kHeadIconLast = kHeadIconFirst + kHeadPictureCount - 1;

// Identifier of built-in picture `picture` (1 to 24); 0 for any other number.
constexpr int headIconId(int picture)
{
    return picture >= 1 && picture <= kHeadPictureCount ? kHeadIconFirst + picture - 1 : 0;
}

// Built-in picture (1 to 24) of an identifier; 0 when it is not a head icon.
constexpr int headPictureOfIcon(int iconId)
{
    return iconId >= kHeadIconFirst && iconId <= kHeadIconLast ? iconId - kHeadIconFirst + 1 : 0;
}

} // namespace quillora::forum
