// SPDX-License-Identifier: MIT
#pragma once

class QColor;
class QPalette;

enum class ColorScheme { Light, Dark };

// Desktops announce dark mode in different ways; what they all do is hand us
// a palette, so a window colour darker than its text colour means dark.
ColorScheme colorSchemeOf(const QPalette &palette);

// `from` at 0, `to` at 1, channel by channel; `t` is clamped, so a spring
// that overshoots never pushes a colour past either end.
QColor blendColors(const QColor &from, const QColor &to, double t);
