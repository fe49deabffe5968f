// SPDX-License-Identifier: MIT
#pragma once

#include "tempfile.h"

#include <QWidget>

class BackgroundPool;
class ContentOverlay;
class DropIntake;
class EmptyStateView;
class EntryPreviews;
class FileRowView;
class PendingRowView;
class QScrollArea;
class ShelfRows;
class StashletManager;

// The middle of the panel and its only drop target: the empty state or the
// list of rows, with the drop highlight and the error banner drawn above.
class ContentArea final : public QWidget {
    Q_OBJECT

public:
    ContentArea(StashletManager &manager, BackgroundPool &pool, QWidget *parent = nullptr);
    ~ContentArea() override;

    // Shows `files`, one row each, in order. Rows of entries still listed are
    // kept, with their hover state.
    void setEntries(const QList<TempFile> &files);

    bool isDraggingOver() const { return m_isDraggingOver; }
    DropIntake &dropIntake() const { return *m_intake; }
    EmptyStateView *emptyState() const { return m_emptyState; }
    ContentOverlay *overlay() const { return m_overlay; }
    QList<FileRowView *> rows() const;
    // The cards of copies running past kPendingRevealDelay, in the store's order.
    const QList<PendingRowView *> &pendingRows() const;
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

    DropIntake *m_intake;
    EmptyStateView *m_emptyState;
    QScrollArea *m_scrollArea;
    ContentOverlay *m_overlay;
    EntryPreviews *m_previews;
    ShelfRows *m_rows;
    bool m_isDraggingOver = false;
};
