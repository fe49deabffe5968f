// SPDX-License-Identifier: MIT
#pragma once

#include <system_error>

// The deleting half of FileTree::removeItem().
namespace FolderRemoval {

// Deletes `name` in the open folder `dirFd`, a folder with everything below
// it; carries on past failures and returns the first.
std::error_code removeAt(int dirFd, const char *name);

} // namespace FolderRemoval
