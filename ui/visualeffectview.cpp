// SPDX-License-Identifier: MIT
#include "visualeffectview.h"

#include "colorscheme.h"
#include "theme.h"
#include "windowblur.h"

#include <QPainter>

namespace {
theme::SchemeColor tintOf(VisualEffectView::Material material)
{
    switch (material) {
    case VisualEffectView::Material::Menu:
        return theme::kMenuMaterial;
    case VisualEffectView::Material::Sidebar:
        return theme::kSidebarMaterial;
    case VisualEffectView::Material::HudWindow:
        return theme::kHudMaterial;
    case VisualEffectView::Material::Popover:
        break;
    }
    return theme::kPopoverMaterial;
}
} // namespace

VisualEffectView::VisualEffectView(QWidget *parent)
    : VisualEffectView(Material::Popover, BlendingMode::BehindWindow, parent)
{
}

VisualEffectView::VisualEffectView(Material material, BlendingMode blendingMode, QWidget *parent)
    : QWidget(parent)
    , m_material(material)
    , m_blendingMode(blendingMode)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void VisualEffectView::setMaterial(Material material)
{
    if (material == m_material)
        return;
    m_material = material;
    update();
}

void VisualEffectView::setBlendingMode(BlendingMode mode)
{
    if (mode == m_blendingMode)
        return;
    m_blendingMode = mode;
    requestBlur();
    update();
}

bool VisualEffectView::isTranslucent() const
{
    if (m_blendingMode == BlendingMode::WithinWindow)
        return true;
    // Behind the window there is only something to see when the compositor
    // mixes it in and the window keeps its alpha.
    return m_compositorRunning && window()->testAttribute(Qt::WA_TranslucentBackground);
}

void VisualEffectView::showEvent(QShowEvent *event)
{
    m_compositorRunning = windowblur::compositorRunning();
    requestBlur();
    QWidget::showEvent(event);
}

void VisualEffectView::resizeEvent(QResizeEvent *event)
{
    requestBlur();
    QWidget::resizeEvent(event);
}

void VisualEffectView::requestBlur()
{
    if (m_blendingMode != BlendingMode::BehindWindow || !isTranslucent() || !isVisible())
        return;
    windowblur::requestBlurBehind(window(), QRect(mapTo(window(), QPoint(0, 0)), size()));
}

void VisualEffectView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor tint = tintOf(m_material).color(colorSchemeOf(palette()));
    if (!isTranslucent())
        tint.setAlphaF(1.0);
    // Behind the window the tint replaces whatever the window held; within
    // it, the tint lies over the content below.
    if (m_blendingMode == BlendingMode::BehindWindow)
        painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), tint);
}
