// SPDX-License-Identifier: MIT
#include "shelfrows.h"

#include "entrypreviews.h"
#include "filerowview.h"
#include "pendingrowview.h"
#include "previewimage.h"
#include "stashletmanager.h"
#include "theme.h"

#include <QVBoxLayout>

#include <chrono>
#include <optional>

using namespace theme;

namespace {

QImage framedPreview(const QImage &preview)
{
    return preview.isNull()
               ? preview
               : PreviewImage::framed(preview, kFileIconFrame.width(), kPreviewCornerRadius);
}

} // namespace

ShelfRows::ShelfRows(StashletManager &manager, EntryPreviews &previews, QWidget *list,
                     QWidget *focusHome)
    : QObject(list)
    , m_manager(manager)
    , m_previews(previews)
    , m_list(list)
    , m_focusHome(focusHome)
    , m_layout(new QVBoxLayout(list))
{
    // The list's padding and spacing less each row's own overflow margins,
    // which hold its shadow and its hover growth.
    const QMargins overflow = FileRowView::overflowMargins();
    m_layout->setContentsMargins(kListPadding - overflow);
    m_layout->setSpacing(kRowSpacing - overflow.top() - overflow.bottom());
    m_layout->addStretch();
    m_reveal.setSingleShot(true);
    connect(&m_reveal, &QTimer::timeout, this, &ShelfRows::syncPending);
    connect(&manager, &StashletManager::pendingCopiesChanged, this, &ShelfRows::syncPending);
    connect(&manager, &StashletManager::copyProgressChanged, this, &ShelfRows::syncPending);
    connect(&previews, &EntryPreviews::previewReady, this, [this](const QUuid &id) {
        if (FileRowView *row = m_rows.value(id))
            row->setPreview(framedPreview(m_previews.preview(id)));
    });
}

QList<FileRowView *> ShelfRows::rows() const
{
    QList<FileRowView *> rows;
    for (int i = 0; i < m_layout->count(); ++i) {
        if (auto *row = qobject_cast<FileRowView *>(m_layout->itemAt(i)->widget()))
            rows.append(row);
    }
    return rows;
}

void ShelfRows::focusRow(qsizetype index, Qt::FocusReason reason)
{
    const QList<FileRowView *> list = rows();
    if (!list.isEmpty())
        list.at(std::clamp(index, qsizetype(0), list.size() - 1))->setFocus(reason);
}

void ShelfRows::setEntries(const QList<TempFile> &files)
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
            row->setPreview(framedPreview(m_previews.preview(file.id())));
            Q_EMIT rowAdded(row);
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
    // along the tab chain.)
    for (FileRowView *gone : std::as_const(m_rows)) {
        if (!gone->hasFocus())
            continue;
        if (gone->showsFocusRing() && !files.isEmpty())
            focusRow(before.indexOf(gone), Qt::TabFocusReason);
        else
            m_focusHome->setFocus(Qt::OtherFocusReason);
    }
    // A row may be mid-event (its own remove button) when the list shrinks.
    for (FileRowView *gone : std::as_const(m_rows)) {
        gone->hide();
        gone->deleteLater();
    }
    m_rows = std::move(kept);
    Q_EMIT changed(files.isEmpty() && m_pending.isEmpty());
}

void ShelfRows::syncPending()
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
