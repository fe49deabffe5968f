// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstddef>
#include <system_error>
#include <vector>

// The folders a walk stands in, outermost first, in place of recursion on the
// call stack. Only the innermost few keep their descriptors open, so that a
// tree of any depth needs few of them: a frame closed on the way down is
// opened again through ".." of its child on the way back up, and checked to
// be the same folder. `Frame` offers close() and reopenFrom(child, error).
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
