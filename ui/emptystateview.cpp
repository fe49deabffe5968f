// SPDX-License-Identifier: MIT
#include "emptystateview.h"

#include "animatedvalue.h"
#include "colorscheme.h"
#include "fonts.h"
#include "glyph.h"
#include "theme.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>

using namespace theme;

namespace {

constexpr int kTopBottomPadding = 40;
constexpr int kBadgeToText = 20;
constexpr int kHeadlineToHint = 6;
constexpr int kHintSidePadding = 32;
constexpr double kHintExtraLineSpacing = 3;
constexpr double kDragScale = 1.1;
constexpr double kSymbolSize = 30;

QFont headlineFont()
{
    return systemFont(15, QFont::Bold, FontDesign::Rounded);
}

QFont hintFont()
{
    return systemFont(11, QFont::Normal);
}

// Lays the hint out centred in `width`; each line's baseline origin relative
// to the block's top.
std::vector<std::pair<QTextLine, double>> layoutHint(QTextLayout &layout, double width)
{
    layout.setFont(hintFont());
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    std::vector<std::pair<QTextLine, double>> lines;
    double y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        lines.emplace_back(line, y);
        y += line.height() + kHintExtraLineSpacing;
    }
    layout.endLayout();
    return lines;
}

} // namespace

EmptyStateView::EmptyStateView(QWidget *parent)
    : QWidget(parent)
    , m_breatheAmount(new AnimatedValue(1.0, this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(headline());
    setAccessibleDescription(hint());
    connect(m_breatheAmount, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
}

const QString &EmptyStateView::headline()
{
    static const QString text = QStringLiteral("Trascina i file qui");
    return text;
}

const QString &EmptyStateView::hint()
{
    static const QString text = QStringLiteral("Trascina qui fino a 5 file per tenerli pronti ad "
                                               "essere riutilizzati e spostati dove vuoi");
    return text;
}

void EmptyStateView::setDraggingOver(bool draggingOver)
{
    if (m_isDraggingOver != draggingOver) {
        m_isDraggingOver = draggingOver;
        update();
    }
}

double EmptyStateView::badgeScale() const
{
    return m_isDraggingOver ? kDragScale : m_breatheAmount->value();
}

int EmptyStateView::hintHeight(int width) const
{
    QTextLayout layout(hint());
    const auto lines = layoutHint(layout, std::max(1, width - 2 * kHintSidePadding));
    return lines.empty() ? 0 : int(std::ceil(lines.back().second + lines.back().first.height()));
}

QSize EmptyStateView::sizeHint() const
{
    const int width = 320;
    const int height = kTopBottomPadding + int(kDropCircleDiameter) + kBadgeToText +
                       QFontMetrics(headlineFont()).height() + kHeadlineToHint + hintHeight(width) +
                       kTopBottomPadding;
    return {width, height};
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
    QWidget::hideEvent(event);
}

void EmptyStateView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange) {
        update();
    }
    QWidget::changeEvent(event);
}

void EmptyStateView::paintEvent(QPaintEvent *)
{
    const ColorScheme scheme = colorSchemeOf(palette());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // The group (badge, then text) is centred vertically as a whole.
    const int textWidth = std::max(1, width() - 2 * kHintSidePadding);
    QTextLayout layout(hint());
    const auto lines = layoutHint(layout, textWidth);
    const double hintBlock = lines.empty() ? 0 : lines.back().second + lines.back().first.height();
    const QFontMetricsF headlineMetrics(headlineFont());
    const double groupHeight =
        kDropCircleDiameter + kBadgeToText + headlineMetrics.height() + kHeadlineToHint + hintBlock;
    double y = std::max<double>(kTopBottomPadding, (height() - groupHeight) / 2);

    // Badge: scaled about its own centre, drawing only.
    const QRectF circle((width() - kDropCircleDiameter) / 2, y, kDropCircleDiameter,
                        kDropCircleDiameter);
    painter.save();
    const double scale = badgeScale();
    painter.translate(circle.center());
    painter.scale(scale, scale);
    painter.translate(-circle.center());
    QPainterPath circlePath;
    circlePath.addEllipse(circle);
    m_circleShadow.paint(painter, circlePath, kDropCircleShadow.color(scheme), 10, {0, 5});
    painter.fillPath(circlePath, dropzoneBg(scheme, circle));
    painter.setPen(
        QPen(QBrush(glassStroke(scheme, circle)), 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawEllipse(circle);

    const QRectF symbol(circle.center() - QPointF(kSymbolSize, kSymbolSize) / 2,
                        QSizeF(kSymbolSize, kSymbolSize));
    const QPainterPath symbolPath = glyphPathIn(Glyph::SquareAndArrowDownFill, symbol);
    m_symbolShadow.paint(painter, symbolPath, kBlue.at(0.3).color(scheme), 8, {0, 4});
    QLinearGradient symbolFill(symbol.topLeft(), symbol.bottomLeft());
    symbolFill.setColorAt(0, kBlue.at(0.85).color(scheme));
    symbolFill.setColorAt(1, kCyan.color(scheme));
    painter.fillPath(symbolPath, symbolFill);
    painter.restore();

    // Texts.
    y += kDropCircleDiameter + kBadgeToText;
    painter.setFont(headlineFont());
    painter.setPen(kPrimaryText.color(scheme));
    painter.drawText(QRectF(0, y, width(), headlineMetrics.height()), Qt::AlignCenter, headline());
    y += headlineMetrics.height() + kHeadlineToHint;
    painter.setPen(kSecondaryText.color(scheme));
    layout.draw(&painter, QPointF(kHintSidePadding, y));
}
