// SPDX-License-Identifier: MIT
#include "filetree.h"

#include "stageerror.h"
#include "uniquefd.h"

#include <array>
#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Large enough that the per-call cost vanishes against the data moved, small
// enough that a cancelled copy stops within a few milliseconds even when the
// source comes from disk and writeback holds the copy back: 8 MiB could then
// take tens of milliseconds, more than a quit waits.
constexpr size_t kChunkBytes = 1u << 20;
constexpr size_t kBufferBytes = 1u << 20;

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

bool cancelled(const FileTree::CopyOptions &options)
{
    return options.isCancelled && options.isCancelled();
}

std::error_code readWriteLoop(int in, int out, const FileTree::CopyOptions &options)
{
    std::vector<char> buffer(kBufferBytes);
    for (;;) {
        if (cancelled(options)) {
            return std::make_error_code(std::errc::operation_canceled);
        }
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0) {
            return {};
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return lastError();
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return lastError();
            }
            done += put;
        }
    }
}

std::error_code copyData(int in, int out, const FileTree::CopyOptions &options)
{
    if (::ioctl(out, FICLONE, in) == 0) {
        return {};
    }
    for (bool first = true;; first = false) {
        if (cancelled(options)) {
            return std::make_error_code(std::errc::operation_canceled);
        }
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunkBytes, 0);
        if (n > 0) {
            continue;
        }
        if (n == 0 && !first) {
            return {};
        }
        // Nothing at the first call may be an empty file or a pseudo-file
        // (procfs) whose size reads as zero: let read() decide.
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL ||
            errno == EPERM) {
            // Offsets moved with whatever was copied, so the loop goes on from there.
            return readWriteLoop(in, out, options);
        }
        return lastError();
    }
}

std::error_code keepTimes(int fd, const struct stat &st)
{
    const std::array<timespec, 2> times{st.st_atim, st.st_mtim};
    return ::futimens(fd, times.data()) == 0 ? std::error_code() : lastError();
}

std::error_code fillFile(int in, int out, const struct stat &st,
                         const FileTree::CopyOptions &options)
{
    if (auto e = copyData(in, out, options)) {
        return e;
    }
    if (::fchmod(out, st.st_mode & 07777) != 0) {
        return lastError();
    }
    return keepTimes(out, st);
}

std::error_code copyFile(int in, int dirFd, const char *name, const struct stat &st,
                         const FileTree::CopyOptions &options, bool &created)
{
    UniqueFd out(::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) {
        return lastError();
    }
    created = true;
    if (auto e = fillFile(in, out.get(), st, options)) {
        return e;
    }
    return out.close();
}

// Copies into a file without a name and links it in as `name` once it is
// whole, so a copy killed midway (by a quit that does not wait for it) leaves
// nothing behind, and a failed or cancelled one has nothing to delete. Gives
// nothing where the file system has no such files or the file could not be
// named later; copyFile() does the work then.
std::optional<std::error_code> copyFileAnonymously(int in, int dirFd, const char *name,
                                                   const struct stat &st,
                                                   const FileTree::CopyOptions &options,
                                                   bool &created)
{
    UniqueFd out(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!out.valid()) {
        // EISDIR comes from kernels that predate O_TMPFILE.
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
            return std::nullopt;
        }
        return lastError();
    }
    // linkat(AT_EMPTY_PATH) needs CAP_DAC_READ_SEARCH; the descriptor's entry
    // in /proc lets anyone link a file they hold open, where /proc is mounted.
    const std::string self = "/proc/self/fd/" + std::to_string(out.get());
    if (::faccessat(AT_FDCWD, self.c_str(), F_OK, 0) != 0) {
        return std::nullopt;
    }
    struct stat existing {};
    if (::fstatat(dirFd, name, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        // Refused before any data moves, as the exclusive create would be.
        return std::make_error_code(std::errc::file_exists);
    }
    if (auto e = fillFile(in, out.get(), st, options)) {
        return e;
    }
    // EEXIST when the name was taken meanwhile; whatever took it stays.
    if (::linkat(AT_FDCWD, self.c_str(), dirFd, name, AT_SYMLINK_FOLLOW) != 0) {
        return lastError();
    }
    created = true;
    return out.close();
}

std::error_code copyFolderContents(int from, int to, const FileTree::CopyOptions &options);

std::error_code copyFolder(int from, const struct stat &st, int parentFd, const char *name,
                           const FileTree::CopyOptions &options, bool &created)
{
    if (options.forbidden && options.forbidden->device == st.st_dev &&
        options.forbidden->inode == st.st_ino) {
        return make_error_code(StageError::SourceContainsStagingFolder);
    }
    if (::mkdirat(parentFd, name, 0700) != 0) {
        return lastError();
    }
    created = true;
    UniqueFd to(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!to.valid()) {
        return lastError();
    }
    if (auto e = copyFolderContents(from, to.get(), options)) {
        return e;
    }
    // Mode and time last: a read-only folder would refuse its own contents,
    // and every entry made inside would move its time.
    if (::fchmod(to.get(), st.st_mode & 07777) != 0) {
        return lastError();
    }
    return keepTimes(to.get(), st);
}

std::error_code copyEntry(int from, int to, const char *name, const FileTree::CopyOptions &options)
{
    if (cancelled(options)) {
        return std::make_error_code(std::errc::operation_canceled);
    }
    struct stat st {};
    if (::fstatat(from, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return lastError();
    }
    bool created = false; // a partial child goes with the whole copy, in copyItem()
    if (S_ISLNK(st.st_mode)) {
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlinkat(from, name, target.data(), target.size());
        if (n < 0) {
            return lastError();
        }
        target.resize(static_cast<size_t>(n));
        if (::symlinkat(target.c_str(), to, name) != 0) {
            return lastError();
        }
        const std::array<timespec, 2> times{st.st_atim, st.st_mtim};
        // Not every file system keeps times on links; the link itself is what matters.
        ::utimensat(to, name, times.data(), AT_SYMLINK_NOFOLLOW);
        return {};
    }
    if (S_ISREG(st.st_mode)) {
        // Non-blocking, so an item swapped for a pipe since fstatat() cannot hang us.
        UniqueFd in(::openat(from, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        struct stat opened {};
        if (!in.valid() || ::fstat(in.get(), &opened) != 0) {
            return lastError();
        }
        if (!S_ISREG(opened.st_mode)) {
            return make_error_code(StageError::UnsupportedFileType);
        }
        return copyFile(in.get(), to, name, st, options, created);
    }
    if (S_ISDIR(st.st_mode)) {
        UniqueFd in(::openat(from, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!in.valid()) {
            return lastError();
        }
        return copyFolder(in.get(), st, to, name, options, created);
    }
    // Sockets, pipes and devices hold no data of their own to keep.
    return {};
}

std::error_code copyFolderContents(int from, int to, const FileTree::CopyOptions &options)
{
    std::vector<std::string> names;
    if (auto e = FileTree::listNames(from, names)) {
        return e;
    }
    for (const std::string &name : names) {
        if (auto e = copyEntry(from, to, name.c_str(), options)) {
            return e;
        }
    }
    return {};
}

std::error_code removeAt(int dirFd, const char *name)
{
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return lastError();
    }
    if (!S_ISDIR(st.st_mode)) {
        return ::unlinkat(dirFd, name, 0) == 0 ? std::error_code() : lastError();
    }
    std::error_code first;
    UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid() && errno == EACCES) {
        // A folder copied without read or write permission: open it up so its
        // contents can go. By path, but inside the staging folder, where no one
        // else can swap it for a link.
        ::fchmodat(dirFd, name, (st.st_mode & 07777) | S_IRWXU, 0);
        fd = UniqueFd(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    std::vector<std::string> names;
    if (!fd.valid()) {
        first = lastError();
    } else if ((st.st_mode & S_IRWXU) != S_IRWXU &&
               ::fchmod(fd.get(), (st.st_mode & 07777) | S_IRWXU) != 0) {
        first = lastError();
    } else {
        first = FileTree::listNames(fd.get(), names);
    }
    for (const std::string &child : names) {
        if (auto e = removeAt(fd.get(), child.c_str()); e && !first) {
            first = e;
        }
    }
    if (::unlinkat(dirFd, name, AT_REMOVEDIR) != 0 && !first) {
        first = lastError();
    }
    return first;
}

} // namespace

std::error_code FileTree::copyItem(const fs::path &source, int targetFolder,
                                   const std::string &name, const CopyOptions &options)
{
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) {
        return lastError();
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return make_error_code(StageError::UnsupportedFileType);
    }
    // The source is opened once, following a link at the top, and everything
    // after works on that descriptor, so the item cannot be swapped midway.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (S_ISDIR(st.st_mode) ? O_DIRECTORY : 0);
    UniqueFd in(::open(source.c_str(), flags));
    if (!in.valid() || ::fstat(in.get(), &st) != 0) {
        return lastError();
    }
    bool created = false;
    std::error_code error;
    if (S_ISREG(st.st_mode)) {
        std::optional<std::error_code> anonymous;
        if (options.anonymousUntilWhole) {
            anonymous =
                copyFileAnonymously(in.get(), targetFolder, name.c_str(), st, options, created);
        }
        error = anonymous ? *anonymous
                          : copyFile(in.get(), targetFolder, name.c_str(), st, options, created);
    } else if (S_ISDIR(st.st_mode)) {
        error = copyFolder(in.get(), st, targetFolder, name.c_str(), options, created);
    } else {
        error = make_error_code(StageError::UnsupportedFileType);
    }
    if (!error && cancelled(options)) {
        // Finished just as it was cancelled: whoever cancelled it (a quit)
        // will not list it, so it would be left behind.
        error = std::make_error_code(std::errc::operation_canceled);
    }
    if (error && created) {
        removeAt(targetFolder, name.c_str());
    }
    return error;
}

std::error_code FileTree::copyItem(const fs::path &source, const fs::path &target,
                                   const CopyOptions &options)
{
    UniqueFd parent(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid()) {
        return lastError();
    }
    return copyItem(source, parent.get(), target.filename().native(), options);
}

std::error_code FileTree::removeItem(int folder, const std::string &name)
{
    return removeAt(folder, name.c_str());
}

std::error_code FileTree::listNames(int folder, std::vector<std::string> &names)
{
    const int fd = ::dup(folder);
    DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (dir == nullptr) {
        const std::error_code error = lastError();
        if (fd >= 0) {
            ::close(fd);
        }
        return error;
    }
    // A dup shares the read position: start from the top whoever read before.
    ::rewinddir(dir);
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
        errno = 0;
    }
    const std::error_code error = errno != 0 ? lastError() : std::error_code();
    ::closedir(dir);
    return error;
}

std::error_code FileTree::removeItem(const fs::path &path)
{
    return removeAt(AT_FDCWD, path.c_str());
}

std::optional<FileTree::FolderId> FileTree::folderId(int folder)
{
    struct stat st {};
    if (::fstat(folder, &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return FolderId{st.st_dev, st.st_ino};
}
