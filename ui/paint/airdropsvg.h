// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>

class QColor;
class QPainter;
class QRectF;

// Our AirDrop glyph, drawn from SVG text through a template image: a coverage
// mask that views fill with whatever colour they need.
namespace AirDropSVG {

// Made on first use, once per process whichever threads ask; null when the
// SVG could not be turned into an image, and then for good.
const QImage *templateImage();

// The glyph in one colour, stretched to exactly `frame`. Without a template
// image it draws the sharing glyph, same colour, at its own size.
void paint(QPainter &painter, const QRectF &frame, const QColor &color,
           const QImage *templateImage);

} // namespace AirDropSVG
