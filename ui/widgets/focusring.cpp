// SPDX-License-Identifier: MIT
#include "focusring.h"

#include "theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

void FocusRing::focusIn(Qt::FocusReason reason)
{
    // The panel coming back to the front keeps what it showed.
    if (reason != Qt::ActiveWindowFocusReason)
        m_byKeyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                       reason == Qt::ShortcutFocusReason;
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
