// SPDX-License-Identifier: MIT
#include "foldercopy.h"

#include "filedata.h"
#include "folderstack.h"
#include "stageerror.h"
#include "treewalk.h"

#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using TreeWalk::kFolderFlags;
using TreeWalk::lastError;

namespace {

std::error_code cancelledError()
{
    return std::make_error_code(std::errc::operation_canceled);
}

bool cancelled(const FileTree::CopyOptions &options)
{
    return options.isCancelled && options.isCancelled();
}

std::error_code keepTimes(int fd, const struct stat &st)
{
    const std::array<timespec, 2> times{st.st_atim, st.st_mtim};
    return ::futimens(fd, times.data()) == 0 ? std::error_code() : lastError();
}

std::error_code fillFile(int in, int out, const struct stat &st,
                         const FileTree::CopyOptions &options)
{
    if (auto e = FileData::copy(in, out, st, options.isCancelled, options.copiedBytes)) {
        return e;
    }
    if (::fchmod(out, st.st_mode & 07777) != 0) {
        return lastError();
    }
    return keepTimes(out, st);
}

// One folder of a copy: its source and its copy, both open while the frame
// is among the innermost.
struct CopyFrame {
    UniqueFd from;
    UniqueFd to;
    struct stat st {};
    struct stat toSt {};
    std::vector<std::string> names;
    std::size_t next = 0;
    std::string name;

    void close()
    {
        from = UniqueFd();
        to = UniqueFd();
    }
    void reopenFrom(const CopyFrame &child, std::error_code &error)
    {
        from = TreeWalk::reopenParent(child.from.get(), st, error);
        if (!error) {
            to = TreeWalk::reopenParent(child.to.get(), toSt, error);
        }
    }
};

// Makes the copy of the folder open at `from` as `name` in `parentFd`, and
// reads what the folder holds.
std::error_code enterFolder(UniqueFd from, int parentFd, const char *name,
                            const FileTree::CopyOptions &options, CopyFrame &frame, bool &created)
{
    if (::fstat(from.get(), &frame.st) != 0) {
        return lastError();
    }
    if (options.forbidden && options.forbidden->device == frame.st.st_dev &&
        options.forbidden->inode == frame.st.st_ino) {
        return make_error_code(StageError::SourceContainsStagingFolder);
    }
    if (::mkdirat(parentFd, name, 0700) != 0) {
        return lastError();
    }
    created = true;
    frame.to = UniqueFd(::openat(parentFd, name, kFolderFlags));
    if (!frame.to.valid() || ::fstat(frame.to.get(), &frame.toSt) != 0) {
        return lastError();
    }
    frame.from = std::move(from);
    frame.name = name;
    return FileTree::listNames(frame.from.get(), frame.names);
}

std::string pathOf(const std::vector<CopyFrame> &frames, const std::string &child)
{
    std::string path;
    for (const CopyFrame &frame : frames) {
        path.append(frame.name).push_back('/');
    }
    return path + child;
}

// Copies what is not a folder: a link as a link, a file, a pipe made anew;
// sockets and devices are told to `leftOut`.
std::error_code copyLeaf(int from, int to, const char *name, const struct stat &st,
                         const FileTree::CopyOptions &options, const std::string &path)
{
    const std::array<timespec, 2> times{st.st_atim, st.st_mtim};
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
        bool created = false; // a partial file goes with the whole copy, in copyItem()
        return FolderCopy::copyFile(in.get(), to, name, opened, options, created);
    }
    if (S_ISFIFO(st.st_mode)) {
        if (::mkfifoat(to, name, 0600) != 0 || ::fchmodat(to, name, st.st_mode & 07777, 0) != 0 ||
            ::utimensat(to, name, times.data(), AT_SYMLINK_NOFOLLOW) != 0) {
            return lastError();
        }
        return {};
    }
    if (options.leftOut) {
        options.leftOut(path, S_ISSOCK(st.st_mode) ? "socket" : "device");
    }
    return {};
}

} // namespace

std::error_code FolderCopy::copyFile(int in, int dirFd, const char *name, const struct stat &st,
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
std::optional<std::error_code> FolderCopy::copyFileAnonymously(int in, int dirFd, const char *name,
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

std::error_code FolderCopy::copyFolder(UniqueFd in, int parentFd, const char *name,
                                       const FileTree::CopyOptions &options, bool &created)
{
    FolderStack<CopyFrame> stack;
    {
        CopyFrame root;
        if (auto e = enterFolder(std::move(in), parentFd, name, options, root, created)) {
            return e;
        }
        stack.push(std::move(root));
    }
    const dev_t device = stack.top().st.st_dev;
    while (!stack.empty()) {
        if (cancelled(options)) {
            return cancelledError();
        }
        CopyFrame &top = stack.top();
        if (top.next == top.names.size()) {
            // Mode and time last: a read-only folder would refuse its own
            // contents, and every entry made inside would move its time.
            if (::fchmod(top.to.get(), top.st.st_mode & 07777) != 0) {
                return lastError();
            }
            if (auto e = keepTimes(top.to.get(), top.st)) {
                return e;
            }
            std::error_code error;
            stack.pop(error);
            if (error) {
                return error;
            }
            continue;
        }
        const std::string child = top.names[top.next++];
        struct stat st {};
        if (::fstatat(top.from.get(), child.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return lastError();
        }
        if (!S_ISDIR(st.st_mode)) {
            if (auto e = copyLeaf(top.from.get(), top.to.get(), child.c_str(), st, options,
                                  pathOf(stack.frames(), child))) {
                return e;
            }
            continue;
        }
        if (!TreeWalk::staysOn(device, top.from.get(), child.c_str(), st)) {
            if (options.leftOut) {
                options.leftOut(pathOf(stack.frames(), child), "another file system");
            }
            continue;
        }
        UniqueFd from(::openat(top.from.get(), child.c_str(), kFolderFlags));
        if (!from.valid()) {
            return lastError();
        }
        CopyFrame frame;
        bool made = false;
        if (auto e =
                enterFolder(std::move(from), top.to.get(), child.c_str(), options, frame, made)) {
            return e;
        }
        stack.push(std::move(frame));
    }
    return {};
}
