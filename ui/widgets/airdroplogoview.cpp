// SPDX-License-Identifier: MIT
#include "airdroplogoview.h"

#include "airdropsvg.h"

#include <QPainter>

AirDropLogoView::AirDropLogoView(const QColor &color, QWidget *parent)
    : QWidget(parent)
    , m_color(color)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void AirDropLogoView::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void AirDropLogoView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    AirDropSVG::paint(painter, rect(), m_color, AirDropSVG::templateImage());
}
