// SPDX-License-Identifier: MIT
#include "filetree.h"

#include "treewalk.h"
#include "uniquefd.h"

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

using TreeWalk::lastError;

std::error_code FileTree::copyItem(const fs::path &source, const fs::path &target,
                                   const CopyOptions &options)
{
    UniqueFd parent(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid()) {
        return lastError();
    }
    return copyItem(source, parent.get(), target.filename().native(), options);
}

std::error_code FileTree::removeItem(const fs::path &path)
{
    const fs::path item = path.has_filename() ? path : path.parent_path();
    UniqueFd parent(::open(item.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid()) {
        return lastError();
    }
    return removeItem(parent.get(), item.filename().native());
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
