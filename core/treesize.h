// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace TreeSize {

// The bytes of the regular files below the folder `source` (a link there
// followed, links below it not), on the file system it starts on, as a copy
// of it would move them. Unreadable folders count as empty. Nothing when
// `source` cannot be walked or `isCancelled` (polled per item) turns true.
std::optional<std::uint64_t> regularBytes(const std::filesystem::path &source,
                                          const std::function<bool()> &isCancelled);

} // namespace TreeSize
