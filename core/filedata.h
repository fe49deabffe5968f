// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <system_error>

#include <sys/stat.h>

namespace FileData {

// Copies the first `st.st_size` bytes of the regular file `in` (whose status
// when opened is `st`) into the empty file `out`, by clone where the file
// system shares blocks, else extent by extent so holes stay holes. What the
// source gains meanwhile (a file still being written) is not copied; one that
// comes up short fails with StageError::SourceShrank rather than leave a torn
// copy. `cancelled` is polled between chunks; `copied` grows chunk by chunk,
// holes included, for another thread to read.
std::error_code copy(int in, int out, const struct stat &st, const std::function<bool()> &cancelled,
                     std::atomic<std::uint64_t> *copied = nullptr);

} // namespace FileData
