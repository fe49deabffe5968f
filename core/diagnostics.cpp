// SPDX-License-Identifier: MIT
#include "diagnostics.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <poll.h>
#include <unistd.h>

namespace {

std::atomic_int g_fd{STDOUT_FILENO};

// Far more than any burst the program writes (a few kilobytes), so only a
// reader that has stopped loses lines.
constexpr std::size_t kMaxWaitingBytes = std::size_t(1) << 20;

// Writes all of `line`, however long the output takes; gives up on an error.
void writeWhole(int fd, const std::string &line)
{
    const char *data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            // Made non-blocking by another program (a shared terminal): wait
            // here rather than cut the line.
            if (errno == EAGAIN) {
                pollfd ready{fd, POLLOUT, 0};
                ::poll(&ready, 1, -1);
                continue;
            }
            // EPIPE included (SIGPIPE is ignored, see main()).
            return;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
}

// Never destroyed: a line written while the process ends must not meet a
// writer already gone.
class Writer final {
public:
    static Writer &instance()
    {
        static Writer *const writer = new Writer;
        return *writer;
    }

    void queue(int fd, std::string line)
    {
        if (!m_started) {
            // No thread to be had: write here, as the only way left.
            writeWhole(fd, line);
            return;
        }
        std::lock_guard lock(m_mutex);
        if (m_waitingBytes + line.size() > kMaxWaitingBytes) {
            ++m_dropped;
            return;
        }
        queueNote();
        push(fd, std::move(line));
        m_wake.notify_one();
    }

    bool flush(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        const std::uint64_t target = m_queued;
        return m_written.wait_for(lock, timeout, [&] { return m_done >= target; });
    }

private:
    struct Line {
        int fd;
        std::string text;
    };

    Writer()
    {
        try {
            std::thread(&Writer::run, this).detach();
            m_started = true;
        } catch (const std::system_error &) {
        }
    }

    void push(int fd, std::string line)
    {
        m_waitingBytes += line.size();
        ++m_queued;
        m_lines.push_back({fd, std::move(line)});
    }

    // The count of lines dropped goes where they would have stood. The caller
    // holds m_mutex.
    void queueNote()
    {
        if (m_dropped > 0) {
            const std::uint64_t count = std::exchange(m_dropped, 0);
            push(g_fd.load(), std::to_string(count) +
                                  (count == 1 ? " diagnostic line was" : " diagnostic lines were") +
                                  " dropped: the output was not being read\n");
        }
    }

    [[noreturn]] void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_lines.empty(); });
            Line line = std::move(m_lines.front());
            m_lines.pop_front();
            lock.unlock();
            writeWhole(line.fd, line.text);
            lock.lock();
            m_waitingBytes -= line.text.size();
            ++m_done;
            if (m_lines.empty()) {
                // The reader took everything: it is back.
                queueNote();
            }
            m_written.notify_all();
        }
    }

    bool m_started = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::deque<Line> m_lines;
    std::size_t m_waitingBytes = 0;
    std::uint64_t m_queued = 0;
    std::uint64_t m_done = 0;
    std::uint64_t m_dropped = 0;
};

// A file name may hold a line feed (which would split the line, or forge one)
// or a terminal's escape sequence; C1 controls (U+0080 to U+009F) count too.
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
        if (const auto at = std::string_view("\n\r\t").find(part[i]);
            at != std::string_view::npos) {
            line.append({'\\', "nrt"[at]});
            continue;
        }
        const auto code = c1 ? static_cast<unsigned char>(part[++i]) : byte;
        line.append(c1 ? "\\u00" : "\\x").push_back(kHex[code >> 4]);
        line.push_back(kHex[code & 0xf]);
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
    Writer::instance().queue(g_fd.load(), std::move(line));
}

void Diagnostics::setOutput(int fd)
{
    // The former output is often closed next (a test's log file), and its
    // number given to another file: its lines go first.
    flush();
    g_fd.store(fd);
}

bool Diagnostics::flush(std::chrono::milliseconds timeout)
{
    return Writer::instance().flush(timeout);
}
