// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"

#include <QColor>

// The colours of a file row in one scheme, either all at rest or all hovered.
// The row blends each element between the two with its own hover progress,
// so the card, the AirDrop button and the remove button move independently.
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
