// SPDX-License-Identifier: MIT
#include "contentoverlay.h"

#include "contentarea.h"
#include "fonts.h"
#include "theme.h"

#include <QPainter>
#include <QPainterPath>

using namespace theme;

ContentOverlay::ContentOverlay(ContentArea *area)
    : QWidget(area)
    , m_area(area)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
}

QFont ContentOverlay::bannerFont()
{
    return systemFont(kBannerTextSize, QFont::Bold, FontDesign::Rounded);
}

void ContentOverlay::paintEvent(QPaintEvent *)
{
    const ColorScheme scheme = colorSchemeOf(palette());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintHighlight(painter, scheme);
    paintBanner(painter);
}

void ContentOverlay::paintHighlight(QPainter &painter, ColorScheme scheme)
{
    const double opacity = m_area->highlightOpacity();
    if (opacity <= 0.001) {
        return;
    }
    painter.save();
    painter.setOpacity(opacity);
    const QRectF frame = m_area->highlightRect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kDropHighlightFill.color(scheme));
    painter.drawRoundedRect(frame, kHighlightRadius, kHighlightRadius);
    QLinearGradient border(frame.topLeft(), frame.bottomLeft());
    border.setColorAt(0, kBlue.color(scheme));
    border.setColorAt(1, kCyan.color(scheme));
    QPen pen(QBrush(border), kHighlightLineWidth, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    // Qt measures dashes in line widths.
    pen.setDashPattern({kHighlightDash / kHighlightLineWidth, kHighlightGap / kHighlightLineWidth});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double half = kHighlightLineWidth / 2; // stroked inside the outline
    painter.drawRoundedRect(frame.adjusted(half, half, -half, -half), kHighlightRadius - half,
                            kHighlightRadius - half);
    painter.restore();
}

void ContentOverlay::paintBanner(QPainter &painter)
{
    const double opacity = m_area->bannerOpacity();
    if (opacity <= 0.001) {
        return;
    }
    const QRectF banner = m_area->bannerRect();
    painter.save();
    painter.setOpacity(std::min(1.0, opacity));
    QPainterPath capsule;
    capsule.addRoundedRect(banner, banner.height() / 2, banner.height() / 2);
    m_shadow.paint(painter, capsule, kBannerShadow.color(), kBannerShadowRadius,
                   kBannerShadowOffset);
    painter.fillPath(capsule, kBannerFill.color(colorSchemeOf(palette())));
    painter.setFont(bannerFont());
    painter.setPen(Qt::white);
    painter.drawText(
        banner.marginsRemoved(QMarginsF(kBannerPadding.width(), kBannerPadding.height(),
                                        kBannerPadding.width(), kBannerPadding.height())),
        Qt::AlignCenter | Qt::TextWordWrap, m_area->bannerText());
    painter.restore();
}
