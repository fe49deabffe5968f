// SPDX-License-Identifier: MIT
#include "rowcolors.h"

#include "theme.h"

#include <algorithm>

RowColors RowColors::of(ColorScheme scheme, bool hovered)
{
    using namespace theme;
    return {
        kCardBase.color(scheme),
        hovered ? kCardHoverTint.color(scheme) : kClear.color(),
        kPrimaryText.color(scheme),
        kSecondaryText.color(scheme),
        kCardShadow.color(scheme),
        (hovered ? kAirDropGlyphHovered : kAirDropGlyph).color(scheme),
        (hovered ? kAirDropDiscHovered : kAirDropDisc).color(scheme),
        (hovered ? kDeleteCrossHovered : kDeleteCross).color(scheme),
        (hovered ? kDeleteDiscHovered : kDeleteDisc).color(scheme),
        (hovered ? kDeleteRingHovered : kDeleteRing).color(scheme),
    };
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
