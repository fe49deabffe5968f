// SPDX-License-Identifier: MIT
#include "contentarea.h"

#include "animatedvalue.h"
#include "colorscheme.h"
#include "dropintake.h"
#include "emptystateview.h"
#include "filerowview.h"
#include "fonts.h"
#include "itemprovider.h"
#include "softshadow.h"
#include "stashletmanager.h"
#include "theme.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

using namespace theme;

namespace {

// The list's padding and spacing less each row's own overflow margins, which
// hold its shadow and its hover growth.
QMargins listMargins()
{
    const QMargins overflow = FileRowView::overflowMargins();
    return kListPadding - overflow;
}
int rowSpacing()
{
    const QMargins overflow = FileRowView::overflowMargins();
    return kRowSpacing - overflow.top() - overflow.bottom();
}

QFont bannerFont()
{
    return systemFont(kBannerTextSize, QFont::Bold, FontDesign::Rounded);
}

bool carriesFileUrl(const QMimeData *data)
{
    if (data == nullptr || !data->hasUrls()) {
        return false;
    }
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

} // namespace

// Draws the highlight and the banner above whatever the content shows; it
// lets every mouse and drag event through to what lies below.
class ContentArea::Overlay final : public QWidget {
public:
    explicit Overlay(ContentArea *area)
        : QWidget(area)
        , m_area(area)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const ColorScheme scheme = colorSchemeOf(palette());
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        paintHighlight(painter, scheme);
        paintBanner(painter);
    }

private:
    void paintHighlight(QPainter &painter, ColorScheme scheme)
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

    void paintBanner(QPainter &painter)
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
            Qt::AlignCenter | Qt::TextWordWrap, m_area->m_bannerText);
        painter.restore();
    }

    ContentArea *m_area;
    SoftShadow m_shadow;
};

ContentArea::ContentArea(StashletManager &manager, BackgroundPool &pool, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_pool(pool)
    , m_intake(new DropIntake(
          [&manager] { return manager.tempFiles().size() + manager.inFlightCount(); },
          [&manager](const std::filesystem::path &path) { manager.addFile(path); }, this))
    , m_emptyState(new EmptyStateView(this))
    , m_scrollArea(new QScrollArea(this))
    , m_overlay(new Overlay(this))
    , m_highlight(new AnimatedValue(0.0, this))
    , m_banner(new AnimatedValue(0.0, this))
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_TranslucentBackground);

    auto *list = new QWidget;
    list->setAttribute(Qt::WA_TranslucentBackground);
    m_rowsLayout = new QVBoxLayout(list);
    m_rowsLayout->setContentsMargins(listMargins());
    m_rowsLayout->setSpacing(rowSpacing());
    m_rowsLayout->addStretch();
    m_scrollArea->setWidget(list);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setAttribute(Qt::WA_TranslucentBackground);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    m_scrollArea->hide();

    connect(m_intake, &DropIntake::errorMessageChanged, this, &ContentArea::onErrorMessageChanged);
    connect(m_highlight, &AnimatedValue::changed, m_overlay, qOverload<>(&QWidget::update));
    connect(m_banner, &AnimatedValue::changed, m_overlay, qOverload<>(&QWidget::update));
}

ContentArea::~ContentArea() = default;

QList<FileRowView *> ContentArea::rows() const
{
    QList<FileRowView *> rows;
    for (int i = 0; i < m_rowsLayout->count(); ++i) {
        if (auto *row = qobject_cast<FileRowView *>(m_rowsLayout->itemAt(i)->widget())) {
            rows.append(row);
        }
    }
    return rows;
}

void ContentArea::setEntries(const QList<TempFile> &files)
{
    QHash<QUuid, FileRowView *> kept;
    while (QLayoutItem *item = m_rowsLayout->takeAt(0)) {
        delete item; // the rows themselves are kept or deleted below
    }
    for (const TempFile &file : files) {
        FileRowView *row = m_rows.take(file.id());
        if (row == nullptr) {
            row = new FileRowView(file, m_manager, m_scrollArea->widget());
            row->setContentsMargins(FileRowView::overflowMargins());
        } else {
            row->setFile(file);
        }
        kept.insert(file.id(), row);
        m_rowsLayout->addWidget(row);
        row->show();
    }
    m_rowsLayout->addStretch();
    // A row may be mid-event (its own remove button) when the list shrinks.
    for (FileRowView *gone : std::as_const(m_rows)) {
        gone->hide();
        gone->deleteLater();
    }
    m_rows = std::move(kept);

    m_emptyState->setVisible(files.isEmpty());
    m_scrollArea->setVisible(!files.isEmpty());
    m_overlay->raise();
}

QRectF ContentArea::highlightRect() const
{
    return QRectF(rect()).adjusted(kHighlightInset, kHighlightInset, -kHighlightInset,
                                   -kHighlightInset);
}

double ContentArea::highlightOpacity() const
{
    return m_highlight->value();
}

double ContentArea::bannerOpacity() const
{
    return std::clamp(m_banner->value(), 0.0, 1.0);
}

QRectF ContentArea::bannerRect() const
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

void ContentArea::onErrorMessageChanged()
{
    const std::optional<QString> &message = m_intake->errorMessage();
    if (message) {
        m_bannerText = *message;
        m_banner->animateTo(1.0, kSettleSpring);
    } else {
        m_banner->animateTo(0.0, kBannerHide);
    }
    m_overlay->update();
}

void ContentArea::setDraggingOver(bool draggingOver)
{
    if (m_isDraggingOver == draggingOver) {
        return;
    }
    m_isDraggingOver = draggingOver;
    m_emptyState->setDraggingOver(draggingOver);
    m_highlight->animateTo(draggingOver ? 1.0 : 0.0, kDropHighlightFade);
}

void ContentArea::dragEnterEvent(QDragEnterEvent *event)
{
    if (!carriesFileUrl(event->mimeData()) || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    // Copy, never move: the file stays where the user dragged it from.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setDraggingOver(true);
}

void ContentArea::dragMoveEvent(QDragMoveEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ContentArea::dragLeaveEvent(QDragLeaveEvent *event)
{
    setDraggingOver(false);
    QWidget::dragLeaveEvent(event);
}

void ContentArea::dropEvent(QDropEvent *event)
{
    setDraggingOver(false);
    const auto providers = itemProvidersFromMimeData(*event->mimeData(), m_pool);
    if (m_intake->handleDrop(providers)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
    // A drop leaves the source application active, so Escape and Tab would
    // go there; the panel asks for the keyboard, where the window manager
    // lets it.
    window()->activateWindow();
}

void ContentArea::resizeEvent(QResizeEvent *event)
{
    m_emptyState->setGeometry(rect());
    m_scrollArea->setGeometry(rect());
    m_overlay->setGeometry(rect());
    QWidget::resizeEvent(event);
}
