// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSize>

#include <filesystem>

// The parts of a file row's card that cost too much to draw every frame,
// drawn once per size, scheme and pixel ratio: the card's base over its
// blurred shadow, its glass rim, and the file icon over its own shadow.
class RowCardImages final {
public:
    // Room around each cached drawing for its blurred shadow and offset.
    static constexpr int kCardPad = 8;
    static constexpr int kIconPad = 4;

    struct Card {
        QSize size;
        ColorScheme scheme = ColorScheme::Light;
        qreal dpr = 0;
        QImage under;  // shadow and base
        QImage border; // the glass rim
        QImage shadow; // alone, for a scaled card drawn as shapes
        QColor base;
    };

    // The card of `size` (without its pad), made afresh only when something changed.
    const Card &card(QSize size, ColorScheme scheme, qreal dpr);
    // The icon of the file at `path`, 32 by 32 plus its pad.
    const QImage &icon(const std::filesystem::path &path, ColorScheme scheme, qreal dpr);

    static QPainterPath cardPath(const QRectF &card);

    // A preview shown in the icon's place, over the shadow the icon casts,
    // with the icon's pad around it.
    static QImage withIconShadow(const QImage &image);

private:
    static QImage overItsShadow(const QImage &padded);

    Card m_card;
    struct Icon {
        std::filesystem::path path;
        ColorScheme scheme = ColorScheme::Light;
        qreal dpr = 0;
        QImage image; // icon over its shadow
    } m_icon;
};
