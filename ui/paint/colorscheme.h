// SPDX-License-Identifier: MIT
#pragma once

class QPalette;

enum class ColorScheme { Light, Dark };

// Desktops announce dark mode in different ways; what they all do is hand us
// a palette, so a window colour darker than its text colour means dark.
ColorScheme colorSchemeOf(const QPalette &palette);
