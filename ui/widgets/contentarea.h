// SPDX-License-Identifier: MIT
#pragma once

#include "tempfile.h"

#include <QHash>
#include <QTimer>
#include <QUuid>
#include <QWidget>

class BackgroundPool;
class ContentOverlay;
class DropIntake;
class EmptyStateView;
class EntryPreviews;
class FileRowView;
class PendingRowView;
class QScrollArea;
class QVBoxLayout;
class StashletManager;

// The middle of the panel and its only drop target: the empty state or the
// list of cards, with the drop highlight and the error banner drawn above. The
// list keeps a row per listed entry, with its hover state while the entry
// stays, then a card per copy running past kPendingRevealDelay.
class ContentArea final : public QWidget {
    Q_OBJECT

public:
    ContentArea(StashletManager &manager, BackgroundPool &pool, QWidget *parent = nullptr);

    // Shows `files`, one row each, in order.
    void setEntries(const QList<TempFile> &files);

    bool isDraggingOver() const { return m_isDraggingOver; }
    DropIntake &dropIntake() const { return *m_intake; }
    EmptyStateView *emptyState() const { return m_emptyState; }
    ContentOverlay *overlay() const { return m_overlay; }
    QList<FileRowView *> rows() const;
    const QList<PendingRowView *> &pendingRows() const { return m_pending; }
    EntryPreviews &previews() const { return *m_previews; }
    // Gives the keyboard to the row at `index`, clamped to the list.
    void focusRow(qsizetype index, Qt::FocusReason reason);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void setDraggingOver(bool draggingOver);
    void syncPending();

    StashletManager &m_manager;
    DropIntake *m_intake;
    EmptyStateView *m_emptyState;
    QScrollArea *m_scrollArea;
    ContentOverlay *m_overlay;
    EntryPreviews *m_previews;
    QWidget *m_list;
    QVBoxLayout *m_layout;
    // A row that leaves with the focus hands it here unless the keyboard was
    // walking the list.
    QWidget *m_focusHome;
    QHash<QUuid, FileRowView *> m_rows;
    QList<PendingRowView *> m_pending;
    // Shows a copy that reaches the delay: the only timer of the pending
    // cards, and only while one is waiting.
    QTimer m_reveal;
    bool m_isDraggingOver = false;
};
