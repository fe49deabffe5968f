// SPDX-License-Identifier: MIT
#pragma once

#include "filetree.h"
#include "uniquefd.h"

#include <optional>
#include <system_error>

#include <sys/stat.h>

// The copying half of FileTree::copyItem(). `created` is set once something
// exists under `name`, for the caller to remove should the copy fail.
namespace FolderCopy {

// Copies the regular file open at `in` (whose status is `st`) to `name` in
// `dirFd`, named from the start.
std::error_code copyFile(int in, int dirFd, const char *name, const struct stat &st,
                         const FileTree::CopyOptions &options, bool &created);

// The same, but named only once whole; nothing where that cannot be done.
std::optional<std::error_code> copyFileAnonymously(int in, int dirFd, const char *name,
                                                   const struct stat &st,
                                                   const FileTree::CopyOptions &options,
                                                   bool &created);

// Copies the folder open at `in` with everything below it to `name` in `parentFd`.
std::error_code copyFolder(UniqueFd in, int parentFd, const char *name,
                           const FileTree::CopyOptions &options, bool &created);

} // namespace FolderCopy
