// SPDX-License-Identifier: MIT
#pragma once

#include <QPainterPath>

class QBrush;
class QPainter;
class QRectF;

// Our own drawings of the symbols the panel and the tray use, kept as filled
// outlines so they take any colour or gradient and stay crisp at any size.
enum class Glyph {
    TrayAndArrowDown,
    TrayAndArrowDownFill,
    Multiply,
    Xmark,
    SquareAndArrowDownFill,
    DocFill,
    SharePlay,
};

// The outline scaled to fit `frame`, aspect ratio kept, centred; for a
// shadow or a clip of the glyph's shape.
QPainterPath glyphPathIn(Glyph glyph, const QRectF &frame);
// Fills the glyph as large as fits in `frame`, aspect ratio kept, centred.
void paintGlyph(QPainter &painter, Glyph glyph, const QRectF &frame, const QBrush &brush);
