// SPDX-License-Identifier: MIT
#pragma once

#include <QBrush>
#include <QImage>
#include <QPen>
#include <QSizeF>

// Small pieces every cached drawing of the panel starts from.
namespace PaintKit {

// A clear image of `size` device-independent pixels at `dpr`.
inline QImage transparentImage(QSizeF size, qreal dpr)
{
    QImage image((size * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    return image;
}

// The outline pen of the panel's shapes: butt caps, miter joins, limit 10.
inline QPen hairline(const QBrush &brush, double width)
{
    QPen pen(brush, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    return pen;
}

} // namespace PaintKit
