// SPDX-License-Identifier: MIT
#pragma once

#include <cerrno>
#include <system_error>
#include <utility>

#include <unistd.h>

// Owns one file descriptor and closes it when it goes.
class UniqueFd final {
public:
    explicit UniqueFd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~UniqueFd() { close(); }
    UniqueFd(UniqueFd &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other) {
            close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

    // Closes now and says how it went: a late write error (NFS, quota) shows
    // only here.
    std::error_code close()
    {
        const int fd = std::exchange(m_fd, -1);
        if (fd < 0 || ::close(fd) == 0)
            return {};
        return std::error_code(errno, std::generic_category());
    }

private:
    int m_fd;
};
