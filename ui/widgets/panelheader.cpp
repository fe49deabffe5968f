// SPDX-License-Identifier: MIT
#include "panelheader.h"

#include "animatedvalue.h"
#include "colorscheme.h"
#include "filedrag.h"
#include "fonts.h"
#include "glyph.h"
#include "snappybutton.h"
#include "stashletmanager.h"
#include "texts.h"
#include "theme.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

using namespace theme;

namespace {

QFont titleFont()
{
    return systemFont(kTitleTextSize, QFont::Bold, FontDesign::Rounded);
}

QFont badgeFont()
{
    return systemFont(kCountTextSize, QFont::Bold, FontDesign::Rounded);
}

// The badge's fill for `count` entries once settled.
QColor badgeColorFor(qsizetype count, ColorScheme scheme)
{
    if (count >= StashletManager::kLimit)
        return kRed.color(scheme);
    if (count >= kCountWarnAt)
        return kOrange.color(scheme);
    return count == 0 ? kCountBadgeEmpty.color() : kBlue.color(scheme);
}

} // namespace

PanelHeader::PanelHeader(QWidget *parent)
    : QWidget(parent)
    , m_closeButton(new SnappyButton(this))
    , m_badgeProgress(new AnimatedValue(1.0, this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true); // the hand over the badge
    // The title and the count are painted; screen readers get them here.
    setAccessibleName(Texts::appName());
    setAccessibleDescription(badgeText());
    m_badgeFrom = badgeColorFor(0, colorSchemeOf(palette()));
    connect(m_badgeProgress, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));

    m_closeButton->setLabelSize(QSize(int(kCloseButtonDiameter), int(kCloseButtonDiameter)));
    m_closeButton->setToolTip(Texts::close());
    m_closeButton->setAccessibleName(Texts::close());
    m_closeButton->setLabelPainter([this](QPainter &painter, const QRectF &frame) {
        const ColorScheme scheme = colorSchemeOf(palette());
        painter.setPen(Qt::NoPen);
        painter.setBrush(kCloseDisc.color(scheme));
        painter.drawEllipse(frame);
        const QRectF glyph(frame.center() - QPointF(kCloseGlyphSize, kCloseGlyphSize) / 2,
                           QSizeF(kCloseGlyphSize, kCloseGlyphSize));
        paintGlyph(painter, Glyph::Multiply, glyph, kCloseGlyph.color(scheme));
    });
}

void PanelHeader::setFiles(const QList<TempFile> &files)
{
    m_files = files;
    setEntryCount(files.size());
}

std::unique_ptr<QMimeData> PanelHeader::mimeDataForDrag() const
{
    return m_files.isEmpty() ? nullptr : FileDrag::mimeData(m_files);
}

bool PanelHeader::badgeDraggableAt(QPointF pos) const
{
    return !m_files.isEmpty() && badgeRect().contains(pos);
}

bool PanelHeader::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        if (badgeDraggableAt(help->pos())) {
            QToolTip::showText(help->globalPos(), Texts::dragAll(), this,
                               badgeRect().toAlignedRect());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(event);
}

void PanelHeader::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton && badgeDraggableAt(event->position());
    m_pressPos = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void PanelHeader::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_pressed && (event->buttons() & Qt::LeftButton) &&
        (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        m_pressed = false;
        // The shelf may have emptied since the press: then nothing is dragged.
        if (auto offered = mimeDataForDrag())
            FileDrag::run(this, std::move(offered), badgeRect().toAlignedRect(), m_pressPos);
        return;
    }
    if (badgeDraggableAt(event->position()))
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void PanelHeader::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressed = false;
    QWidget::mouseReleaseEvent(event);
}

QString PanelHeader::badgeText() const
{
    return Texts::count(m_count, StashletManager::kLimit);
}

QColor PanelHeader::badgeColor() const
{
    return blendColors(m_badgeFrom, badgeColorFor(m_count, colorSchemeOf(palette())),
                       m_badgeProgress->value());
}

void PanelHeader::setEntryCount(qsizetype count)
{
    if (count == m_count)
        return;
    // The spring starts from the colour on screen, so a change that
    // interrupts another never jumps.
    m_badgeFrom = badgeColor();
    m_count = count;
    setAccessibleDescription(badgeText());
    m_badgeProgress->setValue(0.0);
    m_badgeProgress->animateTo(1.0, kSettleSpring);
    update();
}

void PanelHeader::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange) {
        m_badgeFrom = badgeColorFor(m_count, colorSchemeOf(palette()));
        m_badgeProgress->setValue(1.0);
        update();
    }
    QWidget::changeEvent(event);
}

void PanelHeader::resizeEvent(QResizeEvent *event)
{
    const int side = int(kCloseButtonDiameter);
    m_closeButton->setGeometry(width() - kHeaderSideMargin - side, (height() - side) / 2, side,
                               side);
    QWidget::resizeEvent(event);
}

QSize PanelHeader::sizeHint() const
{
    const int content = std::max(
        {QFontMetrics(titleFont()).height(), int(kCloseButtonDiameter), int(badgeRect().height())});
    return {320, content + 2 * kHeaderTopBottomMargin};
}

QRectF PanelHeader::badgeRect() const
{
    const QFontMetricsF metrics(badgeFont());
    const QSizeF size(metrics.horizontalAdvance(badgeText()) + 2 * kCountBadgePadding.width(),
                      metrics.height() + 2 * kCountBadgePadding.height());
    const double right = width() - kHeaderSideMargin - kCloseButtonDiameter - kHeaderSpacing;
    return {QPointF(right - size.width(), (height() - size.height()) / 2), size};
}

void PanelHeader::paintEvent(QPaintEvent *)
{
    const ColorScheme scheme = colorSchemeOf(palette());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF glyph(kHeaderSideMargin, (height() - kTitleGlyphSize) / 2, kTitleGlyphSize,
                       kTitleGlyphSize);
    QLinearGradient titleFill(glyph.topLeft(), glyph.bottomRight());
    titleFill.setColorAt(0, kBlue.color(scheme));
    titleFill.setColorAt(1, kCyan.color(scheme));
    paintGlyph(painter, Glyph::TrayAndArrowDownFill, glyph, titleFill);

    painter.setFont(titleFont());
    painter.setPen(kPrimaryText.color(scheme));
    const QRectF title(glyph.right() + kHeaderSpacing, 0, width(), height());
    painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, Texts::appName());

    const QRectF badge = badgeRect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(badgeColor());
    painter.drawRoundedRect(badge, badge.height() / 2, badge.height() / 2);
    painter.setFont(badgeFont());
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, badgeText());
}
