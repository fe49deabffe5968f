// SPDX-License-Identifier: MIT
#include "trayglyph.h"

#include "displayserver.h"
#include "glyph.h"
#include "xembedtraywatch.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const QColor kLightGlyph(Qt::white);
const QColor kDarkGlyph(Qt::black);

double luminance(const QColor &colour)
{
    const auto channel = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

// WCAG's contrast ratio of two opaque colours, from 1 to 21.
double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

QColor trayglyph::glyphColourOn(const QColor &background)
{
    return contrastRatio(kLightGlyph, background) >= contrastRatio(kDarkGlyph, background)
               ? kLightGlyph
               : kDarkGlyph;
}

QColor trayglyph::backgroundOf(const QImage &grab)
{
    if (grab.isNull()) {
        return {};
    }
    const int right = grab.width() - 1;
    const int bottom = grab.height() - 1;
    // The median of the four corners: one may hold a neighbour's edge or the
    // tray's border.
    std::vector<QColor> corners{grab.pixelColor(0, 0), grab.pixelColor(right, 0),
                                grab.pixelColor(0, bottom), grab.pixelColor(right, bottom)};
    std::sort(corners.begin(), corners.end(),
              [](const QColor &a, const QColor &b) { return luminance(a) < luminance(b); });
    return corners[1];
}

std::optional<QColor> trayglyph::glyphColourAt(const QRect &geometry)
{
    if (const std::optional<QColor> announced = XembedTrayWatch::announcedForeground()) {
        return announced;
    }
    if (geometry.isEmpty() || !displayserver::isX11()) {
        return std::nullopt;
    }
    QScreen *screen = QGuiApplication::screenAt(geometry.center());
    if (screen == nullptr) {
        return std::nullopt;
    }
    const QRect local = geometry.translated(-screen->geometry().topLeft());
    const QImage grab =
        screen->grabWindow(0, local.x(), local.y(), local.width(), local.height()).toImage();
    if (grab.isNull()) {
        return std::nullopt;
    }
    return glyphColourOn(backgroundOf(grab));
}

QIcon trayglyph::icon(const QColor &foreground, const QColor &halo)
{
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64}) {
        for (qreal dpr : {1.0, 2.0}) {
            QPixmap pixmap(QSize(side, side) * dpr);
            pixmap.setDevicePixelRatio(dpr);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            // A little air around the glyph, as tray icons have.
            const qreal margin = side / 8.0;
            const QRectF frame(margin, margin, side - 2 * margin, side - 2 * margin);
            if (halo.alpha() > 0) {
                painter.strokePath(
                    glyphPathIn(Glyph::TrayAndArrowDown, frame),
                    QPen(halo, side / 10.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            }
            paintGlyph(painter, Glyph::TrayAndArrowDown, frame, foreground);
            painter.end();
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}
