// SPDX-License-Identifier: MIT
#include "softshadow.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One horizontal and one vertical box pass over the alpha channel; three
// rounds come within a few percent of a Gaussian.
void boxBlurAlpha(QImage &image, int radius)
{
    if (radius <= 0) {
        return;
    }
    const int w = image.width();
    const int h = image.height();
    std::vector<int> line(size_t(std::max(w, h)));
    auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j) {
                line[size_t(j)] = qAlpha(*at(i, j));
            }
            int sum = 0;
            for (int j = -radius; j <= radius; ++j) {
                sum += line[size_t(std::clamp(j, 0, length - 1))];
            }
            for (int j = 0; j < length; ++j) {
                const int a = sum / (2 * radius + 1);
                *at(i, j) = qRgba(0, 0, 0, a);
                sum += line[size_t(std::min(j + radius + 1, length - 1))];
                sum -= line[size_t(std::max(j - radius, 0))];
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(h, w, [&](int y, int x) { return reinterpret_cast<QRgb *>(image.scanLine(y)) + x; });
        pass(w, h, [&](int x, int y) { return reinterpret_cast<QRgb *>(image.scanLine(y)) + x; });
    }
}

} // namespace

void SoftShadow::paint(QPainter &painter, const QPainterPath &shape, const QColor &color,
                       double radius, QPointF offset)
{
    const double dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QRectF bounds = shape.boundingRect();
    const double margin = std::ceil(radius * 2);
    if (m_image.isNull() || m_shape != shape.translated(-bounds.topLeft()) || m_color != color ||
        m_radius != radius || m_dpr != dpr) {
        m_shape = shape.translated(-bounds.topLeft());
        m_color = color;
        m_radius = radius;
        m_dpr = dpr;
        const QSizeF size = bounds.size() + QSizeF(2 * margin, 2 * margin);
        m_image = QImage((size * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_image.fill(Qt::transparent);
        {
            QPainter p(&m_image);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(dpr, dpr);
            p.translate(margin, margin);
            p.fillPath(m_shape, Qt::black);
        }
        // A blur radius in the desktop's sense reaches about twice a box radius.
        boxBlurAlpha(m_image, int(std::lround(radius * dpr / 2)));
        QPainter tint(&m_image);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(m_image.rect(), color);
        m_image.setDevicePixelRatio(dpr);
    }
    painter.drawImage(bounds.topLeft() + offset - QPointF(margin, margin), m_image);
}
