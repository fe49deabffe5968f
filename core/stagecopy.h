// SPDX-License-Identifier: MIT
#pragma once

#include "stagingfolder.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>

// What a copy on the pool and the store share: the copy's counts, which the
// store samples, and the stop for that copy alone.
struct CopyProgress final {
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::atomic_bool stop{false};
};

// The store's work on the pool: one addition's copy into the staging folder.
namespace StageCopy {

// Copies `source` into the staging folder under `name`, counting its bytes in
// `progress`: the staged path, or nothing after writing the copy line (which
// a copy cancelled on its own has had already).
std::optional<std::filesystem::path>
stage(const StagingFolder &staging, const std::filesystem::path &source, const std::string &name,
      const std::function<bool()> &isCancelled, CopyProgress &progress);

// The entry's size text for what was staged at `staged`.
QString sizeLabelOf(const std::filesystem::path &staged);

// The copy line.
void reportFailure(const std::string &name, const std::error_code &error);

} // namespace StageCopy
