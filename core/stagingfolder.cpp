// SPDX-License-Identifier: MIT
#include "stagingfolder.h"

#include "filetree.h"
#include "stageerror.h"

#include <cstdlib>
#include <vector>

#include <dirent.h>
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
        if (const passwd *pw = ::getpwuid(::geteuid())) {
            home = pw->pw_dir;
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

bool StagingFolder::isSafe(const fs::path &folder) const
{
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == m_owner;
}

fs::path StagingFolder::prepare(std::error_code &error) const
{
    const fs::path folder = location();
    std::error_code ignored;
    fs::create_directories(folder.parent_path(), ignored);
    ::mkdir(folder.c_str(), 0700);
    error = isSafe(folder) ? std::error_code() : make_error_code(StageError::UnsafeStagingFolder);
    return folder;
}

void StagingFolder::empty() const
{
    const fs::path folder = location();
    if (!isSafe(folder)) {
        return;
    }
    std::vector<fs::path> children;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        children.push_back(it->path());
    }
    for (const fs::path &child : children) {
        FileTree::removeItem(child);
    }
}
