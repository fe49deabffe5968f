// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"

#include <Qt>

class QPainter;
class QPainterPath;
class QWidget;

// Whether a widget shows that it holds the keyboard: only when the keyboard
// brought the focus there (Tab, the arrows, a removal by key), never after a
// click, which already shows where the user is.
class FocusRing final {
public:
    void focusIn(Qt::FocusReason reason);
    bool isShown(const QWidget &widget) const;
    // Strokes just inside `outline`, so a list never clips it.
    static void paint(QPainter &painter, const QPainterPath &outline, ColorScheme scheme);

private:
    bool m_byKeyboard = false;
};
