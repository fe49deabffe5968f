// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>

#include <optional>

class QIcon;
class QImage;
class QRect;

// The tray glyph: its drawing, and its colour over an XEmbed tray, taken from
// the tray rather than from the application's palette: a panel's colours need
// not follow the application theme (a light trayer beside a dark Qt theme).
namespace trayglyph {

// The glyph in `foreground`, at the sizes trays ask for; with a `halo` around
// it where the background is not known.
QIcon icon(const QColor &foreground, const QColor &halo = Qt::transparent);

// WCAG's contrast ratio of two opaque colours, from 1 to 21.
double contrastRatio(const QColor &a, const QColor &b);

// The glyph colour that reads best on `background`: light on dark, dark on light.
QColor glyphColourOn(const QColor &background);

// What shows at the corners of `grab` (the icon's own square, where the glyph
// never paints): the tray's background behind the icon.
QColor backgroundOf(const QImage &grab);

// The glyph colour for an icon at `geometry` (global): the tray's announced
// foreground, else the colour that reads on what lies behind the icon. None
// when neither is known (not on X11, or not embedded yet).
std::optional<QColor> glyphColourAt(const QRect &geometry);

} // namespace trayglyph
