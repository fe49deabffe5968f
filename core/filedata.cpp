// SPDX-License-Identifier: MIT
#include "filedata.h"

#include "stageerror.h"
#include "treewalk.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using TreeWalk::lastError;

namespace {

// Large enough that the per-call cost vanishes, small enough that a cancelled
// copy stops within milliseconds even when writeback holds it back: 8 MiB could
// then take longer than a quit waits.
constexpr off_t kChunkBytes = 1 << 20;

struct Copier {
    int in;
    int out;
    const std::function<bool()> &cancelled;
    std::atomic<std::uint64_t> *copied;
    bool kernelCopy = true; // copy_file_range until it says it cannot
    std::vector<char> buffer;

    // Copies [from, to) at the same offsets in both files.
    std::error_code range(off_t from, off_t to)
    {
        while (from < to) {
            if (cancelled && cancelled()) {
                return std::make_error_code(std::errc::operation_canceled);
            }
            const auto want = static_cast<size_t>(std::min(to - from, kChunkBytes));
            ssize_t n = -1;
            if (kernelCopy) {
                loff_t inOff = from;
                loff_t outOff = from;
                n = ::copy_file_range(in, &inOff, out, &outOff, want, 0);
                if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                              errno == EINVAL || errno == EPERM)) {
                    kernelCopy = false;
                    continue;
                }
            } else {
                buffer.resize(static_cast<size_t>(kChunkBytes));
                n = ::pread(in, buffer.data(), want, from);
                if (n > 0) {
                    // A short write moves on by what it wrote: the rest is read again.
                    n = ::pwrite(out, buffer.data(), static_cast<size_t>(n), from);
                }
            }
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return lastError();
            }
            if (n == 0) {
                return make_error_code(StageError::SourceShrank);
            }
            from += n;
            passed(static_cast<std::uint64_t>(n));
        }
        return {};
    }

    void passed(std::uint64_t bytes)
    {
        if (copied != nullptr && bytes != 0) {
            copied->fetch_add(bytes, std::memory_order_relaxed);
        }
    }
};

// Where the next data at or after `at` starts and ends, below `size`; empty
// when only a hole is left.
std::pair<off_t, off_t> nextExtent(int in, off_t at, off_t size)
{
    const off_t data = ::lseek(in, at, SEEK_DATA);
    if (data < 0) {
        // ENXIO: nothing but a hole up to the end (or the file shrank there).
        return errno == ENXIO ? std::pair{size, size} : std::pair{at, size};
    }
    if (data >= size) {
        return {size, size};
    }
    const off_t hole = ::lseek(in, data, SEEK_HOLE);
    return {data, hole < 0 ? size : std::min(hole, size)};
}

} // namespace

std::error_code FileData::copy(int in, int out, const struct stat &st,
                               const std::function<bool()> &cancelled,
                               std::atomic<std::uint64_t> *copied)
{
    const off_t size = st.st_size;
    // Only a file with fewer blocks than its size has holes to look for; the
    // two seeks spared add up in a folder of many small files.
    const bool holes = st.st_blocks * 512 < size;
    const bool cloned = ::ioctl(out, FICLONE, in) == 0;
    Copier copier{in, out, cancelled, copied, true, {}};
    off_t end = 0;
    for (off_t at = 0; !cloned && at < size;) {
        const auto [data, stop] = holes ? nextExtent(in, at, size) : std::pair{at, size};
        copier.passed(static_cast<std::uint64_t>(data - at));
        if (auto e = copier.range(data, stop)) {
            return e;
        }
        at = stop;
        end = data < stop ? stop : end;
    }
    if (cloned) {
        copier.passed(static_cast<std::uint64_t>(size));
    }
    struct stat now {};
    if ((cloned || holes) && (::fstat(in, &now) != 0 || now.st_size < size)) {
        // Shrunk inside a hole or before a clone: what was copied is not the
        // file. Elsewhere a short copy shows as such.
        return make_error_code(StageError::SourceShrank);
    }
    // Sets the size the copy stops at: a hole at the end, or the cut of a
    // clone of a source that grew since it was opened.
    const bool sized = cloned ? now.st_size == size : end == size;
    if (!sized && ::ftruncate(out, size) != 0) {
        return lastError();
    }
    return {};
}
