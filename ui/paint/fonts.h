// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>

enum class FontDesign { Default, Rounded };

// The UI font at a pixel size and weight. The rounded design takes the first installed rounded
// family we know of, else the desktop's UI font, so sizes and weights hold either way.
QFont systemFont(int pixelSize, QFont::Weight weight, FontDesign design = FontDesign::Default);
