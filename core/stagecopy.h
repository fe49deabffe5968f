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

// What a copy on the pool and the store share: the counts the store samples,
// and the stop for that copy alone.
struct CopyProgress final {
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::atomic_bool stop{false};
};

// One addition's copy into the staging folder, made under a name of its own
// that no other copy or addition can take; only the store names it as the
// added item, if it still wants it, so a copy stopped late never touches a
// newer copy of the same name.
namespace StageCopy {

// The name the copy `id` is made under, in the staging folder.
std::string workName(std::uint64_t id);

struct Staged {
    std::string workName;
    QString sizeLabel;
};

// Copies `source` under workName(`id`), counting its bytes in `progress`:
// what was staged, or nothing after writing the copy line (unless stopped).
// `name` is the added item's.
std::optional<Staged> stage(const StagingFolder &staging, const std::filesystem::path &source,
                            const std::string &name, std::uint64_t id,
                            const std::function<bool()> &isCancelled, CopyProgress &progress);

// Names the whole copy `workName` as `name`; EEXIST when something has it.
std::error_code name(const StagingFolder &staging, const std::string &workName,
                     const std::string &name);

// The copy line.
void reportFailure(const std::string &name, const std::error_code &error);

} // namespace StageCopy
