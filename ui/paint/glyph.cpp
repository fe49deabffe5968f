// SPDX-License-Identifier: MIT
#include "glyph.h"

#include <QBrush>
#include <QPainter>
#include <QPainterPathStroker>
#include <QTransform>

#include <array>

namespace {

QPainterPath stroked(const QPainterPath &line, double width)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line).simplified();
}

QPainterPath downArrow(double top, double tip, double wing)
{
    QPainterPath arrow;
    arrow.moveTo(12, top);
    arrow.lineTo(12, tip);
    arrow.moveTo(12 - wing, tip - wing);
    arrow.lineTo(12, tip);
    arrow.lineTo(12 + wing, tip - wing);
    return arrow;
}

// The open tray: walls, floor, and the lip that dips where things drop in.
QPainterPath trayOutline()
{
    QPainterPath tray;
    tray.moveTo(3, 13);
    tray.lineTo(8, 13);
    tray.lineTo(9.5, 16);
    tray.lineTo(14.5, 16);
    tray.lineTo(16, 13);
    tray.lineTo(21, 13);
    tray.lineTo(21, 18.5);
    tray.quadTo(21, 21, 18.5, 21);
    tray.lineTo(5.5, 21);
    tray.quadTo(3, 21, 3, 18.5);
    tray.closeSubpath();
    return tray;
}

QPainterPath trayAndArrow(bool filled)
{
    if (!filled)
        return stroked(trayOutline(), 1.8).united(stroked(downArrow(2.5, 11, 3.8), 1.9));
    const QPainterPath body = trayOutline().united(stroked(trayOutline(), 1.4));
    return body.united(stroked(downArrow(2.5, 10.5, 4), 2.5));
}

QPainterPath cross(double from, double to, double width)
{
    QPainterPath lines;
    lines.moveTo(from, from);
    lines.lineTo(to, to);
    lines.moveTo(to, from);
    lines.lineTo(from, to);
    return stroked(lines, width);
}

// A filled box with the arrow knocked out where it enters, solid above it.
QPainterPath squareAndArrowDown()
{
    QPainterPath box;
    box.addRoundedRect(QRectF(4, 9, 16, 13), 3, 3);
    const QPainterPath arrow = stroked(downArrow(2, 16, 4), 2.2);
    return box.subtracted(arrow).united(arrow.subtracted(box));
}

QPainterPath docFill()
{
    QPainterPath sheet;
    sheet.moveTo(7, 2);
    sheet.lineTo(12.2, 2);
    sheet.lineTo(12.2, 7);
    sheet.quadTo(12.2, 8.8, 14, 8.8);
    sheet.lineTo(19, 8.8);
    sheet.lineTo(19, 20);
    sheet.quadTo(19, 22, 17, 22);
    sheet.lineTo(7, 22);
    sheet.quadTo(5, 22, 5, 20);
    sheet.lineTo(5, 4);
    sheet.quadTo(5, 2, 7, 2);
    sheet.closeSubpath();
    QPainterPath fold;
    fold.moveTo(13.8, 2.2);
    fold.lineTo(18.8, 7.2);
    fold.lineTo(15, 7.2);
    fold.quadTo(13.8, 7.2, 13.8, 6);
    fold.closeSubpath();
    return sheet.united(fold);
}

// A person between two pairs of waves: sharing with whoever is near.
QPainterPath sharePlay()
{
    QPainterPath person;
    person.addEllipse(QPointF(12, 9.3), 2.7, 2.7);
    person.addRoundedRect(QRectF(7.6, 13.4, 8.8, 5.6), 2.8, 2.8);
    QPainterPath waves;
    for (double radius : {6.6, 10.0}) {
        const QRectF ring(12 - radius, 11.5 - radius, 2 * radius, 2 * radius);
        waves.arcMoveTo(ring, 140);
        waves.arcTo(ring, 140, 80);
        waves.arcMoveTo(ring, -40);
        waves.arcTo(ring, -40, 80);
    }
    return person.united(stroked(waves, 1.8));
}

QPainterPath build(Glyph glyph)
{
    switch (glyph) {
    case Glyph::TrayAndArrowDown:
        return trayAndArrow(false);
    case Glyph::TrayAndArrowDownFill:
        return trayAndArrow(true);
    case Glyph::Multiply:
        return cross(7, 17, 2.4);
    case Glyph::Xmark:
        return cross(5, 19, 2.6);
    case Glyph::SquareAndArrowDownFill:
        return squareAndArrowDown();
    case Glyph::DocFill:
        return docFill();
    case Glyph::SharePlay:
        return sharePlay();
    }
    return {};
}

constexpr int kGlyphCount = static_cast<int>(Glyph::SharePlay) + 1;

// The outline, drawn on a 24-unit grid.
const QPainterPath &glyphPath(Glyph glyph)
{
    // Built by whichever thread comes first; a function-local static makes that safe.
    static const std::array<QPainterPath, kGlyphCount> paths = [] {
        std::array<QPainterPath, kGlyphCount> built;
        for (int i = 0; i < kGlyphCount; ++i)
            built[i] = build(static_cast<Glyph>(i));
        return built;
    }();
    return paths[static_cast<int>(glyph)];
}

} // namespace

QPainterPath glyphPathIn(Glyph glyph, const QRectF &frame)
{
    const QPainterPath &path = glyphPath(glyph);
    const QRectF bounds = path.boundingRect();
    if (bounds.isEmpty() || frame.isEmpty())
        return {};
    const double scale = std::min(frame.width() / bounds.width(), frame.height() / bounds.height());
    QTransform fit;
    fit.translate(frame.center().x(), frame.center().y());
    fit.scale(scale, scale);
    fit.translate(-bounds.center().x(), -bounds.center().y());
    return fit.map(path);
}

void paintGlyph(QPainter &painter, Glyph glyph, const QRectF &frame, const QBrush &brush)
{
    const QPainterPath path = glyphPathIn(glyph, frame);
    if (path.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(path, brush);
    painter.restore();
}
