#pragma once

#include <QBitmap>
#include <QColor>
#include <QImage>
#include <QRegion>

#include <numeric>

namespace korvo::test {

/// Where one colour is drawn in an image, to the exact pixel.
inline QRegion inkOf(const QImage& image, const QColor& colour)
{
    const QImage mask = image.convertToFormat(QImage::Format_RGB32).createMaskFromColor(colour.rgb(), Qt::MaskOutColor);
    return QRegion(QBitmap::fromImage(mask));
}

/// How many pixels a region covers.
inline int pixels(const QRegion& region)
{
    return std::accumulate(region.begin(), region.end(), 0,
                           [](int n, const QRect& r) { return n + r.width() * r.height(); });
}

} // namespace korvo::test
