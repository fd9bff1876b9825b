#pragma once

#include <QRect>

/// The unit of every window's geometry: twips, 1440 to the inch, 15 to a device-independent pixel at 96 dpi.
/// Qt scales device-independent pixels to the screen from there.
namespace korvo::layout {

inline constexpr int kTwipsPerPixel = 15;

[[nodiscard]] double toTwips(int pixels);

/// To the nearest pixel (halves to even, which whole twips never are). Error 380 for a value that is not a
/// number or that Qt cannot place.
[[nodiscard]] int toPixels(double twips);

/// A rectangle given as Left, Top, Width, Height in twips.
[[nodiscard]] QRect twipsRect(int left, int top, int width, int height);

} // namespace korvo::layout
