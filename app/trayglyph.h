// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>

#include <optional>

class QIcon;
class QImage;
class QRect;

// The tray glyph, and its colour over an XEmbed tray, taken from the tray: a
// panel's colours need not follow the application's (a light trayer beside a
// dark Qt theme).
namespace trayglyph {

// The glyph in `foreground`, at the sizes trays ask for; with a `halo` around
// it where the background is not known.
QIcon icon(const QColor &foreground, const QColor &halo = Qt::transparent);

// The glyph colour that reads best on `background`: light on dark, dark on light.
QColor glyphColourOn(const QColor &background);

// The tray's background: what shows at the corners of `grab`, the icon's
// square, where the glyph never paints.
QColor backgroundOf(const QImage &grab);

// For an icon at `geometry` (global): the tray's announced foreground, else
// what reads on the background; none when neither is known.
std::optional<QColor> glyphColourAt(const QRect &geometry);

} // namespace trayglyph
