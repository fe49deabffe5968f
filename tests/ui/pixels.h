// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <functional>

// Paints into a transparent image of `size` at device pixel ratio 1.
inline QImage paintToImage(QSize size, const std::function<void(QPainter &)> &draw)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    draw(painter);
    painter.end();
    return image;
}

// The smallest rectangle holding every pixel more opaque than `minAlpha`.
inline QRect coverage(const QImage &image, int minAlpha = 0)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > minAlpha)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

inline int coveredPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0;
    }
    return count;
}
