// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <sys/types.h>

namespace FileTree {

// Identifies a folder whatever path leads to it (bind mounts, links).
struct FolderId {
    dev_t device;
    ino_t inode;
};

struct CopyOptions {
    // Polled between chunks and between items; true stops the copy.
    std::function<bool()> isCancelled;
    // A folder the copy must never descend into (the staging folder, so a
    // folder that holds it is refused instead of copied into itself).
    std::optional<FolderId> forbidden;
    // A file copied on its own is written without a name (O_TMPFILE) and
    // named once whole, where the file system allows it and this is true.
    bool anonymousUntilWhole = true;
    // Told of each item below a copied folder that is left out (a socket or a
    // device, which hold no data, or a mount, which a copy never enters): its
    // path from the copied folder's own name, and what it is.
    std::function<void(const std::string &path, const char *what)> leftOut;
    // Grows by the bytes of regular files as they are copied, for another
    // thread to sample.
    std::atomic<std::uint64_t> *copiedBytes = nullptr;
};

// Copies `source`, a file or a folder with everything below it, to `target`,
// which must not exist yet. A link at `source` is followed; links below are
// copied as links, pipes made anew. Each item keeps its mode and times, a file
// its holes and the size it had when opened. Folders are walked without
// recursion on few descriptors, so any depth can be copied, never leaving the
// file system. On failure or cancellation nothing is left at `target`.
std::error_code copyItem(const std::filesystem::path &source, int targetFolder,
                         const std::string &name, const CopyOptions &options = {});
std::error_code copyItem(const std::filesystem::path &source, const std::filesystem::path &target,
                         const CopyOptions &options = {});

// Deletes the item at `path`, a folder with everything below it. Links are
// removed, never followed; folders without write permission are opened up.
// Like the copy it walks any depth and never enters a mount, which stays with
// its mount point. Carries on past failures and returns the first.
std::error_code removeItem(const std::filesystem::path &path);
// The same for the item `name` inside the open folder `folder`, never
// leaving it whatever links lie on the way.
std::error_code removeItem(int folder, const std::string &name);

// The names in the open folder `folder`, "." and ".." left out, appended to `names`.
std::error_code listNames(int folder, std::vector<std::string> &names);

std::optional<FolderId> folderId(int folder);

} // namespace FileTree
