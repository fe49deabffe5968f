// SPDX-License-Identifier: MIT
#pragma once

#include "pendingcopy.h"
#include "stagecopy.h"
#include "stagingfolder.h"
#include "stagingtrash.h"
#include "tempfile.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BackgroundPool;

// The shelf: the ordered list of entries and every operation on it. Lives on
// the main thread; the list changes only there, in blocks queued to the main
// queue, which is the whole of its synchronisation.
class StashletManager final : public QObject, public std::enable_shared_from_this<StashletManager> {
    Q_OBJECT

public:
    static constexpr qsizetype kLimit = 5;
    static constexpr std::chrono::milliseconds kProgressInterval{50};

    // Has the staging folder emptied on the pool ahead of every copy; what it
    // held is deleted at once, or from deleteLeftovers() when `leftovers` is
    // Later. `pool` runs the copies and must outlive the store's queued work.
    static std::shared_ptr<StashletManager>
    create(BackgroundPool &pool, StagingFolder folder = StagingFolder(),
           StagingTrash::Deleting leftovers = StagingTrash::Deleting::Now);
    void deleteLeftovers() { m_trash.deleteWaiting(); }

    const QList<TempFile> &tempFiles() const { return m_tempFiles; }
    // Additions accepted but not yet listed or dropped, which count toward the
    // limit; a stopped one no more, whatever its work on the pool still does.
    qsizetype inFlightCount() const { return qsizetype(m_copies.size()); }
    // The additions being copied, oldest first, with their progress as of now.
    QList<PendingCopy> pendingCopies() const;

    // Stages a copy of `source` and lists it once done; refusals and failures
    // write one line. Never touches `source` here: a dead network mount would
    // hold the caller.
    void addFile(const std::filesystem::path &source);
    void removeFile(const TempFile &file);
    // Also stops the copies in flight: none of them is listed afterwards.
    void clearAll();
    void shareViaAirDrop(const TempFile &file);

    // Stops the one copy `id`; the others go on. Nothing of it stays staged.
    void cancelCopy(std::uint64_t id);
    // For quitting, after which the event loop may never run again: stops the
    // pool's work, clears as clearAll() does and deletes here what removals
    // left to the pool. A copy still running removes what it wrote itself.
    void shutdown();

Q_SIGNALS:
    void tempFilesAboutToChange();
    void tempFilesChanged();
    // A copy joined or left pendingCopies(); one that became an entry leaves
    // in the same turn of the event loop as the entry arrives.
    void pendingCopiesChanged();
    // Some pending copy's bytes moved: at most every kProgressInterval while any runs.
    void copyProgressChanged();

private:
    StashletManager(BackgroundPool &pool, StagingFolder folder);

    // A copy the store still wants; stopping it drops the record, which frees
    // its name and its place at once.
    struct Copy {
        PendingCopy pending; // its byte counts as last announced
        std::shared_ptr<CopyProgress> progress;
    };

    void finishAddition(std::uint64_t id, const std::filesystem::path &source,
                        const std::string &name, const std::optional<StageCopy::Staged> &staged);
    bool nameStaged(const StageCopy::Staged &staged, const std::string &name);
    bool dropPending(std::uint64_t id);
    void announceProgress();
    bool isListed(const std::string &name, const std::filesystem::path &stagedPath) const;
    void setTempFiles(QList<TempFile> files);

    BackgroundPool &m_pool;
    const StagingFolder m_folder;
    StagingTrash m_trash;
    QList<TempFile> m_tempFiles;
    // A second addition of one of their names is refused: two copies never
    // wait to be named alike.
    std::vector<Copy> m_copies;
    std::uint64_t m_lastCopyId = 0;
    // Samples the copies' atomic byte counts while any is pending, so progress
    // costs the copy nothing.
    QTimer m_progressTimer;
};
