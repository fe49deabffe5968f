// SPDX-License-Identifier: MIT
#include "fileicon.h"

#include "glyph.h"
#include "mimeiconprovider.h"
#include "theme.h"

#include <QFileInfo>
#include <QPaintDevice>
#include <QPainter>

const QAbstractFileIconProvider &FileIcon::desktopProvider()
{
    static const MimeIconProvider provider;
    return provider;
}

void FileIcon::paint(QPainter &painter, const QRectF &frame, const QString &path,
                     const QAbstractFileIconProvider &provider, ColorScheme scheme)
{
    if (frame.isEmpty())
        return;
    const QIcon icon = provider.icon(QFileInfo(path));
    if (icon.isNull()) {
        paintGlyph(painter, Glyph::DocFill, frame, theme::kBlue.color(scheme));
        return;
    }
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize want = frame.size().toSize().expandedTo(QSize(1, 1));
    const QPixmap pixmap = icon.pixmap(want, dpr);
    const QSizeF natural = pixmap.deviceIndependentSize();
    if (natural.isEmpty()) {
        paintGlyph(painter, Glyph::DocFill, frame, theme::kBlue.color(scheme));
        return;
    }
    // A theme may hand back a smaller or oddly shaped pixmap: stretch it
    // whole to fit, never crop.
    const QSizeF fitted = natural.scaled(frame.size(), Qt::KeepAspectRatio);
    const QRectF target(frame.center() - QPointF(fitted.width(), fitted.height()) / 2, fitted);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, pixmap, pixmap.rect());
    painter.restore();
}
