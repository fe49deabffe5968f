// SPDX-License-Identifier: MIT
#pragma once

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>

// The pixel ratio of what is really painted on, for sizing cached drawings. A
// widget rendered into an image (a drag pixmap, a gallery) paints through a
// redirection, and the widget's own ratio would leave them blurred there.
inline qreal paintRatio(const QPainter &painter)
{
    if (const QPaintEngine *engine = painter.paintEngine(); engine && engine->paintDevice())
        return engine->paintDevice()->devicePixelRatioF();
    return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}
