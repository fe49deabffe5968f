// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <system_error>

#include <sys/stat.h>

namespace FileData {

// Copies the first `st.st_size` bytes of the regular file `in`, whose status
// when opened is `st`, into the empty file `out`, by clone where the file system shares blocks,
// else extent by extent so that holes stay holes. Bytes the source gains after `size` (a file still
// being written, or grown sparsely without end) are not copied; a source that
// comes up short of that size fails with StageError::SourceShrank rather than
// leave a torn copy. `cancelled` is polled between chunks. `copied`, when
// given, grows by the bytes of the size passed so far, holes included, chunk
// by chunk, so another thread can read how far the copy is.
std::error_code copy(int in, int out, const struct stat &st, const std::function<bool()> &cancelled,
                     std::atomic<std::uint64_t> *copied = nullptr);

} // namespace FileData
