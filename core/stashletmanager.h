// SPDX-License-Identifier: MIT
#pragma once

#include "stagingfolder.h"
#include "stagingtrash.h"
#include "tempfile.h"

#include <QList>
#include <QObject>

#include <atomic>
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

    // Empties the staging folder before returning (what it held waits in the
    // trash, to be deleted on the pool at once, or from deleteLeftovers() when
    // `leftovers` is Later). Copies run on `pool`, which must outlive the
    // store's last queued work.
    static std::shared_ptr<StashletManager>
    create(BackgroundPool &pool, StagingFolder folder = StagingFolder(),
           StagingTrash::Deleting leftovers = StagingTrash::Deleting::Now);
    void deleteLeftovers() { m_trash.deleteWaiting(); }

    const QList<TempFile> &tempFiles() const { return m_tempFiles; }
    // Additions accepted but not yet listed or dropped: they count toward the
    // limit as the listed entries do.
    qsizetype inFlightCount() const { return qsizetype(m_namesInFlight.size()); }

    // Stages a copy of the file or folder at `source` and lists it once the
    // copy is done; refusals and failures write one line to standard output.
    void addFile(const std::filesystem::path &source);
    void removeFile(const TempFile &file);
    // Also stops the copies in flight: none of them is listed afterwards.
    void clearAll();
    void shareViaAirDrop(const TempFile &file);

    // Stops every copy in flight; none of them is listed afterwards, and none
    // leaves anything in the staging folder.
    void cancelCopies();
    // Removals and clears take items out of the staging folder at once and
    // delete them on the pool; this deletes what is left of them here, for
    // quitting.
    void finishDeletions();

Q_SIGNALS:
    void tempFilesAboutToChange();
    void tempFilesChanged();

private:
    StashletManager(BackgroundPool &pool, StagingFolder folder);

    void finishAddition(const std::string &name, const std::optional<TempFile> &entry,
                        std::uint64_t cancellations);
    bool isListed(const std::string &name, const std::filesystem::path &stagedPath) const;
    void setTempFiles(QList<TempFile> files);
    void stopCopies();

    BackgroundPool &m_pool;
    const StagingFolder m_folder;
    StagingTrash m_trash;
    QList<TempFile> m_tempFiles;
    // Names being copied now. A second addition of one of them is refused, so
    // two copies never share a staged path (where the later would delete or
    // overwrite the earlier one's file).
    std::vector<std::string> m_namesInFlight;
    // Bumped by every cancelCopies() and clearAll(): an addition started
    // before it is over.
    std::uint64_t m_cancellations = 0;
    // Set to stop the copies started since the last clearAll(), and then
    // replaced: other work on the pool goes on.
    std::shared_ptr<std::atomic_bool> m_stopCopies = std::make_shared<std::atomic_bool>(false);
};
