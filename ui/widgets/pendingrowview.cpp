// SPDX-License-Identifier: MIT
#include "pendingrowview.h"

#include "paintratio.h"
#include "rowbuttonface.h"
#include "rowcolors.h"
#include "rowlayout.h"
#include "snappybutton.h"
#include "texts.h"
#include "theme.h"

#include <QFontMetricsF>
#include <QPainter>

#include <chrono>
#include <cmath>

using namespace theme;

namespace {

// The bar's state in steps no finer than a device pixel of a 300 px bar.
int permilleOf(const PendingCopy &copy)
{
    if (copy.bytesTotal == 0)
        return -1;
    return int(std::min<std::uint64_t>(1000, copy.bytesDone * 1000 / copy.bytesTotal));
}

} // namespace

PendingRowView::PendingRowView(const PendingCopy &copy, QWidget *parent)
    : QWidget(parent)
    , m_copy(copy)
    , m_cancelButton(new SnappyButton(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    const int side = int(kRowButtonDiameter) + 2 * kRowButtonOverflow;
    m_cancelButton->setLabelSize(QSize(side, side));
    m_cancelButton->resize(side, side);
    m_cancelButton->setToolTip(Texts::cancelCopy());
    m_cancelButton->setAccessibleName(Texts::cancelCopy());
    m_cancelButton->setAttribute(Qt::WA_Hover); // repaints its face on enter and leave
    m_cancelButton->setLabelPainter([this](QPainter &painter, const QRectF &frame) {
        RowButtonFace::paint(painter, RowButtonFace::Kind::Remove, colorSchemeOf(palette()),
                             frame.center(), m_cancelButton->underMouse() ? 1.0 : 0.0);
    });
    connect(m_cancelButton, &QAbstractButton::clicked, this,
            [this] { Q_EMIT cancelRequested(m_copy.id); });
    m_shownPermille = permilleOf(copy);
    updateAccessibleName();
    layoutContent();
}

void PendingRowView::setProgress(const PendingCopy &copy)
{
    m_copy = copy;
    const int permille = permilleOf(copy);
    // While the total is unknown the sweep moves with time: each report of
    // bytes moved is a frame of it.
    if (permille == m_shownPermille && permille >= 0)
        return;
    const bool spoken =
        (permille < 0) != (m_shownPermille < 0) || permille / 10 != m_shownPermille / 10;
    m_shownPermille = permille;
    if (spoken)
        updateAccessibleName();
    update(barRect().toAlignedRect().adjusted(-1, -1, 1, 1));
}

void PendingRowView::updateAccessibleName()
{
    setAccessibleName(
        Texts::copying(m_copy.displayName(), m_shownPermille < 0 ? -1 : m_shownPermille / 10));
}

QSize PendingRowView::sizeHint() const
{
    // An entry's card, so the list does not move when the copy turns into one.
    return RowLayout::cardSizeHint().grownBy(contentsMargins());
}

void PendingRowView::layoutContent()
{
    const QRectF card(contentsRect());
    const double d = kRowButtonDiameter;
    const QRectF cancel(card.right() - kRowInsetX - d, card.center().y() - d / 2, d, d);
    const QPoint overflow(kRowButtonOverflow, kRowButtonOverflow);
    m_cancelButton->move(cancel.toRect().topLeft() - overflow);
    const QFontMetricsF metrics(RowLayout::nameFont());
    const double left = card.left() + kRowInsetX + kFileIconFrame.width() + kRowContentSpacing;
    const double available = std::max(0.0, cancel.left() - kRowContentSpacing - left);
    m_name = QStaticText(metrics.elidedText(m_copy.displayName(), Qt::ElideMiddle, available));
    m_name.setTextFormat(Qt::PlainText);
    m_name.prepare(QTransform(), RowLayout::nameFont());
    const double column = metrics.height() + 2 * kRowLineSpacing + kProgressBarHeight;
    m_namePos = QPointF(left, card.center().y() - column / 2);
    m_bar = QRectF(left, m_namePos.y() + metrics.height() + 2 * kRowLineSpacing, available,
                   kProgressBarHeight);
}

void PendingRowView::resizeEvent(QResizeEvent *event)
{
    layoutContent();
    QWidget::resizeEvent(event);
}

void PendingRowView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const qreal dpr = paintRatio(painter);
    const ColorScheme scheme = colorSchemeOf(palette());
    const QRectF card(contentsRect());
    const QPointF pad(RowCardImages::kCardPad, RowCardImages::kCardPad);
    const QRectF bar = barRect();
    const RowCardImages::Card &cached = m_images.card(card.size().toSize(), scheme, dpr);
    painter.drawImage(card.topLeft() - pad, cached.under);
    const QPointF icon(card.left() + kRowInsetX, card.center().y() - kFileIconFrame.height() / 2);
    painter.drawImage(icon - QPointF(RowCardImages::kIconPad, RowCardImages::kIconPad),
                      m_images.icon(m_copy.originalName, scheme, dpr));
    painter.setPen(RowColors::of(scheme, false).name);
    painter.setFont(RowLayout::nameFont());
    painter.drawStaticText(m_namePos, m_name);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const double radius = bar.height() / 2;
    painter.setBrush(kProgressTrack.color(scheme));
    painter.drawRoundedRect(bar, radius, radius);
    painter.setBrush(kProgressFill.color(scheme));
    if (m_shownPermille >= 0) {
        painter.drawRoundedRect(
            QRectF(bar.topLeft(), QSizeF(bar.width() * (m_shownPermille / 1000.0), bar.height())),
            radius, radius);
    } else {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_copy.started)
                .count();
        const double phase = std::fmod(elapsed / kProgressSweepPeriod, 1.0);
        const double width = bar.width() * kProgressSweepFraction;
        const double x = bar.left() - width + phase * (bar.width() + width);
        painter.setClipRect(bar);
        painter.drawRoundedRect(QRectF(x, bar.top(), width, bar.height()), radius, radius);
    }
    painter.setClipping(false);
    painter.drawImage(card.topLeft() - pad, cached.border);
}
