// SPDX-License-Identifier: MIT
#include "rowbuttonface.h"

#include "paintkit.h"

#include "airdropsvg.h"
#include "glyph.h"
#include "paintratio.h"
#include "rowcolors.h"
#include "theme.h"

#include <QHash>
#include <QImage>
#include <QPainter>

namespace {

// Room around the disc for the rim's outer half and antialiasing.
constexpr double kImagePad = 1;

// The AirDrop glyph scaled and tinted in one opaque colour: scaling the large template costs
// too much per frame, and the hover blend only changes opacity, applied when it is drawn.
const QImage &airDropGlyph(qreal dpr, QRgb rgb)
{
    static QHash<std::pair<qreal, QRgb>, QImage> cache;
    const auto key = std::make_pair(dpr, rgb);
    if (auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    QImage image = PaintKit::transparentImage(theme::kAirDropGlyphFrame, dpr);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    AirDropSVG::paint(painter, QRectF(QPointF(), theme::kAirDropGlyphFrame), QColor(rgb),
                      AirDropSVG::templateImage());
    painter.end();
    return *cache.insert(key, image);
}

void paintLive(QPainter &painter, RowButtonFace::Kind kind, ColorScheme scheme, QPointF centre,
               double hover)
{
    const RowColors rest = RowColors::of(scheme, false);
    const RowColors hovered = RowColors::of(scheme, true);
    const double d = theme::kRowButtonDiameter;
    const QRectF disc(centre - QPointF(d, d) / 2, QSizeF(d, d));
    const bool airDrop = kind == RowButtonFace::Kind::AirDrop;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.setBrush(airDrop ? blendColors(rest.airDropDisc, hovered.airDropDisc, hover)
                             : blendColors(rest.deleteDisc, hovered.deleteDisc, hover));
    painter.drawEllipse(disc);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(
        airDrop ? PaintKit::hairline(theme::glassStroke(scheme, disc), theme::kButtonRimWidth)
                : PaintKit::hairline(blendColors(rest.deleteRing, hovered.deleteRing, hover),
                                     theme::kButtonRimWidth));
    painter.drawEllipse(disc);

    if (airDrop) {
        const QColor glyph = blendColors(rest.airDropGlyph, hovered.airDropGlyph, hover);
        const QSizeF size = theme::kAirDropGlyphFrame;
        const QRectF frame(centre - QPointF(size.width(), size.height()) / 2, size);
        painter.setOpacity(painter.opacity() * glyph.alphaF());
        painter.drawImage(frame, airDropGlyph(paintRatio(painter), glyph.rgb()));
    } else {
        const QRectF frame(centre - QPointF(theme::kRowCrossFrame, theme::kRowCrossFrame) / 2,
                           QSizeF(theme::kRowCrossFrame, theme::kRowCrossFrame));
        paintGlyph(painter, Glyph::Xmark, frame,
                   blendColors(rest.deleteCross, hovered.deleteCross, hover));
    }
    painter.restore();
}

} // namespace

void RowButtonFace::paint(QPainter &painter, Kind kind, ColorScheme scheme, QPointF centre,
                          double hover)
{
    // Colours stop at the hovered ones even while a spring overshoots.
    if (hover > 0.0 && hover < 1.0) {
        paintLive(painter, kind, scheme, centre, hover);
        return;
    }
    const bool hovered = hover >= 1.0;
    const qreal dpr = paintRatio(painter);
    static QHash<std::pair<int, qreal>, QImage> cache;
    const auto key = std::make_pair(int(kind) * 4 + int(scheme) * 2 + int(hovered), dpr);
    auto it = cache.constFind(key);
    const double side = theme::kRowButtonDiameter + 2 * kImagePad;
    if (it == cache.constEnd()) {
        QImage image = PaintKit::transparentImage(QSizeF(side, side), dpr);
        QPainter p(&image);
        paintLive(p, kind, scheme, QPointF(side, side) / 2, hovered ? 1.0 : 0.0);
        p.end();
        it = cache.insert(key, image);
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(centre - QPointF(side, side) / 2, *it);
    painter.restore();
}
