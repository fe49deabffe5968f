// SPDX-License-Identifier: MIT
#include "fileiconview.h"

#include "glyph.h"
#include "mimeiconprovider.h"
#include "theme.h"

#include <QFileInfo>
#include <QPaintDevice>
#include <QPainter>

FileIconView::FileIconView(const QString &path, QWidget *parent,
                           const QAbstractFileIconProvider *provider)
    : QWidget(parent)
    , m_path(path)
    , m_provider(provider ? provider : &desktopProvider())
{
    setAttribute(Qt::WA_TranslucentBackground);
}

const QAbstractFileIconProvider &FileIconView::desktopProvider()
{
    static const MimeIconProvider provider;
    return provider;
}

void FileIconView::paint(QPainter &painter, const QRectF &frame, const QString &path,
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

void FileIconView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), m_path, *m_provider, colorSchemeOf(palette()));
}
