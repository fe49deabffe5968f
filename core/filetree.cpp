// SPDX-License-Identifier: MIT
#include "filetree.h"

#include "foldercopy.h"
#include "folderremoval.h"
#include "stageerror.h"
#include "treewalk.h"
#include "uniquefd.h"

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

using TreeWalk::lastError;

namespace {

bool cancelled(const FileTree::CopyOptions &options)
{
    return options.isCancelled && options.isCancelled();
}

// The kernel's own file systems: their files give sizes that say nothing of
// what a read returns (0 for /proc/self/environ, 4096 for most of /sys), and
// some reads never end or fail.
bool isPseudo(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case BINFMTFS_MAGIC:
        return true;
    default:
        return false;
    }
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
    if (isPseudo(in.get())) {
        return make_error_code(StageError::PseudoFile);
    }
    bool created = false;
    std::error_code error;
    if (S_ISREG(st.st_mode)) {
        std::optional<std::error_code> anonymous;
        if (options.anonymousUntilWhole) {
            anonymous = FolderCopy::copyFileAnonymously(in.get(), targetFolder, name.c_str(), st,
                                                        options, created);
        }
        error = anonymous ? *anonymous
                          : FolderCopy::copyFile(in.get(), targetFolder, name.c_str(), st, options,
                                                 created);
    } else if (S_ISDIR(st.st_mode)) {
        error = FolderCopy::copyFolder(std::move(in), targetFolder, name.c_str(), options, created);
    } else {
        error = make_error_code(StageError::UnsupportedFileType);
    }
    if (!error && cancelled(options)) {
        // Finished just as it was cancelled: whoever cancelled it (a quit)
        // will not list it, so it would be left behind.
        error = std::make_error_code(std::errc::operation_canceled);
    }
    if (error && created) {
        FolderRemoval::removeAt(targetFolder, name.c_str());
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
    return FolderRemoval::removeAt(folder, name.c_str());
}

std::error_code FileTree::removeItem(const fs::path &path)
{
    const fs::path item = path.has_filename() ? path : path.parent_path();
    UniqueFd parent(::open(item.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid()) {
        return lastError();
    }
    return FolderRemoval::removeAt(parent.get(), item.filename().c_str());
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

std::optional<FileTree::FolderId> FileTree::folderId(int folder)
{
    struct stat st {};
    if (::fstat(folder, &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return FolderId{st.st_dev, st.st_ino};
}
