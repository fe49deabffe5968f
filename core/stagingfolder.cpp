// SPDX-License-Identifier: MIT
#include "stagingfolder.h"

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

fs::path chooseLocation(uid_t owner)
{
    const fs::path tmp = environmentPath("TMPDIR");
    struct stat st {};
    if (!tmp.empty() && ::stat(tmp.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == owner && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
        return tmp / StagingFolder::kName;
    }
    fs::path cache = environmentPath("XDG_CACHE_HOME");
    if (cache.empty()) {
        const fs::path home = homeFolder();
        if (home.empty()) {
            return {}; // nowhere private to put it; prepare() refuses an empty path
        }
        cache = home / ".cache";
    }
    return cache / StagingFolder::kName;
}

} // namespace

StagingFolder::StagingFolder(uid_t owner)
    : m_owner(owner)
    , m_location(chooseLocation(owner))
{
}

StagingFolder::Handle StagingFolder::open() const
{
    Handle handle{
        UniqueFd(::open(m_location.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)), {}};
    struct stat st {};
    if (!handle.fd.valid()) {
        // ELOOP: the folder is a link, to be used for nothing.
        handle.error = errno == ELOOP || errno == ENOTDIR
                           ? make_error_code(StageError::UnsafeStagingFolder)
                           : std::error_code(errno, std::generic_category());
    } else if (::fstat(handle.fd.get(), &st) != 0 || st.st_uid != m_owner) {
        handle.error = make_error_code(StageError::UnsafeStagingFolder);
    } else if ((st.st_mode & 07777) != S_IRWXU && ::fchmod(handle.fd.get(), S_IRWXU) != 0) {
        handle.error = std::error_code(errno, std::generic_category());
    }
    return handle;
}

std::error_code StagingFolder::makeFolders(const fs::path &path)
{
    if (path.empty() || ::mkdir(path.c_str(), S_IRWXU) == 0 || errno == EEXIST) {
        return {};
    }
    if (errno != ENOENT || path.parent_path() == path) {
        return {errno, std::generic_category()};
    }
    if (auto e = makeFolders(path.parent_path())) {
        return e;
    }
    // mkdir() is narrowed by the umask, which can only take bits away from 0700.
    return ::mkdir(path.c_str(), S_IRWXU) == 0 || errno == EEXIST
               ? std::error_code()
               : std::error_code(errno, std::generic_category());
}

StagingFolder::Handle StagingFolder::prepare() const
{
    const std::error_code made = m_location.empty() ? std::error_code() : makeFolders(m_location);
    Handle handle = open();
    if (handle.error == std::errc::no_such_file_or_directory && made) {
        // Missing because it could not be made: that is the reason to give
        // (a read-only file system, a base folder of someone else's).
        handle.error = made;
    }
    return handle;
}
