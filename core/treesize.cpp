// SPDX-License-Identifier: MIT
#include "treesize.h"

#include <ftw.h>
#include <sys/stat.h>

namespace {

struct Count {
    const std::function<bool()> *isCancelled = nullptr;
    std::uint64_t bytes = 0;
    bool stopped = false;
};

// nftw() hands its callback no context of its own.
thread_local Count *t_count = nullptr;

int visit(const char *, const struct stat *st, int type, struct FTW *)
{
    Count &count = *t_count;
    if (*count.isCancelled && (*count.isCancelled)()) {
        count.stopped = true;
        return 1;
    }
    if (type == FTW_F && S_ISREG(st->st_mode)) {
        count.bytes += static_cast<std::uint64_t>(st->st_size);
    }
    return 0;
}

} // namespace

std::optional<std::uint64_t> TreeSize::regularBytes(const std::filesystem::path &source,
                                                    const std::function<bool()> &isCancelled)
{
    Count count{&isCancelled};
    t_count = &count;
    // "/." has the walk resolve a link at the top, as the copy does, while
    // FTW_PHYS keeps it from following the links below (glibc drops a
    // trailing slash, which would have served otherwise).
    const std::string top = (source / ".").native();
    const int result = ::nftw(top.c_str(), visit, 16, FTW_PHYS | FTW_MOUNT);
    t_count = nullptr;
    if (result != 0 || count.stopped) {
        return std::nullopt;
    }
    return count.bytes;
}
