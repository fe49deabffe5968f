// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QImage>

#include <optional>

class QColor;
class QPainter;
class QRectF;

// Our AirDrop glyph as SVG text, and the template image made from it: a
// coverage mask that views fill with whatever colour they need.
class AirDropSVG final {
public:
    static QByteArrayView rawSVG();

    // Made on first use, once per process whichever threads ask; null when
    // the SVG could not be turned into an image, and then for good.
    static const QImage *templateImage();

    // Mask from any SVG text, or none when it is not valid UTF-8 or not
    // renderable. Opaque where the drawing covers, whatever its fill colour.
    static std::optional<QImage> makeTemplate(QByteArrayView svg);

    // The glyph in one colour, stretched to exactly `frame`. Without a
    // template image it draws the sharing glyph, same colour, at its own size.
    static void paint(QPainter &painter, const QRectF &frame, const QColor &color,
                      const QImage *templateImage);
};
