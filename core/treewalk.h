// SPDX-License-Identifier: MIT
#pragma once

#include "uniquefd.h"

#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

// What the copy and the delete walks share.
namespace TreeWalk {

// A folder opened for walking: never through a link.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::error_code lastError();

// False for the folder `name` in `parent` (whose status is `st`) when it lies
// on a device other than `device`, or another file system or a bind mount is
// mounted on it: a walk that entered it would copy or delete what is not its own.
bool staysOn(dev_t device, int parent, const char *name, const struct stat &st);

// The folder above the one open at `child`, if it is still `expected`: one
// moved meanwhile would lead the walk somewhere else.
UniqueFd reopenParent(int child, const struct stat &expected, std::error_code &error);

} // namespace TreeWalk
