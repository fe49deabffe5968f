// SPDX-License-Identifier: MIT
#include "focusring.h"

#include "theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

void FocusRing::focusIn(Qt::FocusReason reason)
{
    switch (reason) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        m_byKeyboard = true;
        break;
    case Qt::ActiveWindowFocusReason:
        // The panel coming back to the front keeps what it showed.
        break;
    default:
        m_byKeyboard = false;
        break;
    }
}

bool FocusRing::isShown(const QWidget &widget) const
{
    return m_byKeyboard && widget.hasFocus();
}

void FocusRing::paint(QPainter &painter, const QPainterPath &outline, ColorScheme scheme)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipPath(outline, Qt::IntersectClip);
    // Twice the width, half of it clipped away: the ring stays inside.
    painter.strokePath(outline, QPen(theme::kFocusRing.color(scheme), 2 * theme::kFocusRingWidth));
    painter.restore();
}
