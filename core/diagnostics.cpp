// SPDX-License-Identifier: MIT
#include "diagnostics.h"

#include <atomic>
#include <cerrno>
#include <string>

#include <unistd.h>

namespace {
std::atomic_int g_fd{STDOUT_FILENO};
}

void Diagnostics::writeLine(std::string_view text, std::string_view detail)
{
    std::string line;
    line.reserve(text.size() + detail.size() + 1);
    line.append(text).append(detail).push_back('\n');

    const int fd = g_fd.load();
    const char *data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return; // nowhere left to report to
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
}

void Diagnostics::setOutput(int fd)
{
    g_fd.store(fd);
}
