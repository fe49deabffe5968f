// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>

class QPainter;

// A blurred copy of a shape's silhouette, as drop shadows are drawn. Blurring
// costs far more than a frame allows, so each shadow is made once per shape,
// colour, radius and pixel ratio and then only blitted.
class SoftShadow final {
public:
    // Paints the shadow of `shape` (in the painter's coordinates) offset by
    // `offset`, blurred by `radius` device-independent pixels.
    void paint(QPainter &painter, const QPainterPath &shape, const QColor &color, double radius,
               QPointF offset);

private:
    QImage m_image;
    QPainterPath m_shape;
    QColor m_color;
    double m_radius = -1;
    double m_dpr = 0;
};
