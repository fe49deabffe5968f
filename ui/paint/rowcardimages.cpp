// SPDX-License-Identifier: MIT
#include "rowcardimages.h"

#include "fileicon.h"
#include "paintkit.h"
#include "rowcolors.h"
#include "softshadow.h"
#include "theme.h"

#include <QFile>
#include <QPainter>
#include <QString>

QPainterPath RowCardImages::cardPath(const QRectF &card)
{
    QPainterPath path;
    path.addRoundedRect(card, theme::kCardCornerRadius, theme::kCardCornerRadius);
    return path;
}

const RowCardImages::Card &RowCardImages::card(QSize size, ColorScheme scheme, qreal dpr)
{
    if (m_card.size == size && m_card.scheme == scheme && m_card.dpr == dpr)
        return m_card;
    const RowColors colors = RowColors::of(scheme, false);
    const QSizeF padded = QSizeF(size) + QSizeF(2 * kCardPad, 2 * kCardPad);
    const QRectF card(QPointF(kCardPad, kCardPad), QSizeF(size));
    const QPainterPath path = cardPath(card);

    QImage base = PaintKit::transparentImage(padded, dpr);
    QImage border = PaintKit::transparentImage(padded, dpr);
    {
        QPainter p(&base);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(path, colors.cardBase);
        QPainter b(&border);
        b.setRenderHint(QPainter::Antialiasing);
        b.strokePath(path,
                     PaintKit::hairline(theme::glassStroke(scheme, card), theme::kCardRimWidth));
    }
    // The shadow is cast by the card as drawn, translucent base and rim
    // together, so a faint card casts a faint shadow.
    QImage silhouette = base;
    {
        QPainter p(&silhouette);
        p.drawImage(0, 0, border);
    }
    const QImage shadow = silhouetteShadow(silhouette, theme::kCardShadowRadius, colors.cardShadow);
    QImage under = PaintKit::transparentImage(padded, dpr);
    {
        QPainter p(&under);
        p.drawImage(theme::kCardShadowOffset, shadow);
        p.drawImage(QPointF(), base);
    }
    m_card = {size, scheme, dpr, under, border, shadow, colors.cardBase};
    return m_card;
}

const QImage &RowCardImages::icon(const std::filesystem::path &path, ColorScheme scheme, qreal dpr)
{
    if (!m_icon.image.isNull() && m_icon.path == path && m_icon.scheme == scheme &&
        m_icon.dpr == dpr)
        return m_icon.image;
    const QSizeF padded = theme::kFileIconFrame + QSizeF(2 * kIconPad, 2 * kIconPad);
    QImage icon = PaintKit::transparentImage(padded, dpr);
    {
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        FileIcon::paint(p, QRectF(QPointF(kIconPad, kIconPad), theme::kFileIconFrame),
                        QFile::decodeName(path.c_str()), FileIcon::desktopProvider(), scheme);
    }
    m_icon = {path, scheme, dpr, overItsShadow(icon)};
    return m_icon.image;
}

QImage RowCardImages::withIconShadow(const QImage &image)
{
    const qreal dpr = image.devicePixelRatio();
    QImage padded = PaintKit::transparentImage(
        image.deviceIndependentSize() + QSizeF(2 * kIconPad, 2 * kIconPad), dpr);
    {
        QPainter p(&padded);
        p.drawImage(QPointF(kIconPad, kIconPad), image);
    }
    return overItsShadow(padded);
}

QImage RowCardImages::overItsShadow(const QImage &padded)
{
    QColor shadowColor(Qt::black);
    shadowColor.setAlphaF(theme::kIconShadowOpacity);
    QImage composed =
        PaintKit::transparentImage(padded.deviceIndependentSize(), padded.devicePixelRatio());
    QPainter p(&composed);
    p.drawImage(theme::kIconShadowOffset,
                silhouetteShadow(padded, theme::kIconShadowRadius, shadowColor));
    p.drawImage(QPointF(), padded);
    return composed;
}
