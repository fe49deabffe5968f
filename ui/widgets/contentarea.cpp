// SPDX-License-Identifier: MIT
#include "contentarea.h"

#include "contentoverlay.h"
#include "dropintake.h"
#include "emptystateview.h"
#include "entrypreviews.h"
#include "filerowview.h"
#include "shelfrows.h"
#include "stashletmanager.h"
#include "urilist.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollArea>

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

bool carriesFileUrl(const QMimeData *data)
{
    // Read as a drop is, and as little: a local file waits after none taken.
    return data != nullptr && data->hasFormat(kUriList) &&
           UriList::read(data->data(kUriList), 0).more;
}

} // namespace

ContentArea::ContentArea(StashletManager &manager, BackgroundPool &pool, QWidget *parent)
    : QWidget(parent)
    , m_intake(new DropIntake(
          [&manager] { return manager.tempFiles().size() + manager.inFlightCount(); },
          [&manager](const std::filesystem::path &path) { manager.addFile(path); }, this))
    , m_emptyState(new EmptyStateView(this))
    , m_scrollArea(new QScrollArea(this))
    , m_overlay(new ContentOverlay(this))
    , m_previews(new EntryPreviews(manager, pool, devicePixelRatioF(), this))
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_TranslucentBackground);

    auto *list = new QWidget;
    list->setAttribute(Qt::WA_TranslucentBackground);
    m_rows = new ShelfRows(manager, *m_previews, list, parent != nullptr ? parent : this);
    m_scrollArea->setWidget(list);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // The cards take the keyboard; the list itself is no stop on the way.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setAttribute(Qt::WA_TranslucentBackground);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    m_scrollArea->hide();

    connect(m_intake, &DropIntake::errorMessageChanged, this,
            [this] { m_overlay->setMessage(m_intake->errorMessage()); });
    connect(m_rows, &ShelfRows::rowAdded, this,
            [this](FileRowView *row) { row->installEventFilter(this); });
    connect(m_rows, &ShelfRows::changed, this, [this](bool empty) {
        m_emptyState->setVisible(empty);
        m_scrollArea->setVisible(!empty);
        m_overlay->raise();
    });
}

ContentArea::~ContentArea() = default;

void ContentArea::setEntries(const QList<TempFile> &files)
{
    m_rows->setEntries(files);
}

QList<FileRowView *> ContentArea::rows() const
{
    return m_rows->rows();
}

const QList<PendingRowView *> &ContentArea::pendingRows() const
{
    return m_rows->pendingRows();
}

void ContentArea::focusRow(qsizetype index, Qt::FocusReason reason)
{
    m_rows->focusRow(index, reason);
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
    if (m_isDraggingOver == draggingOver) {
        return;
    }
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
