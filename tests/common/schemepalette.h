// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"

#include <QPalette>

// A palette that reads as the light or the dark scheme, as a desktop's would.
inline QPalette schemePalette(ColorScheme scheme)
{
    QPalette palette;
    const bool dark = scheme == ColorScheme::Dark;
    palette.setColor(QPalette::Window, dark ? QColor(38, 38, 40) : QColor(246, 246, 246));
    palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
    palette.setColor(QPalette::Text, dark ? Qt::white : Qt::black);
    palette.setColor(QPalette::ButtonText, dark ? Qt::white : Qt::black);
    return palette;
}
