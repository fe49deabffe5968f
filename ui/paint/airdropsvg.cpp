// SPDX-License-Identifier: MIT
#include "airdropsvg.h"

#include "glyph.h"
#include "theme.h"

#include <QPaintDevice>
#include <QPainter>
#include <QSvgRenderer>

namespace {
// Three pairs of waves around a beacon over a cone, on the 397 x 373.4 grid
// the button's 14 x 13 frame was laid out for.
constexpr char kRawSVG[] =
    R"SVG(<svg version="1.1" xmlns="http://www.w3.org/2000/svg" viewBox="0 0 397 373.4">
<path fill="#000000" d="M129.58,91.46C107.89,110.99 95.50,138.81 95.50,168.00C95.50,197.19 107.89,225.01 129.58,244.54C134.92,249.35 143.13,248.92 147.94,243.58C152.74,238.25 152.31,230.03 146.98,225.22C130.76,210.62 121.50,189.82 121.50,168.00C121.50,146.18 130.76,125.38 146.98,110.78C152.31,105.97 152.74,97.75 147.94,92.42C143.13,87.08 134.92,86.65 129.58,91.46"/>
<path fill="#000000" d="M267.42,91.46C289.11,110.99 301.50,138.81 301.50,168.00C301.50,197.19 289.11,225.01 267.42,244.54C262.08,249.35 253.87,248.92 249.06,243.58C244.26,238.25 244.69,230.03 250.02,225.22C266.24,210.62 275.50,189.82 275.50,168.00C275.50,146.18 266.24,125.38 250.02,110.78C244.69,105.97 244.26,97.75 249.06,92.42C253.87,87.08 262.08,86.65 267.42,91.46"/>
<path fill="#000000" d="M100.14,58.76C69.18,86.63 51.50,126.34 51.50,168.00C51.50,209.66 69.18,249.37 100.14,277.24C105.47,282.05 113.69,281.62 118.50,276.28C123.30,270.94 122.87,262.72 117.54,257.92C92.05,234.97 77.50,202.29 77.50,168.00C77.50,133.71 92.05,101.03 117.54,78.08C122.87,73.28 123.30,65.06 118.50,59.72C113.69,54.38 105.47,53.95 100.14,58.76"/>
<path fill="#000000" d="M296.86,58.76C327.82,86.63 345.50,126.34 345.50,168.00C345.50,209.66 327.82,249.37 296.86,277.24C291.53,282.05 283.31,281.62 278.50,276.28C273.70,270.94 274.13,262.72 279.46,257.92C304.95,234.97 319.50,202.29 319.50,168.00C319.50,133.71 304.95,101.03 279.46,78.08C274.13,73.28 273.70,65.06 278.50,59.72C283.31,54.38 291.53,53.95 296.86,58.76"/>
<path fill="#000000" d="M70.70,26.06C30.47,62.28 7.50,113.87 7.50,168.00C7.50,222.13 30.47,273.72 70.70,309.94C76.03,314.74 84.25,314.31 89.06,308.98C93.86,303.64 93.43,295.42 88.09,290.62C53.34,259.33 33.50,214.76 33.50,168.00C33.50,121.24 53.34,76.67 88.09,45.38C93.43,40.58 93.86,32.36 89.06,27.02C84.25,21.69 76.03,21.26 70.70,26.06"/>
<path fill="#000000" d="M326.30,26.06C366.53,62.28 389.50,113.87 389.50,168.00C389.50,222.13 366.53,273.72 326.30,309.94C320.97,314.74 312.75,314.31 307.94,308.98C303.14,303.64 303.57,295.42 308.91,290.62C343.66,259.33 363.50,214.76 363.50,168.00C363.50,121.24 343.66,76.67 308.91,45.38C303.57,40.58 303.14,32.36 307.94,27.02C312.75,21.69 320.97,21.26 326.30,26.06"/>
<path fill="#000000" d="M198.50,132.00C178.62,132.00 162.50,148.12 162.50,168.00C162.50,187.88 178.62,204.00 198.50,204.00C218.38,204.00 234.50,187.88 234.50,168.00C234.50,148.12 218.38,132.00 198.50,132.00"/>
<path fill="#000000" d="M196.50,228.80C175.83,275.20 155.17,321.60 134.50,368.00C155.17,368.00 175.83,368.00 196.50,368.00C196.50,321.60 196.50,275.20 196.50,228.80"/>
<path fill="#000000" d="M200.50,228.80C200.50,275.20 200.50,321.60 200.50,368.00C221.17,368.00 241.83,368.00 262.50,368.00C241.83,321.60 221.17,275.20 200.50,228.80"/>
</svg>)SVG";

// Rendered well above any size the panel shows, so scaling down stays smooth.
constexpr qreal kMaskScale = 2.0;
} // namespace

const QImage *AirDropSVG::templateImage()
{
    static const QImage mask = [] {
        QSvgRenderer renderer(QByteArray::fromRawData(kRawSVG, sizeof(kRawSVG) - 1));
        if (!renderer.isValid() || renderer.viewBoxF().isEmpty())
            return QImage();
        QImage image((renderer.viewBoxF().size() * kMaskScale).toSize(),
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        // Only coverage counts: whatever colour the drawing names becomes black.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), Qt::black);
        painter.end();
        return image;
    }();
    return mask.isNull() ? nullptr : &mask;
}

void AirDropSVG::paint(QPainter &painter, const QRectF &frame, const QColor &color,
                       const QImage *templateImage)
{
    if (frame.isEmpty())
        return;
    if (!templateImage) {
        const QRectF symbol(frame.center() - QPointF(theme::kSymbolSize, theme::kSymbolSize) / 2,
                            QSizeF(theme::kSymbolSize, theme::kSymbolSize));
        paintGlyph(painter, Glyph::SharePlay, symbol, color);
        return;
    }
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (frame.size() * dpr).toSize().expandedTo(QSize(1, 1));
    // Smooth scaling averages the large mask down, so thin waves hold together at 14 px.
    QImage tinted = templateImage->scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter tint(&tinted);
    tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tint.fillRect(tinted.rect(), color);
    tint.end();
    painter.drawImage(frame, tinted);
}
