// SPDX-License-Identifier: MIT
#include "stagingfolder.h"

#include "filename.h"
#include "filetree.h"
#include "stageerror.h"

#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path environmentPath(const char *name)
{
    const char *value = std::getenv(name);
    if (value == nullptr || *value != '/') {
        return {};
    }
    return value;
}

fs::path homeFolder()
{
    fs::path home = environmentPath("HOME");
    if (home.empty()) {
        // Re-entrant: copies on several pool threads may ask at once.
        passwd entry{};
        passwd *found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
            home = found->pw_dir;
        }
    }
    return home;
}

} // namespace

StagingFolder::StagingFolder(uid_t owner)
    : m_owner(owner)
{
}

fs::path StagingFolder::location() const
{
    const fs::path tmp = environmentPath("TMPDIR");
    struct stat st {};
    if (!tmp.empty() && ::stat(tmp.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == m_owner && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
        return tmp / kName;
    }
    fs::path cache = environmentPath("XDG_CACHE_HOME");
    if (cache.empty()) {
        const fs::path home = homeFolder();
        if (home.empty()) {
            return {}; // nowhere private to put it; prepare() refuses an empty path
        }
        cache = home / ".cache";
    }
    return cache / kName;
}

StagingFolder::Handle StagingFolder::open() const
{
    Handle handle{location(), UniqueFd(), {}};
    handle.fd =
        UniqueFd(::open(handle.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!handle.fd.valid()) {
        // ELOOP: the folder is a link, to be used for nothing.
        handle.error = errno == ELOOP || errno == ENOTDIR
                           ? make_error_code(StageError::UnsafeStagingFolder)
                           : std::error_code(errno, std::generic_category());
    } else if (::fstat(handle.fd.get(), &st) != 0 || st.st_uid != m_owner) {
        handle.error = make_error_code(StageError::UnsafeStagingFolder);
    }
    return handle;
}

StagingFolder::Handle StagingFolder::prepare() const
{
    const fs::path folder = location();
    std::error_code ignored;
    fs::create_directories(folder.parent_path(), ignored);
    ::mkdir(folder.c_str(), 0700);
    return open();
}

std::error_code StagingFolder::remove(const fs::path &staged) const
{
    const Handle folder = open();
    if (folder.error) {
        return folder.error;
    }
    if (staged.parent_path() != folder.path || !FileName::isUsable(staged.filename().native())) {
        return make_error_code(StageError::UnsafeStagingFolder);
    }
    return FileTree::removeItem(folder.fd.get(), staged.filename().native());
}
