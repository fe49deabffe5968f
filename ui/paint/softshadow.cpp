// SPDX-License-Identifier: MIT
#include "softshadow.h"

#include "paintratio.h"
#include "silhouetteshadow.h"

#include <QPaintDevice>
#include <QPainter>

#include <cmath>

void SoftShadow::paint(QPainter &painter, const QPainterPath &shape, const QColor &color,
                       double radius, QPointF offset)
{
    const double dpr = paintRatio(painter);
    const QRectF bounds = shape.boundingRect();
    const double margin = std::ceil(radius * 2);
    if (m_image.isNull() || m_shape != shape.translated(-bounds.topLeft()) || m_color != color ||
        m_radius != radius || m_dpr != dpr) {
        m_shape = shape.translated(-bounds.topLeft());
        m_color = color;
        m_radius = radius;
        m_dpr = dpr;
        const QSizeF size = bounds.size() + QSizeF(2 * margin, 2 * margin);
        QImage silhouette((size * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        silhouette.setDevicePixelRatio(dpr);
        silhouette.fill(Qt::transparent);
        {
            QPainter p(&silhouette);
            p.setRenderHint(QPainter::Antialiasing);
            p.translate(margin, margin);
            p.fillPath(m_shape, Qt::black);
        }
        m_image = silhouetteShadow(silhouette, radius, color);
    }
    painter.drawImage(bounds.topLeft() + offset - QPointF(margin, margin), m_image);
}
