// SPDX-License-Identifier: MIT
#include "contentarea.h"

#include "animatedvalue.h"
#include "clipboardfiles.h"
#include "contentoverlay.h"
#include "dropintake.h"
#include "emptystateview.h"
#include "entrypreviews.h"
#include "filerowview.h"
#include "pendingrowview.h"
#include "previewimage.h"
#include "stashletmanager.h"
#include "texts.h"
#include "theme.h"
#include "urilist.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <optional>

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

const QString kUriList = QStringLiteral("text/uri-list");

bool carriesFileUrl(const QMimeData *data)
{
    // Read as a drop is, and as little: a local file waits after none taken.
    return data != nullptr && data->hasFormat(kUriList) &&
           UriList::read(data->data(kUriList), 0).more;
}

QImage framedPreview(const QImage &preview)
{
    return preview.isNull()
               ? preview
               : PreviewImage::framed(preview, kFileIconFrame.width(), kPreviewCornerRadius);
}

} // namespace

ContentArea::ContentArea(StashletManager &manager, BackgroundPool &pool, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_intake(new DropIntake(
          [&manager] { return manager.tempFiles().size() + manager.inFlightCount(); },
          [&manager](const std::filesystem::path &path) { manager.addFile(path); }, this))
    , m_emptyState(new EmptyStateView(this))
    , m_scrollArea(new QScrollArea(this))
    , m_overlay(new ContentOverlay(this))
    , m_highlight(new AnimatedValue(0.0, this))
    , m_banner(new AnimatedValue(0.0, this))
    , m_previews(new EntryPreviews(manager, pool, devicePixelRatioF(), this))
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
    // The cards take the keyboard; the list itself is no stop on the way.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setAttribute(Qt::WA_TranslucentBackground);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    m_scrollArea->hide();

    connect(m_intake, &DropIntake::errorMessageChanged, this, &ContentArea::onErrorMessageChanged);
    connect(m_highlight, &AnimatedValue::changed, m_overlay, qOverload<>(&QWidget::update));
    connect(m_banner, &AnimatedValue::changed, m_overlay, qOverload<>(&QWidget::update));
    connect(&manager, &StashletManager::pendingCopiesChanged, this, &ContentArea::syncPending);
    connect(&manager, &StashletManager::copyProgressChanged, this, &ContentArea::syncPending);
    connect(m_previews, &EntryPreviews::previewReady, this, [this](const QUuid &id) {
        if (FileRowView *row = m_rows.value(id))
            row->setPreview(framedPreview(m_previews->preview(id)));
    });
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
    const QList<FileRowView *> before = rows();
    QHash<QUuid, FileRowView *> kept;
    while (QLayoutItem *item = m_rowsLayout->takeAt(0)) {
        delete item; // the rows themselves are kept or deleted below
    }
    for (const TempFile &file : files) {
        FileRowView *row = m_rows.take(file.id());
        if (row == nullptr) {
            row = new FileRowView(file, m_manager, m_scrollArea->widget());
            row->setContentsMargins(FileRowView::overflowMargins());
            row->installEventFilter(this);
            row->setPreview(framedPreview(m_previews->preview(file.id())));
        } else {
            row->setFile(file);
        }
        kept.insert(file.id(), row);
        m_rowsLayout->addWidget(row);
        row->show();
    }
    for (PendingRowView *pending : std::as_const(m_pending))
        m_rowsLayout->addWidget(pending);
    m_rowsLayout->addStretch();
    // A card that leaves with the focus hands it on: to the card now in its
    // place when the keyboard had it there, so Delete can go on; else to the
    // panel, as when it opened (the arrows enter the list from there), so
    // Enter never acts on a card the user did not choose. (Qt would pass it
    // along the tab chain.)
    for (FileRowView *gone : std::as_const(m_rows)) {
        if (!gone->hasFocus())
            continue;
        if (gone->showsFocusRing() && !files.isEmpty())
            focusRow(before.indexOf(gone), Qt::TabFocusReason);
        else
            (parentWidget() != nullptr ? parentWidget() : this)->setFocus(Qt::OtherFocusReason);
    }
    // A row may be mid-event (its own remove button) when the list shrinks.
    for (FileRowView *gone : std::as_const(m_rows)) {
        gone->hide();
        gone->deleteLater();
    }
    m_rows = std::move(kept);
    withdrawCopy(files);

    const bool empty = files.isEmpty() && m_pending.isEmpty();
    m_emptyState->setVisible(empty);
    m_scrollArea->setVisible(!empty);
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
    const QFontMetricsF metrics(ContentOverlay::bannerFont());
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

QWidget *ContentArea::banner() const
{
    return m_overlay;
}

void ContentArea::focusRow(qsizetype index, Qt::FocusReason reason)
{
    const QList<FileRowView *> list = rows();
    if (!list.isEmpty())
        list.at(std::clamp(index, qsizetype(0), list.size() - 1))->setFocus(reason);
}

bool ContentArea::eventFilter(QObject *watched, QEvent *event)
{
    auto *row = qobject_cast<FileRowView *>(watched);
    if (row != nullptr && event->type() == QEvent::FocusIn) {
        m_scrollArea->ensureWidgetVisible(row, 0, 0);
    } else if (row != nullptr && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            const bool down = key == Qt::Key_Down;
            // Stops at the ends, as a list does.
            focusRow(rows().indexOf(row) + (down ? 1 : -1),
                     down ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ContentArea::syncPending()
{
    using namespace std::chrono;
    const auto now = steady_clock::now();
    const auto delay = duration_cast<steady_clock::duration>(duration<double>(kPendingRevealDelay));
    std::optional<steady_clock::duration> nextReveal;
    QList<PendingRowView *> shown;
    bool changed = false;
    for (const PendingCopy &copy : m_manager.pendingCopies()) {
        auto it = std::find_if(m_pending.begin(), m_pending.end(),
                               [&](PendingRowView *row) { return row->copyId() == copy.id; });
        if (it != m_pending.end()) {
            (*it)->setProgress(copy);
            shown.append(*it);
            m_pending.erase(it);
        } else if (now - copy.started < delay) {
            const auto wait = copy.started + delay - now;
            nextReveal = nextReveal ? std::min(*nextReveal, wait) : wait;
        } else {
            auto *row = new PendingRowView(copy, m_scrollArea->widget());
            row->setContentsMargins(FileRowView::overflowMargins());
            connect(row, &PendingRowView::cancelRequested, this,
                    [this](std::uint64_t id) { m_manager.cancelCopy(id); });
            shown.append(row);
            changed = true;
        }
    }
    // What is left ended: whole (its entry arrives in this same turn) or not.
    for (PendingRowView *gone : std::as_const(m_pending)) {
        gone->hide();
        gone->deleteLater();
        changed = true;
    }
    m_pending = std::move(shown);
    if (changed) {
        setEntries(m_manager.tempFiles());
        for (PendingRowView *row : std::as_const(m_pending))
            row->show();
    }
    if (nextReveal && !m_revealScheduled) {
        m_revealScheduled = true;
        QTimer::singleShot(duration_cast<milliseconds>(*nextReveal) + 1ms, this, [this] {
            m_revealScheduled = false;
            syncPending();
        });
    }
}

void ContentArea::paste()
{
    const QMimeData *clipboard = QGuiApplication::clipboard()->mimeData();
    const ClipboardFiles::Offered offered = clipboard != nullptr
                                                ? ClipboardFiles::fromClipboard(*clipboard)
                                                : ClipboardFiles::Offered{};
    m_intake->handlePaste(offered.uriList());
}

bool ContentArea::copyCurrentRow()
{
    const QList<FileRowView *> list = rows();
    const QWidget *focus = QApplication::focusWidget();
    auto chosen = std::find_if(list.begin(), list.end(), [focus](FileRowView *row) {
        return focus != nullptr && (focus == row || row->isAncestorOf(focus));
    });
    if (chosen == list.end())
        chosen = std::find_if(list.begin(), list.end(),
                              [](FileRowView *row) { return row->isHovered(); });
    if (chosen == list.end())
        return false;
    m_copied = ClipboardFiles::forCopy({(*chosen)->file()}).release();
    m_copiedId = (*chosen)->file().id();
    QGuiApplication::clipboard()->setMimeData(m_copied);
    return true;
}

void ContentArea::withdrawCopy(const QList<TempFile> &files)
{
    // The clipboard deletes what it no longer offers; what it still offers
    // is ours only while it is the copy we made.
    if (m_copied.isNull() || std::any_of(files.begin(), files.end(), [this](const TempFile &file) {
            return file.id() == m_copiedId;
        })) {
        return;
    }
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->mimeData() == m_copied)
        clipboard->clear();
    m_copied.clear();
}

void ContentArea::showEvent(QShowEvent *event)
{
    // Made for the screen the panel opens on.
    m_previews->setDevicePixelRatio(devicePixelRatioF());
    QWidget::showEvent(event);
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
    // A screen reader speaks the alert when it shows, and finds it gone with
    // the message, while the drawing still fades.
    m_overlay->setAccessibleName(message.value_or(QString()));
    if (message) {
        QAccessibleEvent alert(m_overlay, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
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
    const QMimeData *dropped = event->mimeData();
    if (dropped != nullptr && m_intake->handleDrop(dropped->data(kUriList))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
    // The keyboard stays with the application the drop came from: the panel
    // takes it only when it is shown, and a Ctrl+C meant for a file manager
    // must not copy the card under the pointer.
}

void ContentArea::resizeEvent(QResizeEvent *event)
{
    m_emptyState->setGeometry(rect());
    m_scrollArea->setGeometry(rect());
    m_overlay->setGeometry(rect());
    QWidget::resizeEvent(event);
}
