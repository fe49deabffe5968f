// SPDX-License-Identifier: MIT
#include "stashletmanager.h"

#include "backgroundpool.h"
#include "diagnostics.h"
#include "filename.h"
#include "mainqueue.h"
#include "sharingservice.h"
#include "treesize.h"

#include <algorithm>

#include <sys/stat.h>

namespace fs = std::filesystem;

StashletManager::StashletManager(BackgroundPool &pool, StagingFolder folder)
    : m_pool(pool)
    , m_folder(folder)
    , m_trash(folder, pool)
{
    m_progressTimer.setInterval(kProgressInterval);
    connect(&m_progressTimer, &QTimer::timeout, this, &StashletManager::announceProgress);
}

std::shared_ptr<StashletManager> StashletManager::create(BackgroundPool &pool, StagingFolder folder,
                                                         StagingTrash::Deleting leftovers)
{
    std::shared_ptr<StashletManager> manager(new StashletManager(pool, folder));
    manager->m_trash.discardAll(leftovers);
    return manager;
}

void StashletManager::addFile(const fs::path &source)
{
    // Copies in flight hold their places: counted only once listed, two quick
    // drops would copy more than the shelf can list.
    if (m_tempFiles.size() + inFlightCount() >= kLimit) {
        Diagnostics::writeLine("Limit of 5 files reached.");
        return;
    }
    const std::string name = FileName::lastComponent(source);
    const bool inFlight = std::any_of(m_copies.begin(), m_copies.end(), [&](const Copy &other) {
        return FileName::equivalent(name, other.pending.originalName, Qt::CaseInsensitive);
    });
    if (inFlight || isListed(name, m_folder.location() / name)) {
        Diagnostics::writeLine("File already in list: ", name);
        return;
    }

    auto progress = std::make_shared<CopyProgress>();
    const std::uint64_t id = ++m_lastCopyId;
    m_copies.push_back({{id, name, 0, 0, std::chrono::steady_clock::now()}, progress});
    if (!m_progressTimer.isActive()) {
        m_progressTimer.start();
    }
    Q_EMIT pendingCopiesChanged();

    // Held weakly: a store gone by then copies nothing, and is never destroyed
    // on a pool thread.
    m_pool.async([weak = weak_from_this(), pool = &m_pool, source, name, staging = m_folder,
                  progress, id, emptied = m_trash.emptied()](const CancelToken &token) {
        const auto isCancelled = [token, progress] {
            return token.isCancelled() || progress->stop.load();
        };
        std::optional<StageCopy::Staged> staged;
        struct stat st {};
        if (::stat(source.c_str(), &st) != 0) {
            if (!isCancelled()) {
                Diagnostics::writeLine("File does not exist: ", source.native());
            }
        } else {
            if (S_ISDIR(st.st_mode)) {
                // Beside the copy rather than before it, so counting never delays it.
                pool->async([source, progress, isCancelled](const CancelToken &) {
                    if (auto bytes = TreeSize::regularBytes(source, isCancelled)) {
                        progress->total = *bytes;
                    }
                });
            } else {
                progress->total = static_cast<std::uint64_t>(st.st_size);
            }
            emptied.wait();
            if (!weak.expired() && !isCancelled()) {
                staged = StageCopy::stage(staging, source, name, id, isCancelled, *progress);
            }
        }
        MainQueue::async([weak, id, source, name, staged] {
            if (auto self = weak.lock()) {
                self->finishAddition(id, source, name, staged);
            }
        });
    });
}

void StashletManager::finishAddition(std::uint64_t id, const fs::path &source,
                                     const std::string &name,
                                     const std::optional<StageCopy::Staged> &staged)
{
    // Gone from the list: stopped, its name perhaps taken by a newer copy since.
    const bool wanted = dropPending(id);
    if (!staged) {
        return;
    }
    if (!wanted || m_tempFiles.size() >= kLimit || !nameStaged(*staged, name)) {
        // Not listed, so nothing else would ever delete it before the next start.
        m_trash.discard(m_folder.location() / staged->workName, false);
        return;
    }
    QList<TempFile> files = m_tempFiles;
    files.append(TempFile(m_folder.location() / name, name, staged->sizeLabel, source));
    setTempFiles(std::move(files));
}

bool StashletManager::nameStaged(const StageCopy::Staged &staged, const std::string &name)
{
    const fs::path path = m_folder.location() / name;
    std::error_code error = StageCopy::name(m_folder, staged.workName, name);
    // On a staging folder that ignores letter case a listed entry's copy may
    // hold the name; anything else there is a leftover no entry lists.
    if (error == std::errc::file_exists && !isListed(name, path)) {
        m_trash.discard(path, false);
        error = StageCopy::name(m_folder, staged.workName, name);
    }
    if (error && !isListed(name, path)) {
        StageCopy::reportFailure(name, error);
    }
    return !error;
}

bool StashletManager::isListed(const std::string &name, const fs::path &stagedPath) const
{
    return std::any_of(m_tempFiles.begin(), m_tempFiles.end(), [&](const TempFile &file) {
        if (FileName::equivalent(file.originalName(), name)) {
            return true;
        }
        // On a staging folder that ignores letter case, "a.txt" and "A.TXT"
        // are one file, which a leftover's deletion would take.
        std::error_code ignored;
        return FileName::equivalent(file.originalName(), name, Qt::CaseInsensitive) &&
               fs::equivalent(file.path(), stagedPath, ignored);
    });
}

void StashletManager::removeFile(const TempFile &file)
{
    // Only a listed entry's copy is deleted: a stale entry (a row still on its
    // way out) names a path that a newer entry of the same name may own now.
    const bool listed = std::any_of(m_tempFiles.begin(), m_tempFiles.end(),
                                    [&](const TempFile &f) { return f.id() == file.id(); });
    if (listed) {
        const std::error_code error = m_trash.discard(file.path(), true);
        if (error && error != std::errc::no_such_file_or_directory) {
            Diagnostics::writeLine("Failed to delete temp file from disk: ", error.message());
        }
    }
    MainQueue::async([self = shared_from_this(), id = file.id()] {
        QList<TempFile> files = self->m_tempFiles;
        files.removeIf([&](const TempFile &f) { return f.id() == id; });
        self->setTempFiles(std::move(files));
    });
}

void StashletManager::clearAll()
{
    // A copy whole just before the stop waits under its own name for news that
    // at quit never reaches this thread; one still running removes its own.
    for (const Copy &copy : m_copies) {
        copy.progress->stop = true;
        m_trash.discard(m_folder.location() / StageCopy::workName(copy.pending.id), false);
    }
    if (!m_copies.empty()) {
        m_copies.clear();
        m_progressTimer.stop();
        Q_EMIT pendingCopiesChanged();
    }
    for (const TempFile &file : m_tempFiles) {
        m_trash.discard(file.path(), false);
    }
    MainQueue::async([self = shared_from_this()] { self->setTempFiles({}); });
}

void StashletManager::shareViaAirDrop(const TempFile &file)
{
    MainQueue::async([file] { SharingService::sendToNearbyDevice({file.path()}); });
}

void StashletManager::cancelCopy(std::uint64_t id)
{
    // Asked for, so not a failure: like a clear or a quit, it writes nothing.
    for (const Copy &copy : m_copies) {
        if (copy.pending.id == id) {
            copy.progress->stop = true;
        }
    }
    dropPending(id);
}

QList<PendingCopy> StashletManager::pendingCopies() const
{
    QList<PendingCopy> copies;
    copies.reserve(qsizetype(m_copies.size()));
    for (const Copy &copy : m_copies) {
        PendingCopy now = copy.pending;
        now.bytesTotal = copy.progress->total.load(std::memory_order_relaxed);
        now.bytesDone = copy.progress->done.load(std::memory_order_relaxed);
        if (now.bytesTotal != 0) {
            // A file that grew, or a folder that gained files since it was counted.
            now.bytesDone = std::min(now.bytesDone, now.bytesTotal);
        }
        copies.append(std::move(now));
    }
    return copies;
}

void StashletManager::announceProgress()
{
    bool moved = false;
    for (Copy &copy : m_copies) {
        const std::uint64_t done = copy.progress->done.load(std::memory_order_relaxed);
        const std::uint64_t total = copy.progress->total.load(std::memory_order_relaxed);
        moved = moved || done != copy.pending.bytesDone || total != copy.pending.bytesTotal;
        copy.pending.bytesDone = done;
        copy.pending.bytesTotal = total;
    }
    if (moved) {
        Q_EMIT copyProgressChanged();
    }
}

bool StashletManager::dropPending(std::uint64_t id)
{
    if (std::erase_if(m_copies, [id](const Copy &c) { return c.pending.id == id; }) == 0) {
        return false;
    }
    if (m_copies.empty()) {
        m_progressTimer.stop();
    }
    Q_EMIT pendingCopiesChanged();
    return true;
}

void StashletManager::shutdown()
{
    m_pool.cancelAll();
    clearAll();
    m_trash.finish();
}

void StashletManager::setTempFiles(QList<TempFile> files)
{
    Q_EMIT tempFilesAboutToChange();
    m_tempFiles = std::move(files);
    Q_EMIT tempFilesChanged();
}
