// SPDX-License-Identifier: MIT
#include "colorscheme.h"

#include <QColor>
#include <QPalette>

#include <algorithm>

namespace {
// Relative luminance, so a saturated blue window does not pass for light.
double luminance(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return 0.2126 * rgb.redF() + 0.7152 * rgb.greenF() + 0.0722 * rgb.blueF();
}
} // namespace

ColorScheme colorSchemeOf(const QPalette &palette)
{
    const double window = luminance(palette.color(QPalette::Active, QPalette::Window));
    const double text = luminance(palette.color(QPalette::Active, QPalette::WindowText));
    return window < text ? ColorScheme::Dark : ColorScheme::Light;
}

QColor blendColors(const QColor &from, const QColor &to, double t)
{
    const float k = float(std::clamp(t, 0.0, 1.0));
    // Premultiplied, so fading in from clear does not pass through black.
    const float fa = from.alphaF();
    const float ta = to.alphaF();
    const float a = fa + (ta - fa) * k;
    if (a <= 0.f)
        return QColor::fromRgbF(0, 0, 0, 0);
    auto channel = [&](float f, float g) { return (f * fa + (g * ta - f * fa) * k) / a; };
    return QColor::fromRgbF(channel(from.redF(), to.redF()), channel(from.greenF(), to.greenF()),
                            channel(from.blueF(), to.blueF()), a);
}
