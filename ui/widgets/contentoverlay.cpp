// SPDX-License-Identifier: MIT
#include "contentoverlay.h"

#include "fonts.h"
#include "theme.h"

#include <QAccessible>
#include <QPainter>
#include <QPainterPath>

using namespace theme;

namespace {

QFont bannerFont()
{
    return systemFont(kBannerTextSize, QFont::Bold, FontDesign::Rounded);
}

} // namespace

ContentOverlay::ContentOverlay(QWidget *parent)
    : QWidget(parent)
    , m_highlight(new AnimatedValue(0.0, this))
    , m_banner(new AnimatedValue(0.0, this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    connect(m_highlight, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
    connect(m_banner, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
}

void ContentOverlay::setHighlighted(bool highlighted)
{
    m_highlight->animateTo(highlighted ? 1.0 : 0.0, kDropHighlightFade);
}

void ContentOverlay::setMessage(const std::optional<QString> &message)
{
    if (message) {
        m_bannerText = *message;
        m_banner->animateTo(1.0, kSettleSpring);
    } else {
        m_banner->animateTo(0.0, kBannerHide);
    }
    // A screen reader speaks the alert when it shows, and finds it gone with
    // the message, while the drawing still fades.
    setAccessibleName(message.value_or(QString()));
    if (message) {
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
    update();
}

QRectF ContentOverlay::bannerRect() const
{
    const QFontMetricsF metrics(bannerFont());
    const double maxText = width() - 2 * kBannerSideMargin - 2 * kBannerPadding.width();
    const QRectF text = metrics.boundingRect(QRectF(0, 0, std::max(1.0, maxText), 1e4),
                                             Qt::AlignCenter | Qt::TextWordWrap, m_bannerText);
    const QSizeF size(text.width() + 2 * kBannerPadding.width(),
                      text.height() + 2 * kBannerPadding.height());
    const double restingTop = height() - kBannerBottom - size.height();
    // Comes in from, and goes out to, below the bottom edge.
    const double top = restingTop + (1.0 - m_banner->value()) * (height() - restingTop);
    return {QPointF((width() - size.width()) / 2, top), size};
}

void ContentOverlay::paintEvent(QPaintEvent *)
{
    const ColorScheme scheme = colorSchemeOf(palette());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (highlightOpacity() > 0.001) {
        painter.save();
        painter.setOpacity(highlightOpacity());
        const QRectF frame = QRectF(rect()).adjusted(kHighlightInset, kHighlightInset,
                                                     -kHighlightInset, -kHighlightInset);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kDropHighlightFill.color(scheme));
        painter.drawRoundedRect(frame, kHighlightRadius, kHighlightRadius);
        QLinearGradient border(frame.topLeft(), frame.bottomLeft());
        border.setColorAt(0, kBlue.color(scheme));
        border.setColorAt(1, kCyan.color(scheme));
        QPen pen(QBrush(border), kHighlightLineWidth, Qt::CustomDashLine, Qt::FlatCap,
                 Qt::MiterJoin);
        // Qt measures dashes in line widths.
        pen.setDashPattern(
            {kHighlightDash / kHighlightLineWidth, kHighlightGap / kHighlightLineWidth});
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const double half = kHighlightLineWidth / 2; // stroked inside the outline
        painter.drawRoundedRect(frame.adjusted(half, half, -half, -half), kHighlightRadius - half,
                                kHighlightRadius - half);
        painter.restore();
    }
    if (bannerOpacity() > 0.001) {
        const QRectF banner = bannerRect();
        painter.setOpacity(bannerOpacity());
        QPainterPath capsule;
        capsule.addRoundedRect(banner, banner.height() / 2, banner.height() / 2);
        m_shadow.paint(painter, capsule, kBannerShadow.color(), kBannerShadowRadius,
                       kBannerShadowOffset);
        painter.fillPath(capsule, kBannerFill.color(scheme));
        painter.setFont(bannerFont());
        painter.setPen(Qt::white);
        painter.drawText(
            banner.marginsRemoved(QMarginsF(kBannerPadding.width(), kBannerPadding.height(),
                                            kBannerPadding.width(), kBannerPadding.height())),
            Qt::AlignCenter | Qt::TextWordWrap, m_bannerText);
    }
}
