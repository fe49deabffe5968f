// SPDX-License-Identifier: MIT
#include "contentarea.h"

#include "contentoverlay.h"
#include "dropintake.h"
#include "emptystateview.h"
#include "entrypreviews.h"
#include "filerowview.h"
#include "pendingrowview.h"
#include "previewimage.h"
#include "stashletmanager.h"
#include "theme.h"
#include "urilist.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollArea>
#include <QVBoxLayout>

#include <chrono>
#include <optional>

using namespace theme;

namespace {

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
    , m_previews(new EntryPreviews(manager, pool, devicePixelRatioF(), this))
    , m_list(new QWidget)
    , m_layout(new QVBoxLayout(m_list))
    , m_focusHome(parent != nullptr ? parent : this)
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_TranslucentBackground);

    m_list->setAttribute(Qt::WA_TranslucentBackground);
    // The list's padding and spacing less each row's own overflow margins,
    // which hold its shadow and its hover growth.
    const QMargins overflow = FileRowView::overflowMargins();
    m_layout->setContentsMargins(kListPadding - overflow);
    m_layout->setSpacing(kRowSpacing - overflow.top() - overflow.bottom());
    m_layout->addStretch();
    m_scrollArea->setWidget(m_list);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // The cards take the keyboard; the list itself is no stop on the way.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setAttribute(Qt::WA_TranslucentBackground);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    m_scrollArea->hide();

    m_reveal.setSingleShot(true);
    connect(&m_reveal, &QTimer::timeout, this, &ContentArea::syncPending);
    connect(&manager, &StashletManager::pendingCopiesChanged, this, &ContentArea::syncPending);
    connect(&manager, &StashletManager::copyProgressChanged, this, &ContentArea::syncPending);
    connect(m_previews, &EntryPreviews::previewReady, this, [this](const QUuid &id) {
        if (FileRowView *row = m_rows.value(id))
            row->setPreview(framedPreview(m_previews->preview(id)));
    });
    connect(m_intake, &DropIntake::errorMessageChanged, this,
            [this] { m_overlay->setMessage(m_intake->errorMessage()); });
}

QList<FileRowView *> ContentArea::rows() const
{
    QList<FileRowView *> rows;
    for (int i = 0; i < m_layout->count(); ++i) {
        if (auto *row = qobject_cast<FileRowView *>(m_layout->itemAt(i)->widget()))
            rows.append(row);
    }
    return rows;
}

void ContentArea::focusRow(qsizetype index, Qt::FocusReason reason)
{
    const QList<FileRowView *> list = rows();
    if (!list.isEmpty())
        list.at(std::clamp(index, qsizetype(0), list.size() - 1))->setFocus(reason);
}

void ContentArea::setEntries(const QList<TempFile> &files)
{
    const QList<FileRowView *> before = rows();
    QHash<QUuid, FileRowView *> kept;
    while (QLayoutItem *item = m_layout->takeAt(0))
        delete item; // the rows themselves are kept or deleted below
    for (const TempFile &file : files) {
        FileRowView *row = m_rows.take(file.id());
        if (row == nullptr) {
            row = new FileRowView(file, m_manager, m_list);
            row->setContentsMargins(FileRowView::overflowMargins());
            row->setPreview(framedPreview(m_previews->preview(file.id())));
            row->installEventFilter(this); // the arrows walk the list
        } else {
            row->setFile(file);
        }
        kept.insert(file.id(), row);
        m_layout->addWidget(row);
        row->show();
    }
    for (PendingRowView *pending : std::as_const(m_pending))
        m_layout->addWidget(pending);
    m_layout->addStretch();
    // A card that leaves with the focus hands it on: to the card now in its
    // place when the keyboard had it there, so Delete can go on; else to the
    // panel, as when it opened (the arrows enter the list from there), so
    // Enter never acts on a card the user did not choose. (Qt would pass it
    // along the tab chain.) Deleted later: a row may be mid-event (its remove button).
    for (FileRowView *gone : std::as_const(m_rows)) {
        if (gone->hasFocus() && gone->showsFocusRing() && !files.isEmpty())
            focusRow(before.indexOf(gone), Qt::TabFocusReason);
        else if (gone->hasFocus())
            m_focusHome->setFocus(Qt::OtherFocusReason);
        gone->hide();
        gone->deleteLater();
    }
    m_rows = std::move(kept);
    const bool empty = files.isEmpty() && m_pending.isEmpty();
    m_emptyState->setVisible(empty);
    m_scrollArea->setVisible(!empty);
    m_overlay->raise();
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
            auto *row = new PendingRowView(copy, m_list);
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
    if (nextReveal && !m_reveal.isActive())
        m_reveal.start(duration_cast<milliseconds>(*nextReveal) + 1ms);
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

void ContentArea::showEvent(QShowEvent *event)
{
    // Made for the screen the panel opens on.
    m_previews->setDevicePixelRatio(devicePixelRatioF());
    QWidget::showEvent(event);
}

void ContentArea::setDraggingOver(bool draggingOver)
{
    if (m_isDraggingOver == draggingOver)
        return;
    m_isDraggingOver = draggingOver;
    m_emptyState->setDraggingOver(draggingOver);
    m_overlay->setHighlighted(draggingOver);
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
