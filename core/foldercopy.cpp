// SPDX-License-Identifier: MIT
#include "filedata.h"
#include "filetree.h"
#include "stageerror.h"
#include "treewalk.h"
#include "uniquefd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

using FileTree::CopyOptions;
using TreeWalk::kFolderFlags;
using TreeWalk::lastError;

namespace {

bool cancelled(const CopyOptions &options)
{
    return options.isCancelled && options.isCancelled();
}

std::error_code keepTimes(int fd, const struct stat &st)
{
    const std::array<timespec, 2> times{st.st_atim, st.st_mtim};
    return ::futimens(fd, times.data()) == 0 ? std::error_code() : lastError();
}

std::error_code fillFile(int in, int out, const struct stat &st, const CopyOptions &options)
{
    if (auto e = FileData::copy(in, out, st, options.isCancelled, options.copiedBytes)) {
        return e;
    }
    if (::fchmod(out, st.st_mode & 07777) != 0) {
        return lastError();
    }
    return keepTimes(out, st);
}

// One folder of a copy: its source and its copy.
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

// Makes the copy of the folder `from` as `name` and reads what it holds.
std::error_code enterFolder(UniqueFd from, int parentFd, const char *name,
                            const CopyOptions &options, CopyFrame &frame, bool &created)
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

std::error_code copyFile(int in, int dirFd, const char *name, const struct stat &st,
                         const CopyOptions &options, bool &created)
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

// Links the file in once whole, so a copy killed midway (by a quit that does
// not wait for it) leaves nothing behind; copyFile() where that cannot be done.
std::error_code copyFileAnonymously(int in, int dirFd, const char *name, const struct stat &st,
                                    const CopyOptions &options, bool &created)
{
    UniqueFd out(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    // EISDIR comes from kernels that predate O_TMPFILE.
    if (!out.valid() && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return lastError();
    }
    // linkat(AT_EMPTY_PATH) needs CAP_DAC_READ_SEARCH; the descriptor's entry
    // in /proc lets anyone link a file they hold open, where /proc is mounted.
    const std::string self = "/proc/self/fd/" + std::to_string(out.get());
    if (!out.valid() || ::faccessat(AT_FDCWD, self.c_str(), F_OK, 0) != 0) {
        return copyFile(in, dirFd, name, st, options, created);
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

// Sockets and devices hold no data: they are told to `leftOut`.
std::error_code copyLeaf(int from, int to, const char *name, const struct stat &st,
                         const CopyOptions &options, const std::string &path)
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
        return copyFile(in.get(), to, name, opened, options, created);
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

std::error_code copyFolder(UniqueFd in, int parentFd, const char *name, const CopyOptions &options,
                           bool &created)
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
            return std::make_error_code(std::errc::operation_canceled);
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

// The kernel's own file systems, whose sizes say nothing of what a read
// returns (0 for /proc/self/environ, 4096 in /sys), and some reads never end.
bool isPseudo(int fd)
{
    static constexpr unsigned long kPseudo[] = {
        PROC_SUPER_MAGIC,   SYSFS_MAGIC,         DEBUGFS_MAGIC, TRACEFS_MAGIC,  SECURITYFS_MAGIC,
        CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, BPF_FS_MAGIC,  PSTOREFS_MAGIC, EFIVARFS_MAGIC,
        SELINUX_MAGIC,      SMACK_MAGIC,         BINFMTFS_MAGIC};
    struct statfs fs {};
    return ::fstatfs(fd, &fs) == 0 &&
           std::ranges::find(kPseudo, static_cast<unsigned long>(fs.f_type)) != std::end(kPseudo);
}

} // namespace

std::error_code FileTree::copyItem(const std::filesystem::path &source, int targetFolder,
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
    if (isPseudo(in.get())) {
        return make_error_code(StageError::PseudoFile);
    }
    bool created = false;
    std::error_code error;
    if (S_ISREG(st.st_mode)) {
        error =
            options.anonymousUntilWhole
                ? copyFileAnonymously(in.get(), targetFolder, name.c_str(), st, options, created)
                : copyFile(in.get(), targetFolder, name.c_str(), st, options, created);
    } else if (S_ISDIR(st.st_mode)) {
        error = copyFolder(std::move(in), targetFolder, name.c_str(), options, created);
    } else {
        error = make_error_code(StageError::UnsupportedFileType);
    }
    if (!error && cancelled(options)) {
        // Whoever cancelled it (a quit) will not list it: it would be left behind.
        error = std::make_error_code(std::errc::operation_canceled);
    }
    if (error && created) {
        FileTree::removeItem(targetFolder, name);
    }
    return error;
}
