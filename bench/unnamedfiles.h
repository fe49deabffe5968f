// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

// The sizes of the files that process `pid` holds open in `folder` without a
// name there yet (O_TMPFILE): copies under way that nothing in the folder shows.
inline std::vector<std::uintmax_t> unnamedFilesOpenIn(pid_t pid,
                                                      const std::filesystem::path &folder)
{
    std::error_code error;
    // The kernel shows such a file as "<folder>/#<inode> (deleted)", by the folder's real path.
    const std::string prefix = std::filesystem::canonical(folder, error).native() + "/#";
    const std::string suffix = " (deleted)";
    std::vector<std::uintmax_t> sizes;
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    for (std::filesystem::directory_iterator it(fds, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code gone; // a descriptor closed meanwhile
        const std::string target = std::filesystem::read_symlink(it->path(), gone).native();
        struct stat st {};
        if (!gone && target.starts_with(prefix) && target.ends_with(suffix) &&
            ::stat(it->path().c_str(), &st) == 0) {
            sizes.push_back(static_cast<std::uintmax_t>(st.st_size));
        }
    }
    return sizes;
}
