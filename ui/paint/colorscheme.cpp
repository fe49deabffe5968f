// SPDX-License-Identifier: MIT
#include "colorscheme.h"

#include <QColor>
#include <QPalette>

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
