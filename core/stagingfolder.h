// SPDX-License-Identifier: MIT
#pragma once

#include "uniquefd.h"

#include <filesystem>
#include <system_error>

#include <sys/types.h>
#include <unistd.h>

// The private folder that holds the shelf's copies. Its place is worked out
// once, from the environment at construction, and kept: were $TMPDIR to stop
// qualifying while the program runs, the copies made so far must still be
// found and deleted. Everything done in it goes through a handle opened
// without following links and checked for its owner, so nothing outside it is
// ever written or deleted.
class StagingFolder final {
public:
    static constexpr const char *kName = "QELStashlet";

    // `owner` is whom the folder must belong to: the running user, except in
    // tests that play a foreign owner.
    explicit StagingFolder(uid_t owner = ::geteuid());

    // $TMPDIR/QELStashlet when $TMPDIR is a directory of the user's that no one
    // else may write to; otherwise $XDG_CACHE_HOME (or ~/.cache)/QELStashlet.
    // /tmp itself does not qualify: anyone could plant the folder there first.
    std::filesystem::path location() const { return m_location; }

    struct Handle {
        std::filesystem::path path;
        UniqueFd fd;
        std::error_code error; // set when `fd` must not be used
    };

    // Creates the folder when missing (mode 0700, with missing parents) and
    // opens it. When it cannot be made, `error` says why.
    Handle prepare() const;
    // Opens it as it is, creating nothing, and checks its owner; one that
    // others may read or enter (made by an older version, or by hand) is
    // narrowed to 0700 on that same handle.
    Handle open() const;

    // Makes `path` and any missing parent with mode 0700, whatever the umask,
    // as the base-directory convention has it for ~/.cache. Folders that exist
    // are left as they are.
    static std::error_code makeFolders(const std::filesystem::path &path);

private:
    uid_t m_owner;
    std::filesystem::path m_location;
};
