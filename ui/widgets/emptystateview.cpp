// SPDX-License-Identifier: MIT
#include "emptystateview.h"

#include "animatedvalue.h"
#include "colorscheme.h"
#include "fonts.h"
#include "glyph.h"
#include "paintratio.h"
#include "stashletmanager.h"
#include "texts.h"
#include "theme.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

using namespace theme;

namespace {

// The badge is drawn at steps of scale that move the circle's edge by a
// quarter of a pixel: finer than the eye follows in a motion this slow (2 px
// in 2.2 s), and coarse enough that the breathing wakes a few times a second
// (each frame costs the window system several round trips).
constexpr double kScaleStepsPerUnit = 4 * kDropCircleDiameter / 2;
// The circle's shadow reaches twice its blur radius past the circle, offset
// down: the farthest the badge draws from its centre at scale 1.
constexpr double kBadgeReach =
    kDropCircleDiameter / 2 + 2 * kDropCircleShadowRadius + kDropCircleShadowOffset.y();

QFont headlineFont()
{
    return systemFont(kTitleTextSize, QFont::Bold, FontDesign::Rounded);
}

QFont hintFont()
{
    return systemFont(kHintTextSize, QFont::Normal);
}

// Lays the hint out centred in `width`; the block's height.
double layoutHint(QTextLayout &layout, double width)
{
    layout.setText(Texts::emptyHint(StashletManager::kLimit));
    layout.setFont(hintFont());
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    double y = 0;
    double bottom = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        bottom = y + line.height();
        y = bottom + kHintExtraLineSpacing;
    }
    layout.endLayout();
    return bottom;
}

} // namespace

EmptyStateView::EmptyStateView(QWidget *parent)
    : QWidget(parent)
    , m_breatheAmount(new AnimatedValue(1.0, this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(Texts::emptyHeadline());
    setAccessibleDescription(Texts::emptyHint(StashletManager::kLimit));
    m_breatheAmount->setResolution(1.0 / kScaleStepsPerUnit);
    connect(m_breatheAmount, &AnimatedValue::changed, this, &EmptyStateView::onScaleChanged);
}

void EmptyStateView::setDraggingOver(bool draggingOver)
{
    if (m_isDraggingOver != draggingOver) {
        m_isDraggingOver = draggingOver;
        onScaleChanged();
    }
}

double EmptyStateView::badgeScale() const
{
    return m_isDraggingOver ? kDropCircleDragScale : m_breatheAmount->value();
}

int EmptyStateView::scaleStep() const
{
    return static_cast<int>(std::lround((badgeScale() - 1.0) * kScaleStepsPerUnit));
}

void EmptyStateView::onScaleChanged()
{
    if (scaleStep() != m_paintedStep)
        update(badgeArea());
}

QRect EmptyStateView::badgeArea() const
{
    const int reach = static_cast<int>(std::ceil(kDropCircleDragScale * kBadgeReach)) + 1;
    const QPoint centre = m_circle.center().toPoint();
    return {centre - QPoint(reach, reach), QSize(2 * reach, 2 * reach)};
}

void EmptyStateView::resizeEvent(QResizeEvent *event)
{
    // The group (badge, then text) is centred vertically as a whole, on whole
    // pixels so the cached images are blitted, never resampled.
    QTextLayout hint;
    const double hintHeight =
        std::ceil(layoutHint(hint, std::max(1, width() - 2 * kHintSidePadding)));
    const double groupHeight = kDropCircleDiameter + kDropCircleToText +
                               QFontMetricsF(headlineFont()).height() + kHeadlineToHint +
                               hintHeight;
    const double top =
        std::floor(std::max<double>(kEmptyTopBottomPadding, (height() - groupHeight) / 2));
    m_circle = QRectF(std::floor((width() - kDropCircleDiameter) / 2), top, kDropCircleDiameter,
                      kDropCircleDiameter);
    dropCaches();
    QWidget::resizeEvent(event);
}

void EmptyStateView::dropCaches()
{
    m_badges.clear();
    m_texts = QImage();
    m_paintedStep = -1;
}

void EmptyStateView::showEvent(QShowEvent *event)
{
    // Every appearance breathes from rest, also after the shelf was filled
    // and cleared again.
    m_breatheAmount->setValue(1.0);
    m_breatheAmount->animateTo(kBreatheScale, kBreathe);
    QWidget::showEvent(event);
}

void EmptyStateView::hideEvent(QHideEvent *event)
{
    m_breatheAmount->setValue(1.0);
    dropCaches(); // nothing to keep in memory while hidden
    QWidget::hideEvent(event);
}

void EmptyStateView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        dropCaches();
        update();
    }
    QWidget::changeEvent(event);
}

void EmptyStateView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const qreal dpr = paintRatio(painter);
    const QRect area = badgeArea();
    if (event->rect().intersects(area)) {
        m_paintedStep = scaleStep();
        painter.drawImage(area.topLeft(), badgeImage(m_paintedStep, dpr));
    }
    painter.drawImage(QPointF(0, m_circle.bottom() + kDropCircleToText), textImage(dpr));
}

const QImage &EmptyStateView::badgeImage(int step, qreal dpr)
{
    auto found = m_badges.constFind(step);
    if (found != m_badges.constEnd() && found->devicePixelRatio() == dpr)
        return *found;
    const ColorScheme scheme = colorSchemeOf(palette());
    const QRect area = badgeArea();
    QImage image(area.size() * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-area.topLeft());

    // Scaled about its own centre, drawing only.
    const QRectF circle = m_circle;
    const double scale = 1.0 + step / kScaleStepsPerUnit;
    painter.translate(circle.center());
    painter.scale(scale, scale);
    painter.translate(-circle.center());
    QPainterPath circlePath;
    circlePath.addEllipse(circle);
    m_circleShadow.paint(painter, circlePath, kDropCircleShadow.color(scheme),
                         kDropCircleShadowRadius, kDropCircleShadowOffset);
    painter.fillPath(circlePath, dropzoneBg(scheme, circle));
    painter.setPen(QPen(QBrush(glassStroke(scheme, circle)), kDropCircleRimWidth, Qt::SolidLine,
                        Qt::FlatCap, Qt::MiterJoin));
    painter.drawEllipse(circle);

    const QRectF symbol(circle.center() - QPointF(kDropSymbolSize, kDropSymbolSize) / 2,
                        QSizeF(kDropSymbolSize, kDropSymbolSize));
    const QPainterPath symbolPath = glyphPathIn(Glyph::SquareAndArrowDownFill, symbol);
    m_symbolShadow.paint(painter, symbolPath, kDropSymbolShadow.color(scheme),
                         kDropSymbolShadowRadius, kDropSymbolShadowOffset);
    QLinearGradient symbolFill(symbol.topLeft(), symbol.bottomLeft());
    symbolFill.setColorAt(0, kDropSymbolFill.start.color(scheme));
    symbolFill.setColorAt(1, kDropSymbolFill.end.color(scheme));
    painter.fillPath(symbolPath, symbolFill);
    return *m_badges.insert(step, std::move(image));
}

const QImage &EmptyStateView::textImage(qreal dpr)
{
    if (!m_texts.isNull() && m_texts.devicePixelRatio() == dpr)
        return m_texts;
    const ColorScheme scheme = colorSchemeOf(palette());
    QTextLayout layout;
    const double hintBlock = layoutHint(layout, std::max(1, width() - 2 * kHintSidePadding));
    const QFontMetricsF headlineMetrics(headlineFont());
    const QSizeF size(width(), headlineMetrics.height() + kHeadlineToHint + hintBlock);
    m_texts = QImage((size * dpr).toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
    m_texts.setDevicePixelRatio(dpr);
    m_texts.fill(Qt::transparent);
    QPainter painter(&m_texts);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(headlineFont());
    painter.setPen(kPrimaryText.color(scheme));
    painter.drawText(QRectF(0, 0, width(), headlineMetrics.height()), Qt::AlignCenter,
                     Texts::emptyHeadline());
    painter.setPen(kSecondaryText.color(scheme));
    layout.draw(&painter, QPointF(kHintSidePadding, headlineMetrics.height() + kHeadlineToHint));
    return m_texts;
}
