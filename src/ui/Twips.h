#pragma once

#include <QRect>

namespace korvo::ui {

/// Window definitions are given in twips: 1440 to the inch, 15 to a device-independent pixel at 96 dpi.
/// Qt scales device-independent pixels to the screen from there.
inline constexpr int kTwipsPerPixel = 15;

[[nodiscard]] constexpr int twips(int value)
{
    // Round to the nearest pixel so that edges given in twips that are not multiples of 15 stay put.
    return (value + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

/// A rectangle given as Left, Top, Width, Height in twips.
[[nodiscard]] QRect twipsRect(int left, int top, int width, int height);

} // namespace korvo::ui
