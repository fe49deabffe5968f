// SPDX-License-Identifier: MIT
#include "airdroplogoview.h"

#include "airdropsvg.h"
#include "glyph.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>

namespace {
// The size a symbol takes next to body text; the fallback is not stretched.
constexpr double kSymbolSize = 13.0;
} // namespace

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

void AirDropLogoView::paint(QPainter &painter, const QRectF &frame, const QColor &color,
                            const QImage *templateImage)
{
    if (frame.isEmpty())
        return;
    if (!templateImage) {
        const QRectF symbol(frame.center() - QPointF(kSymbolSize, kSymbolSize) / 2,
                            QSizeF(kSymbolSize, kSymbolSize));
        paintGlyph(painter, Glyph::SharePlay, symbol, color);
        return;
    }
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (frame.size() * dpr).toSize().expandedTo(QSize(1, 1));
    // Smooth scaling averages the large mask down, which keeps thin waves
    // from breaking up at 14 px.
    QImage tinted = templateImage->scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter tint(&tinted);
    tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tint.fillRect(tinted.rect(), color);
    tint.end();
    painter.drawImage(frame, tinted);
}

void AirDropLogoView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), m_color, AirDropSVG::templateImage());
}
