// SPDX-License-Identifier: MIT
#pragma once

#include "uniquefd.h"

#include <algorithm>
#include <cstddef>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

// What the copy and the delete walks share.
namespace TreeWalk {

// A folder opened for walking: never through a link.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::error_code lastError();

// False for the folder `name` in `parent` (whose status is `st`) when it lies
// on a device other than `device`, or another file system or a bind mount is
// mounted on it: a walk that entered it would copy or delete what is not its own.
bool staysOn(dev_t device, int parent, const char *name, const struct stat &st);

// The folder above the one open at `child`, if it is still `expected`: one
// moved meanwhile would lead the walk somewhere else.
UniqueFd reopenParent(int child, const struct stat &expected, std::error_code &error);

} // namespace TreeWalk

// The folders a walk stands in, outermost first, in place of recursion. Only
// the innermost few stay open, so any depth needs few descriptors: a frame
// closed on the way down is reopened through ".." of its child on the way up
// and checked to be the same folder. `Frame` offers close() and reopenFrom().
template <typename Frame> class FolderStack final {
public:
    static constexpr std::size_t kOpenFrames = 16;

    bool empty() const { return m_frames.empty(); }
    Frame &top() { return m_frames.back(); }
    const std::vector<Frame> &frames() const { return m_frames; }

    void push(Frame frame)
    {
        m_frames.push_back(std::move(frame));
        if (m_frames.size() - m_firstOpen > kOpenFrames) {
            m_frames[m_firstOpen++].close();
        }
    }

    // Takes the innermost frame off, still open; the new innermost is open
    // afterwards unless `error` says why not.
    Frame pop(std::error_code &error)
    {
        Frame done = std::move(m_frames.back());
        m_frames.pop_back();
        if (!m_frames.empty() && m_frames.size() - 1 < m_firstOpen) {
            m_frames.back().reopenFrom(done, error);
            m_firstOpen = m_frames.size() - 1;
        }
        m_firstOpen = std::min(m_firstOpen, m_frames.size());
        return done;
    }

private:
    std::vector<Frame> m_frames;
    std::size_t m_firstOpen = 0; // frames below this index are closed
};
