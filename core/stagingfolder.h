// SPDX-License-Identifier: MIT
#pragma once

#include "uniquefd.h"

#include <filesystem>
#include <system_error>

#include <sys/types.h>
#include <unistd.h>

// The private folder that holds the shelf's copies. Its place is worked out
// anew on every use, from the environment as it is then. Everything done in
// it goes through a handle opened without following links and checked for
// its owner, so nothing outside it is ever written or deleted.
class StagingFolder final {
public:
    static constexpr const char *kName = "QELStashlet";

    // `owner` is whom the folder must belong to: the running user, except in
    // tests that play a foreign owner.
    explicit StagingFolder(uid_t owner = ::geteuid());

    // $TMPDIR/QELStashlet when $TMPDIR is a directory of the user's that no one
    // else may write to; otherwise $XDG_CACHE_HOME (or ~/.cache)/QELStashlet.
    // /tmp itself does not qualify: anyone could plant the folder there first.
    std::filesystem::path location() const;

    struct Handle {
        std::filesystem::path path;
        UniqueFd fd;
        std::error_code error; // set when `fd` must not be used
    };

    // Creates the folder when missing (mode 0700, with missing parents) and
    // opens it.
    Handle prepare() const;
    // Opens it as it is, creating nothing.
    Handle open() const;

    // Deletes the item `staged`, which must lie directly in the folder.
    std::error_code remove(const std::filesystem::path &staged) const;

private:
    uid_t m_owner;
};
