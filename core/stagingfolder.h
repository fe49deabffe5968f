// SPDX-License-Identifier: MIT
#pragma once

#include "uniquefd.h"

#include <filesystem>
#include <system_error>

#include <sys/types.h>
#include <unistd.h>

// The private folder that holds the shelf's copies. Its place is chosen once,
// at construction: were $TMPDIR to stop qualifying later, the copies made so
// far must still be found and deleted. Everything done in it goes through a
// handle opened without following links and checked for its owner, so nothing
// outside it is ever written or deleted.
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
        UniqueFd fd;
        std::error_code error; // set when `fd` must not be used
    };

    // Creates the folder when missing, as makeFolders() does, and opens it.
    Handle prepare() const;
    // Opens it, creating nothing, and checks its owner; one that others may
    // enter (made by an older version, or by hand) is narrowed to 0700.
    Handle open() const;

    // Makes `path` and any missing parent with mode 0700 whatever the umask, as
    // the base-directory convention has it for ~/.cache; leaves existing ones.
    static std::error_code makeFolders(const std::filesystem::path &path);

private:
    uid_t m_owner;
    std::filesystem::path m_location;
};
