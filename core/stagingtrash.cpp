// SPDX-License-Identifier: MIT
#include "stagingtrash.h"

#include "backgroundpool.h"
#include "diagnostics.h"
#include "filename.h"
#include "filetree.h"
#include "stageerror.h"
#include "uniquefd.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// How many workers share the deletion of one large folder: deleting is mostly
// waiting on the file system's metadata, which overlaps well.
constexpr std::size_t kParts = 4;

void reportFailure(const std::error_code &error, bool wanted)
{
    if (error && wanted && error != std::errc::no_such_file_or_directory) {
        Diagnostics::writeLine("Failed to delete temp file from disk: ", error.message());
    }
}

// An open folder the pool's work shares, closed when the last of it is done.
using SharedFd = std::shared_ptr<const UniqueFd>;

SharedFd openTrash(int folder)
{
    ::mkdirat(folder, StagingTrash::kName, 0700);
    return std::make_shared<const UniqueFd>(
        ::openat(folder, StagingTrash::kName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

} // namespace

struct StagingTrash::State : std::enable_shared_from_this<StagingTrash::State> {
    struct Split;
    struct Item {
        SharedFd folder;
        // Where `name`, or `names` of a part of a split folder, lie.
        SharedFd trash;
        std::string name;
        bool reportFailure = false;
        std::vector<std::string> names;
        std::shared_ptr<Split> split;
    };
    // A folder whose contents several workers delete; the last one to finish
    // removes the folder itself.
    struct Split {
        Item whole;
        std::atomic<std::size_t> left{0};
        std::mutex mutex;
        std::error_code first;
    };

    // Takes `name` out of `folder` into the trash; false (errno set) when the
    // rename failed. The caller holds `mutex`.
    bool moveIn(const SharedFd &folder, const SharedFd &trash, const std::string &name,
                bool reportFailure);
    // Deletes the oldest waiting item; false when none waits.
    bool deleteNext();
    bool splitFolder(const Item &item);
    static void deletePart(const Item &item);
    // The caller counted itself in `running`.
    void moveAllOut(const StagingFolder &staging);
    void finishedOne(const SharedFd &folder);
    void schedule(std::size_t count);

    BackgroundPool *pool = nullptr;
    std::mutex mutex;
    std::condition_variable idle;
    std::deque<Item> waiting;
    int running = 0;
    unsigned sequence = 0;
    // Set by deleteWaiting(): what moveAllOut() moves later is deleted at once.
    bool deleteRequested = false;
};

bool StagingTrash::State::moveIn(const SharedFd &folder, const SharedFd &trash,
                                 const std::string &name, bool reportFailure)
{
    bool openedUp = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Unique across runs too: the trash may still hold what a killed run left.
        const std::string unique = std::to_string(::getpid()) + '-' + std::to_string(++sequence);
        if (::renameat2(folder->get(), name.c_str(), trash->get(), unique.c_str(),
                        RENAME_NOREPLACE) == 0) {
            waiting.push_back({folder, trash, unique, reportFailure, {}, {}});
            return true;
        }
        if (errno == EEXIST) {
            continue;
        }
        struct stat st {};
        if ((errno == EACCES || errno == EPERM) && !openedUp &&
            ::fstatat(folder->get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(st.st_mode)) {
            // Moving a folder rewrites its "..", which needs write permission
            // on it; a folder copied read-only lacks it.
            openedUp = true;
            ::fchmodat(folder->get(), name.c_str(), (st.st_mode & 07777) | S_IWUSR, 0);
            continue;
        }
        return false;
    }
    errno = EEXIST;
    return false;
}

bool StagingTrash::State::deleteNext()
{
    Item item;
    {
        std::lock_guard lock(mutex);
        if (waiting.empty()) {
            return false;
        }
        item = std::move(waiting.front());
        waiting.pop_front();
        ++running;
    }
    if (item.split) {
        deletePart(item);
    } else if (!splitFolder(item)) {
        reportFailure(FileTree::removeItem(item.trash->get(), item.name), item.reportFailure);
    }
    finishedOne(item.folder);
    return true;
}

bool StagingTrash::State::splitFolder(const Item &item)
{
    UniqueFd fd(::openat(item.trash->get(), item.name.c_str(),
                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    std::vector<std::string> names;
    if (!fd.valid() || FileTree::listNames(fd.get(), names) || names.size() < 2 || !pool) {
        return false;
    }
    const std::size_t parts = std::min(kParts, names.size());
    auto split = std::make_shared<Split>();
    split->whole = item;
    split->left = parts;
    const SharedFd inside = std::make_shared<const UniqueFd>(std::move(fd));
    std::vector<Item> items(parts, Item{item.folder, inside, {}, item.reportFailure, {}, split});
    for (std::size_t i = 0; i < names.size(); ++i) {
        items[i % parts].names.push_back(std::move(names[i]));
    }
    {
        std::lock_guard lock(mutex);
        for (Item &part : items) {
            waiting.push_back(std::move(part));
        }
    }
    idle.notify_all(); // a quit waiting in finish() lends a hand
    schedule(parts);
    return true;
}

void StagingTrash::State::deletePart(const Item &item)
{
    std::error_code first;
    for (const std::string &name : item.names) {
        if (auto error = FileTree::removeItem(item.trash->get(), name); error && !first) {
            first = error;
        }
    }
    Split &split = *item.split;
    {
        std::lock_guard lock(split.mutex);
        if (!split.first) {
            split.first = first;
        }
    }
    if (split.left.fetch_sub(1) == 1) {
        // The folder itself, with anything that failed before.
        const std::error_code error =
            FileTree::removeItem(split.whole.trash->get(), split.whole.name);
        std::lock_guard lock(split.mutex);
        reportFailure(split.first ? split.first : error, split.whole.reportFailure);
    }
}

void StagingTrash::State::schedule(std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        pool->async([self = shared_from_this()](const CancelToken &) { self->deleteNext(); });
    }
}

void StagingTrash::State::finishedOne(const SharedFd &folder)
{
    std::lock_guard lock(mutex);
    if (--running == 0 && waiting.empty()) {
        // Under the lock, so no move into the trash races its removal.
        if (folder) {
            ::unlinkat(folder->get(), kName, AT_REMOVEDIR);
        }
        idle.notify_all();
    }
}

void StagingTrash::State::moveAllOut(const StagingFolder &staging)
{
    StagingFolder::Handle handle = staging.open();
    std::vector<std::string> names;
    if (handle.error || FileTree::listNames(handle.fd.get(), names)) {
        finishedOne(nullptr);
        return;
    }
    const SharedFd folder = std::make_shared<const UniqueFd>(std::move(handle.fd));
    std::size_t moved = 0;
    bool deleteNow = false;
    {
        std::lock_guard lock(mutex);
        SharedFd trash = openTrash(folder->get());
        if (!trash->valid()) {
            FileTree::removeItem(folder->get(), kName);
            trash = openTrash(folder->get());
        }
        std::vector<std::string> left;
        if (trash->valid() && !FileTree::listNames(trash->get(), left)) {
            for (std::string &name : left) {
                waiting.push_back({folder, trash, std::move(name), false, {}, {}});
                ++moved;
            }
        }
        for (const std::string &name : names) {
            if (name == kName) {
                continue;
            }
            if (trash->valid() && moveIn(folder, trash, name, false)) {
                ++moved;
            } else {
                FileTree::removeItem(folder->get(), name);
            }
        }
        deleteNow = deleteRequested;
    }
    idle.notify_all(); // a quit waiting in finish() takes them
    if (deleteNow) {
        schedule(moved);
    }
    finishedOne(folder);
}

StagingTrash::StagingTrash(StagingFolder folder, BackgroundPool &pool)
    : m_folder(folder)
    , m_state(std::make_shared<State>())
{
    m_state->pool = &pool;
    std::promise<void> nothingToEmpty;
    nothingToEmpty.set_value();
    m_emptied = nothingToEmpty.get_future().share();
}

std::error_code StagingTrash::discard(const fs::path &staged, bool reportFailure)
{
    StagingFolder::Handle handle = m_folder.open();
    if (handle.error) {
        return handle.error;
    }
    const std::string name = staged.filename().native();
    if (staged.parent_path() != m_folder.location() || !FileName::isUsable(name) || name == kName) {
        return make_error_code(StageError::UnsafeStagingFolder);
    }
    const SharedFd folder = std::make_shared<const UniqueFd>(std::move(handle.fd));
    {
        std::lock_guard lock(m_state->mutex);
        const SharedFd trash = openTrash(folder->get());
        if (trash->valid() && m_state->moveIn(folder, trash, name, reportFailure)) {
            m_state->schedule(1);
            return {};
        }
        // Only a failed move says the item is gone: a trash that could not be
        // made (a full disk) fails its opening with ENOENT too.
        const bool gone = trash->valid() && errno == ENOENT;
        if (m_state->running == 0 && m_state->waiting.empty()) {
            // Made for nothing: no deletion is left to take it away.
            ::unlinkat(folder->get(), kName, AT_REMOVEDIR);
        }
        if (gone) {
            return std::make_error_code(std::errc::no_such_file_or_directory);
        }
    }
    // No trash to be had (a full disk, a file in its place): delete here.
    return FileTree::removeItem(folder->get(), name);
}

void StagingTrash::discardAll(Deleting when)
{
    auto done = std::make_shared<std::promise<void>>();
    m_emptied = done->get_future().share();
    {
        std::lock_guard lock(m_state->mutex);
        // Counted from now, so a quit that comes first still waits for it.
        ++m_state->running;
        m_state->deleteRequested = m_state->deleteRequested || when == Deleting::Now;
    }
    // Not cancellable: a copy waits for it, and a quit deletes what it moved.
    m_state->pool->async([state = m_state, staging = m_folder, done](const CancelToken &) {
        state->moveAllOut(staging);
        done->set_value();
    });
}

void StagingTrash::deleteWaiting()
{
    std::size_t waiting = 0;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->deleteRequested = true;
        waiting = m_state->waiting.size();
    }
    m_state->schedule(waiting);
}

void StagingTrash::finish()
{
    for (;;) {
        while (m_state->deleteNext()) {
        }
        std::unique_lock lock(m_state->mutex);
        if (m_state->running == 0 && m_state->waiting.empty()) {
            return;
        }
        // Until a worker finishes, or splits a folder whose parts we can take.
        m_state->idle.wait(lock,
                           [this] { return m_state->running == 0 || !m_state->waiting.empty(); });
    }
}
