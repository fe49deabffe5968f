// SPDX-License-Identifier: MIT
#include "treewalk.h"

#include "stageerror.h"

#include <cerrno>

std::error_code TreeWalk::lastError()
{
    return {errno, std::generic_category()};
}

bool TreeWalk::staysOn(dev_t device, int parent, const char *name, const struct stat &st)
{
    if (st.st_dev != device) {
        return false;
    }
    struct statx sx {};
    if (::statx(parent, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, 0, &sx) != 0) {
        return true;
    }
    return (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) == 0;
}

UniqueFd TreeWalk::reopenParent(int child, const struct stat &expected, std::error_code &error)
{
    UniqueFd fd(::openat(child, "..", kFolderFlags));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        error = lastError();
        return UniqueFd();
    }
    if (st.st_dev != expected.st_dev || st.st_ino != expected.st_ino) {
        error = make_error_code(StageError::FolderMoved);
        return UniqueFd();
    }
    return fd;
}
