// SPDX-License-Identifier: MIT
#pragma once

#include "tempfile.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUuid>

class EntryPreviews;
class FileRowView;
class PendingRowView;
class QVBoxLayout;
class QWidget;
class StashletManager;

// The cards of the list kept in step with the store: a row per listed entry,
// kept with its hover state while the entry stays, then a card per copy
// running past kPendingRevealDelay, in the store's order.
class ShelfRows final : public QObject {
    Q_OBJECT

public:
    // Cards are made in `list`; a row that leaves with the focus hands it to
    // `focusHome` unless the keyboard was walking the list.
    ShelfRows(StashletManager &manager, EntryPreviews &previews, QWidget *list, QWidget *focusHome);

    void setEntries(const QList<TempFile> &files);
    QList<FileRowView *> rows() const;
    const QList<PendingRowView *> &pendingRows() const { return m_pending; }
    // Gives the keyboard to the row at `index`, clamped to the list.
    void focusRow(qsizetype index, Qt::FocusReason reason);

Q_SIGNALS:
    // A row or a card came or went; `empty` when none is left.
    void changed(bool empty);
    // A row was made: the list watches its keys.
    void rowAdded(FileRowView *row);

private:
    void syncPending();

    StashletManager &m_manager;
    EntryPreviews &m_previews;
    QWidget *m_list;
    QWidget *m_focusHome;
    QVBoxLayout *m_layout;
    QHash<QUuid, FileRowView *> m_rows;
    QList<PendingRowView *> m_pending;
    // Shows a copy that reaches the delay: the only timer of the pending
    // cards, and only while one is waiting.
    QTimer m_reveal;
};
