// SPDX-License-Identifier: MIT
#include "filetree.h"

#include "stageerror.h"

#include <array>
#include <cerrno>
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
// enough that a cancelled copy stops within a few milliseconds.
constexpr size_t kChunkBytes = 8u << 20;
constexpr size_t kBufferBytes = 1u << 20;

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

class Fd final {
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now, so that a late write error (NFS, quota) is not lost.
    std::error_code close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? std::error_code() : lastError();
    }

private:
    int m_fd;
};

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

std::error_code copyFile(int in, int dirFd, const char *name, const struct stat &st,
                         const FileTree::CopyOptions &options, bool &created)
{
    Fd out(::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) {
        return lastError();
    }
    created = true;
    if (auto e = copyData(in, out.get(), options)) {
        return e;
    }
    if (::fchmod(out.get(), st.st_mode & 07777) != 0) {
        return lastError();
    }
    if (auto e = keepTimes(out.get(), st)) {
        return e;
    }
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
    Fd to(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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
    bool created = false; // only what this call made may be cleaned up by the caller
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
        Fd in(::openat(from, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
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
        Fd in(::openat(from, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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
    DIR *dir = ::fdopendir(::dup(from));
    if (dir == nullptr) {
        return lastError();
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        return {readError, std::generic_category()};
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
    if ((st.st_mode & S_IRWXU) != S_IRWXU) {
        ::fchmodat(dirFd, name, (st.st_mode & 07777) | S_IRWXU, 0);
    }
    std::error_code first;
    Fd fd(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        first = lastError();
    } else if (DIR *dir = ::fdopendir(::dup(fd.get()))) {
        std::vector<std::string> names;
        while (const dirent *entry = ::readdir(dir)) {
            const std::string_view child = entry->d_name;
            if (child != "." && child != "..") {
                names.emplace_back(child);
            }
        }
        ::closedir(dir);
        for (const std::string &child : names) {
            if (auto e = removeAt(fd.get(), child.c_str()); e && !first) {
                first = e;
            }
        }
    }
    if (::unlinkat(dirFd, name, AT_REMOVEDIR) != 0 && !first) {
        first = lastError();
    }
    return first;
}

} // namespace

std::error_code FileTree::copyItem(const fs::path &source, const fs::path &target,
                                   const CopyOptions &options)
{
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) {
        return lastError();
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return make_error_code(StageError::UnsupportedFileType);
    }
    const fs::path parent = target.parent_path();
    Fd parentFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid()) {
        return lastError();
    }
    const std::string name = target.filename().native();
    // The source is opened once, following a link at the top, and everything
    // after works on that descriptor, so the item cannot be swapped midway.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (S_ISDIR(st.st_mode) ? O_DIRECTORY : 0);
    Fd in(::open(source.c_str(), flags));
    if (!in.valid() || ::fstat(in.get(), &st) != 0) {
        return lastError();
    }
    bool created = false;
    std::error_code error;
    if (S_ISREG(st.st_mode)) {
        error = copyFile(in.get(), parentFd.get(), name.c_str(), st, options, created);
    } else if (S_ISDIR(st.st_mode)) {
        error = copyFolder(in.get(), st, parentFd.get(), name.c_str(), options, created);
    } else {
        error = make_error_code(StageError::UnsupportedFileType);
    }
    if (error && created) {
        removeAt(parentFd.get(), name.c_str());
    }
    return error;
}

std::error_code FileTree::removeItem(const fs::path &path)
{
    return removeAt(AT_FDCWD, path.c_str());
}

std::optional<FileTree::FolderId> FileTree::folderId(const fs::path &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return FolderId{st.st_dev, st.st_ino};
}
