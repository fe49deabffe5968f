// SPDX-License-Identifier: MIT
#pragma once

#include "tempfile.h"

#include <QHash>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class AnimatedValue;
class BackgroundPool;
class ContentOverlay;
class DropIntake;
class EmptyStateView;
class EntryPreviews;
class FileRowView;
class PendingRowView;
class QMimeData;
class QScrollArea;
class QVBoxLayout;
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
    QList<FileRowView *> rows() const;
    // The cards of copies running past kPendingRevealDelay, in the store's order.
    const QList<PendingRowView *> &pendingRows() const { return m_pending; }
    EntryPreviews &previews() const { return *m_previews; }
    // Where the banner and the highlight are drawn now, in this widget's coordinates.
    QRectF bannerRect() const;
    QRectF highlightRect() const;
    double highlightOpacity() const;
    double bannerOpacity() const;
    const QString &bannerText() const { return m_bannerText; }
    // The banner, to a screen reader.
    QWidget *banner() const;
    // Gives the keyboard to the row at `index`, clamped to the list.
    void focusRow(qsizetype index, Qt::FocusReason reason);
    // The clipboard's files through the same intake as a drop.
    void paste();
    // The focused card's staged file, else the hovered one's, to the
    // clipboard as a copy, for as long as its entry is listed; false when no
    // card is either.
    bool copyCurrentRow();

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
    void onErrorMessageChanged();
    void syncPending();
    // Takes the copy off the clipboard when its entry left `files`: a later
    // file of the same name would be staged at the path it offers.
    void withdrawCopy(const QList<TempFile> &files);

    StashletManager &m_manager;
    DropIntake *m_intake;
    EmptyStateView *m_emptyState;
    QScrollArea *m_scrollArea;
    QVBoxLayout *m_rowsLayout;
    QHash<QUuid, FileRowView *> m_rows;
    QList<PendingRowView *> m_pending;
    ContentOverlay *m_overlay;
    AnimatedValue *m_highlight;
    AnimatedValue *m_banner;
    QString m_bannerText; // kept while the banner fades out
    bool m_isDraggingOver = false;
    // A single shot is waiting to show a copy that reaches the delay: the
    // only timer of the pending cards, and only while one is running.
    bool m_revealScheduled = false;
    EntryPreviews *m_previews;
    // What Ctrl+C last put on the clipboard, and whose entry it offers.
    QPointer<QMimeData> m_copied;
    QUuid m_copiedId;
};
