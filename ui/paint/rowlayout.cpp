// SPDX-License-Identifier: MIT
#include "rowlayout.h"

#include "fonts.h"
#include "theme.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

using namespace theme;

QFont RowLayout::nameFont()
{
    return systemFont(kRowNameTextSize, QFont::DemiBold, FontDesign::Rounded);
}

QFont RowLayout::sizeFont()
{
    return systemFont(kRowSizeTextSize, QFont::Medium);
}

QSize RowLayout::cardSizeHint()
{
    const QFontMetricsF name(nameFont());
    const QFontMetricsF size(sizeFont());
    const double text = name.height() + kRowLineSpacing + size.height();
    const double content = std::max({kFileIconFrame.height(), text, kRowButtonDiameter});
    const double width = 2 * kRowInsetX + kFileIconFrame.width() + kRowContentSpacing +
                         kRowNameMinimumWidth + 2 * kRowContentSpacing + kRowSpacerMinimum +
                         2 * kRowButtonDiameter + kRowButtonSpacing;
    return {int(std::ceil(width)), int(std::ceil(content + 2 * kRowInsetY))};
}

void RowLayout::place(const QRectF &card, const QString &name, const QString &size)
{
    const double d = kRowButtonDiameter;
    m_removeDisc = QRectF(card.right() - kRowInsetX - d, card.center().y() - d / 2, d, d);
    m_airDropDisc = m_removeDisc.translated(-(d + kRowButtonSpacing), 0);

    const QFont nameF = nameFont();
    const QFont sizeF = sizeFont();
    const QFontMetricsF nameMetrics(nameF);
    const QFontMetricsF sizeMetrics(sizeF);
    const double textX = card.left() + kRowInsetX + kFileIconFrame.width() + kRowContentSpacing;
    const double textRight = m_airDropDisc.left() - 2 * kRowContentSpacing - kRowSpacerMinimum;
    const double available = std::max(0.0, textRight - textX);
    m_name =
        QStaticText(nameMetrics.elidedText(name, Qt::ElideMiddle, available, Qt::TextSingleLine));
    m_name.setTextFormat(Qt::PlainText);
    m_name.prepare(QTransform(), nameF);
    m_size = QStaticText(size);
    m_size.setTextFormat(Qt::PlainText);
    m_size.prepare(QTransform(), sizeF);

    const double column = nameMetrics.height() + kRowLineSpacing + sizeMetrics.height();
    const double top = card.center().y() - column / 2;
    m_namePos = QPointF(textX, top);
    m_sizePos = QPointF(textX, top + nameMetrics.height() + kRowLineSpacing);
}
