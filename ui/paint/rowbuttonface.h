// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"

#include <QPointF>

class QPainter;

// The face of a file row's button: a 26 px disc, its rim and its glyph, in
// the colours of the scheme blended by hover progress (0 at rest, 1 hovered).
namespace RowButtonFace {

enum class Kind { AirDrop, Remove };

// At rest and fully hovered the face is blitted from a drawing made once per
// kind, scheme and pixel ratio; only in between is it drawn afresh.
void paint(QPainter &painter, Kind kind, ColorScheme scheme, QPointF centre, double hover);

} // namespace RowButtonFace
