// SPDX-License-Identifier: MIT
#include "diagnostics.h"

#include <atomic>
#include <cerrno>
#include <string>

#include <unistd.h>

namespace {

std::atomic_int g_fd{STDOUT_FILENO};

// Appends `part` with every control character written out as an escape: a
// file name may hold a line feed (which would split the line, or forge a
// line of its own) or a terminal's escape sequence. C1 controls count too,
// as UTF-8 (U+0080 to U+009F) carries them.
void appendEscaped(std::string &line, std::string_view part)
{
    static constexpr char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < part.size(); ++i) {
        const auto byte = static_cast<unsigned char>(part[i]);
        const bool c1 = byte == 0xc2 && i + 1 < part.size() &&
                        (static_cast<unsigned char>(part[i + 1]) & 0xe0) == 0x80;
        if (byte >= 0x20 && byte != 0x7f && !c1) {
            line.push_back(part[i]);
            continue;
        }
        switch (byte) {
        case '\n':
            line.append("\\n");
            break;
        case '\r':
            line.append("\\r");
            break;
        case '\t':
            line.append("\\t");
            break;
        default: {
            const auto code = c1 ? static_cast<unsigned char>(part[++i]) : byte;
            line.append(c1 ? "\\u00" : "\\x").push_back(kHex[code >> 4]);
            line.push_back(kHex[code & 0xf]);
        }
        }
    }
}

} // namespace

void Diagnostics::writeLine(std::string_view text, std::string_view detail)
{
    std::string line;
    line.reserve(text.size() + detail.size() + 1);
    appendEscaped(line, text);
    appendEscaped(line, detail);
    line.push_back('\n');

    const int fd = g_fd.load();
    const char *data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            // EPIPE included: a reader that went away must not take the
            // program with it (SIGPIPE is ignored, see main()).
            return;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
}

void Diagnostics::setOutput(int fd)
{
    g_fd.store(fd);
}
