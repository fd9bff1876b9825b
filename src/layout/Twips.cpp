#include "layout/Twips.h"

#include "errors/RuntimeError.h"

#include <QWidget>

#include <cmath>

namespace korvo::layout {

double toTwips(int pixels)
{
    return pixels * double{kTwipsPerPixel};
}

int toPixels(double twips)
{
    if (!std::isfinite(twips))
        errors::raise(errors::err::InvalidPropertyValue);
    const double pixels = std::nearbyint(twips / kTwipsPerPixel);
    if (std::abs(pixels) > QWIDGETSIZE_MAX)
        errors::raise(errors::err::InvalidPropertyValue);
    return static_cast<int>(pixels);
}

QRect twipsRect(int left, int top, int width, int height)
{
    // Convert the edges, not the extent, so neighbours given edge to edge in twips stay edge to edge.
    const int x = toPixels(left);
    const int y = toPixels(top);
    return {x, y, toPixels(left + width) - x, toPixels(top + height) - y};
}

} // namespace korvo::layout
