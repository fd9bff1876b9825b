#include "ui/Twips.h"

namespace korvo::ui {

QRect twipsRect(int left, int top, int width, int height)
{
    // Convert the edges, not the extent, so neighbours given edge to edge in twips stay edge to edge.
    const int x = twips(left);
    const int y = twips(top);
    return {x, y, twips(left + width) - x, twips(top + height) - y};
}

} // namespace korvo::ui
