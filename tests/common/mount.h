// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/mount.h>

// A file system mounted at `at` for as long as it lives, where the process
// may mount (root, as CI runs).
class Mount final {
public:
    Mount(const std::filesystem::path &at, const char *type, const char *source,
          unsigned long flags, const std::string &options = {})
        : m_at(at)
    {
        std::filesystem::create_directories(at);
        m_mounted = ::mount(source, at.c_str(), type, flags,
                            options.empty() ? nullptr : options.c_str()) == 0;
        m_error = std::strerror(errno);
    }
    ~Mount()
    {
        if (m_mounted) {
            ::umount2(m_at.c_str(), MNT_DETACH);
        }
    }
    Mount(const Mount &) = delete;
    Mount &operator=(const Mount &) = delete;

    bool valid() const { return m_mounted; }
    QByteArray skipReason() const { return QByteArray("cannot mount here: ") + m_error; }

private:
    std::filesystem::path m_at;
    bool m_mounted = false;
    const char *m_error = "";
};
