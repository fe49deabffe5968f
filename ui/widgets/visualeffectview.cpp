// SPDX-License-Identifier: MIT
#include "visualeffectview.h"

#include "colorscheme.h"
#include "theme.h"
#include <QPainter>
#include <QPainterPath>

VisualEffectView::VisualEffectView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void VisualEffectView::setWindowSupport(windowblur::Support support)
{
    m_support = support;
    requestBlur();
    update();
}

bool VisualEffectView::isTranslucent() const
{
    return m_support.blurBehind && hasChrome();
}

bool VisualEffectView::hasChrome() const
{
    // The window keeps its alpha only where it asked for it and a
    // compositor mixes it in; elsewhere its corners would come out black.
    return m_support.compositing && window()->testAttribute(Qt::WA_TranslucentBackground);
}

void VisualEffectView::showEvent(QShowEvent *event)
{
    setWindowSupport(windowblur::probe());
    QWidget::showEvent(event);
}

void VisualEffectView::resizeEvent(QResizeEvent *event)
{
    requestBlur();
    QWidget::resizeEvent(event);
}

void VisualEffectView::requestBlur()
{
    if (!isTranslucent() || !isVisible())
        return;
    windowblur::requestBlurBehind(window()->winId(), QRect(mapTo(window(), QPoint(0, 0)), size()));
}

void VisualEffectView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const ColorScheme scheme = colorSchemeOf(palette());
    QColor tint = theme::kPopoverMaterial.color(scheme);
    if (!isTranslucent())
        tint.setAlphaF(1.0);
    // The tint replaces whatever the window held.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (!hasChrome()) {
        painter.fillRect(rect(), tint);
        return;
    }
    // Outside the corners the window stays clear, as it starts each frame,
    // and the popover's shadow shows there.
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), theme::kPopoverCornerRadius, theme::kPopoverCornerRadius);
    painter.fillPath(shape, tint);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(theme::kPopoverRim.color(scheme), theme::kPopoverRimWidth));
    const double half = theme::kPopoverRimWidth / 2;
    const double r = theme::kPopoverCornerRadius - half;
    painter.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), r, r);
}
