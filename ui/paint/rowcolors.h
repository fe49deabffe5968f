// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"

#include <QColor>

// The colours of a file row in one scheme, all at rest or all hovered. The row blends each
// element by its own hover progress: the card and its two buttons move independently.
struct RowColors final {
    QColor cardBase;
    QColor cardTint;
    QColor name;
    QColor size;
    QColor cardShadow;
    QColor airDropGlyph;
    QColor airDropDisc;
    QColor deleteCross;
    QColor deleteDisc;
    QColor deleteRing;

    static RowColors of(ColorScheme scheme, bool hovered);
};
