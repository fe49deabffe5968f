// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>

class QPainter;

// The drop shadow of whatever `image` holds, same size and pixel ratio: its alpha blurred by
// `radius` device-independent pixels, filled with `color`. The caller leaves room for the blur.
QImage silhouetteShadow(const QImage &image, double radius, const QColor &color);

// A shape's drop shadow. Blurring costs far more than a frame allows, so each shadow is made
// once per shape, colour, radius and pixel ratio and then only blitted.
class SoftShadow final {
public:
    // `shape` is in the painter's coordinates.
    void paint(QPainter &painter, const QPainterPath &shape, const QColor &color, double radius,
               QPointF offset);

private:
    QImage m_image;
    QPainterPath m_shape;
    QColor m_color;
    double m_radius = -1;
    double m_dpr = 0;
};
