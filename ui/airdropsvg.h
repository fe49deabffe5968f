// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QImage>

#include <optional>

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

    // How many times `templateImage()` built its image in this process.
    static int creationCount();
};
