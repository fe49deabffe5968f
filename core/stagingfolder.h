// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <system_error>

#include <sys/types.h>
#include <unistd.h>

// The private folder that holds the shelf's copies. Its place is worked out
// anew on every use, from the environment as it is then.
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

    // Creates the folder (mode 0700, with missing parents) and checks that it
    // is a real directory of the owner's, not a link; the location, or the
    // reason it must not be used.
    std::filesystem::path prepare(std::error_code &error) const;

    // Deletes everything inside the folder, hidden items included, keeping the
    // folder. A link inside is removed as a link. Does nothing when the folder
    // is missing or is not safe to use; failures are skipped silently.
    void empty() const;

private:
    bool isSafe(const std::filesystem::path &folder) const;

    uid_t m_owner;
};
