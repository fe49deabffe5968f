// SPDX-License-Identifier: MIT
#include "softshadow.h"

#include "paintkit.h"
#include "paintratio.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A running-sum box blur of one line of alpha values, `stride` apart.
void boxBlurLine(uchar *first, int length, int stride, int radius, std::vector<int> &scratch)
{
    scratch.resize(size_t(length));
    for (int i = 0; i < length; ++i)
        scratch[size_t(i)] = first[i * stride];
    const int width = 2 * radius + 1;
    int sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += scratch[size_t(std::clamp(i, 0, length - 1))];
    for (int i = 0; i < length; ++i) {
        first[i * stride] = uchar((sum + width / 2) / width);
        sum += scratch[size_t(std::min(i + radius + 1, length - 1))];
        sum -= scratch[size_t(std::max(i - radius, 0))];
    }
}

} // namespace

QImage silhouetteShadow(const QImage &image, double radius, const QColor &color)
{
    QImage alpha = image.convertToFormat(QImage::Format_Alpha8);
    const qreal dpr = image.devicePixelRatio();
    // The desktop's blur radius is the shadow's reach, about two standard
    // deviations; three box passes of this width come within a few percent
    // of that Gaussian.
    const double sigma = radius * dpr / 2.0;
    const int box = int(std::lround(std::sqrt(4.0 * sigma * sigma + 1.0) / 2.0 - 0.5));
    if (box > 0) {
        std::vector<int> scratch;
        const int w = alpha.width();
        const int h = alpha.height();
        const int stride = int(alpha.bytesPerLine());
        for (int round = 0; round < 3; ++round) {
            for (int y = 0; y < h; ++y)
                boxBlurLine(alpha.scanLine(y), w, 1, box, scratch);
            for (int x = 0; x < w; ++x)
                boxBlurLine(alpha.bits() + x, h, stride, box, scratch);
        }
    }
    QImage shadow(image.size(), QImage::Format_ARGB32_Premultiplied);
    const QRgb premultiplied = qPremultiply(color.rgba());
    for (int y = 0; y < shadow.height(); ++y) {
        const uchar *in = alpha.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(shadow.scanLine(y));
        for (int x = 0; x < shadow.width(); ++x) {
            const uint a = in[x];
            out[x] = qRgba(qRed(premultiplied) * a / 255, qGreen(premultiplied) * a / 255,
                           qBlue(premultiplied) * a / 255, qAlpha(premultiplied) * a / 255);
        }
    }
    shadow.setDevicePixelRatio(dpr);
    return shadow;
}

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
        QImage silhouette =
            PaintKit::transparentImage(bounds.size() + QSizeF(2 * margin, 2 * margin), dpr);
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
