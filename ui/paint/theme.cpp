// SPDX-License-Identifier: MIT
#include "theme.h"

namespace theme {

namespace {
QLinearGradient twoStops(const SchemeGradient &g, ColorScheme scheme, QPointF from, QPointF to)
{
    QLinearGradient gradient(from, to);
    gradient.setColorAt(0.0, g.start.color(scheme));
    gradient.setColorAt(1.0, g.end.color(scheme));
    return gradient;
}
} // namespace

QLinearGradient glassStroke(ColorScheme scheme, const QRectF &shape)
{
    return twoStops(kGlassStroke, scheme, {shape.center().x(), shape.top()},
                    {shape.center().x(), shape.bottom()});
}

QLinearGradient dropzoneBg(ColorScheme scheme, const QRectF &shape)
{
    return twoStops(kDropzoneBg, scheme, shape.topLeft(), shape.bottomRight());
}

} // namespace theme
