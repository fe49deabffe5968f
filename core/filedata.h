// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <system_error>

#include <sys/types.h>

namespace FileData {

// Copies the first `size` bytes of the regular file `in` into the empty file
// `out`, by clone where the file system shares blocks, else extent by extent
// so that holes stay holes. Bytes the source gains after `size` (a file still
// being written, or grown sparsely without end) are not copied; a source that
// comes up short of `size` fails with StageError::SourceShrank rather than
// leave a torn copy. `cancelled` is polled between chunks.
std::error_code copy(int in, int out, off_t size, const std::function<bool()> &cancelled);

} // namespace FileData
