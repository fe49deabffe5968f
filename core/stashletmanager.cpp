// SPDX-License-Identifier: MIT
#include "stashletmanager.h"

#include "backgroundpool.h"
#include "diagnostics.h"
#include "filename.h"
#include "filetree.h"
#include "mainqueue.h"
#include "sharingservice.h"
#include "sizelabel.h"
#include "stageerror.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// True when `inner` is `outer` or lies below it, by their resolved paths.
bool isWithin(const fs::path &inner, const fs::path &outer)
{
    auto [end, _] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return end == outer.end();
}

std::error_code checkSource(const fs::path &source, const fs::path &folder)
{
    std::error_code ignored;
    const fs::path resolvedSource = fs::canonical(source, ignored);
    const fs::path resolvedFolder = fs::canonical(folder, ignored);
    if (resolvedSource.empty() || resolvedFolder.empty()) {
        return {}; // the copy itself reports what is wrong
    }
    if (resolvedSource == resolvedFolder) {
        return make_error_code(StageError::SourceIsStagingFolder);
    }
    if (isWithin(resolvedSource, resolvedFolder)) {
        return make_error_code(StageError::SourceInsideStagingFolder);
    }
    if (isWithin(resolvedFolder, resolvedSource)) {
        return make_error_code(StageError::SourceContainsStagingFolder);
    }
    return {};
}

void reportCopyFailure(const std::string &name, const std::error_code &error)
{
    Diagnostics::writeLine("Failed to copy file to temp directory: ",
                           '"' + name + "\" could not be copied: " + error.message());
}

// Names in one line what a copied folder held that cannot be copied.
void reportLeftOut(const std::vector<std::string> &leftOut)
{
    std::string detail;
    for (const std::string &item : leftOut) {
        detail.append(detail.empty() ? "" : ", ").append(item);
    }
    Diagnostics::writeLine("Items that cannot be copied were left out: ", detail);
}

// Copies `source` into the staging folder under `name`: the staged path, or
// nothing after writing the copy line.
std::optional<fs::path> stageCopy(const StagingFolder &staging, const fs::path &source,
                                  const std::string &name, const std::function<bool()> &isCancelled)
{
    if (!FileName::isUsable(name) || name == StagingTrash::kName) {
        reportCopyFailure(name, make_error_code(StageError::UnusableName));
        return std::nullopt;
    }
    const StagingFolder::Handle folder = staging.prepare();
    std::error_code error = folder.error;
    if (!error) {
        error = checkSource(source, folder.path);
    }
    if (error) {
        reportCopyFailure(name, error);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstatat(folder.fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        // Left by an addition refused at the last moment.
        FileTree::removeItem(folder.fd.get(), name);
    }
    FileTree::CopyOptions options;
    options.isCancelled = isCancelled;
    options.forbidden = FileTree::folderId(folder.fd.get());
    std::vector<std::string> leftOut;
    options.leftOut = [&leftOut](const std::string &path, const char *what) {
        leftOut.push_back('"' + path + "\" (" + what + ')');
    };
    if (auto copyError = FileTree::copyItem(source, folder.fd.get(), name, options)) {
        // Stopped on purpose, by a clear or a quit: nothing to report.
        if (copyError != std::errc::operation_canceled) {
            reportCopyFailure(name, copyError);
        }
        return std::nullopt;
    }
    if (!leftOut.empty()) {
        reportLeftOut(leftOut);
    }
    return folder.path / name;
}

QString stagedSizeLabel(const fs::path &staged)
{
    struct stat st {};
    if (::lstat(staged.c_str(), &st) != 0) {
        const std::error_code error(errno, std::generic_category());
        Diagnostics::writeLine("Error retrieving file size: ",
                               error.message() + " (" + error.category().name() + " error " +
                                   std::to_string(error.value()) + ", path " + staged.native() +
                                   ")");
        return QStringLiteral("Unknown size");
    }
    if (!S_ISREG(st.st_mode)) {
        return QStringLiteral("Unknown size");
    }
    return sizeLabel(static_cast<std::uint64_t>(st.st_size));
}

} // namespace

StashletManager::StashletManager(BackgroundPool &pool, StagingFolder folder)
    : m_pool(pool)
    , m_folder(folder)
    , m_trash(folder, pool)
{
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
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) {
        Diagnostics::writeLine("File does not exist: ", source.native());
        return;
    }
    const std::string name = FileName::lastComponent(source);
    const bool inFlight =
        std::any_of(m_namesInFlight.begin(), m_namesInFlight.end(), [&](const std::string &other) {
            return FileName::equivalentIgnoringCase(name, other);
        });
    if (inFlight || isListed(name, m_folder.location() / name)) {
        Diagnostics::writeLine("File already in list: ", name);
        return;
    }

    m_namesInFlight.push_back(name);
    // The copy holds the store weakly: a store that is gone by then copies
    // nothing. The block it queues back holds it weakly too, so the store can
    // never be destroyed on a pool thread.
    m_pool.async([weak = weak_from_this(), source, name, staging = m_folder,
                  cancellations = m_cancellations, stop = m_stopCopies](const CancelToken &token) {
        const auto isCancelled = [&] { return token.isCancelled() || stop->load(); };
        std::optional<TempFile> entry;
        if (!weak.expired() && !isCancelled()) {
            if (auto staged = stageCopy(staging, source, name, isCancelled)) {
                entry.emplace(*staged, name, stagedSizeLabel(*staged));
            }
        }
        MainQueue::async([weak, name, entry, cancellations] {
            if (auto self = weak.lock()) {
                self->finishAddition(name, entry, cancellations);
            }
        });
    });
}

void StashletManager::finishAddition(const std::string &name, const std::optional<TempFile> &entry,
                                     std::uint64_t cancellations)
{
    std::erase(m_namesInFlight, name);
    if (!entry) {
        return;
    }
    if (isListed(name, entry->path())) {
        // Its path may be a listed entry's own copy (a staging folder that
        // ignores letter case): nothing to delete then.
        return;
    }
    if (cancellations != m_cancellations || m_tempFiles.size() >= kLimit) {
        // Not listed, so nothing else would ever delete it before the next start.
        m_trash.discard(entry->path(), false);
        return;
    }
    QList<TempFile> files = m_tempFiles;
    files.append(*entry);
    setTempFiles(std::move(files));
}

bool StashletManager::isListed(const std::string &name, const fs::path &stagedPath) const
{
    return std::any_of(m_tempFiles.begin(), m_tempFiles.end(), [&](const TempFile &file) {
        if (FileName::equivalent(file.originalName(), name)) {
            return true;
        }
        // On a staging folder that ignores letter case, "a.txt" and "A.TXT"
        // are one file: deleting the leftover before copying would take the
        // listed entry's copy.
        std::error_code ignored;
        return FileName::equivalentIgnoringCase(file.originalName(), name) &&
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
    stopCopies();
    for (const TempFile &file : m_tempFiles) {
        m_trash.discard(file.path(), false);
    }
    MainQueue::async([self = shared_from_this()] { self->setTempFiles({}); });
}

void StashletManager::shareViaAirDrop(const TempFile &file)
{
    MainQueue::async([file] {
        auto service = SharingService::named(SharingService::Name::SendToNearbyDevice);
        if (!service) {
            Diagnostics::writeLine("AirDrop sharing service is not available.");
            return;
        }
        service->perform({file.path()});
    });
}

void StashletManager::cancelCopies()
{
    m_pool.cancelAll();
    stopCopies();
}

void StashletManager::stopCopies()
{
    m_stopCopies->store(true);
    m_stopCopies = std::make_shared<std::atomic_bool>(false);
    ++m_cancellations;
    // A copy that was whole just before the cancel has its name in the folder,
    // but it would be listed only when its news reaches this thread, which at
    // quit it never does. One still running removes what it wrote itself.
    for (const std::string &name : m_namesInFlight) {
        m_trash.discard(m_folder.location() / name, false);
    }
}

void StashletManager::finishDeletions()
{
    m_trash.finish();
}

void StashletManager::setTempFiles(QList<TempFile> files)
{
    Q_EMIT tempFilesAboutToChange();
    m_tempFiles = std::move(files);
    Q_EMIT tempFilesChanged();
}
