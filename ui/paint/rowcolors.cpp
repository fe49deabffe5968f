// SPDX-License-Identifier: MIT
#include "rowcolors.h"

#include "theme.h"

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
