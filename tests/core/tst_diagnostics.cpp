// SPDX-License-Identifier: MIT
#include "diagnostics.h"

#include <QtTest>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A pipe the lines go to, read once started until its writer closes it;
// `pause` between reads plays a slow reader.
class PipeReader final {
public:
    explicit PipeReader(std::chrono::milliseconds pause = 0ms)
        : m_pause(pause)
    {
        if (::pipe2(m_fds, O_CLOEXEC) != 0) {
            qFatal("pipe2 failed");
        }
        // The smallest a pipe holds: a stuck reader is met after a page.
        ::fcntl(m_fds[0], F_SETPIPE_SZ, 4096);
        Diagnostics::setOutput(m_fds[1]);
    }
    ~PipeReader()
    {
        lines();
        ::close(m_fds[0]);
    }
    int writeEnd() const { return m_fds[1]; }
    void startReading()
    {
        m_text = std::async(std::launch::async, [this] {
            std::string text;
            char buffer[1024];
            for (ssize_t n; (n = ::read(m_fds[0], buffer, sizeof buffer)) != 0;) {
                text.append(buffer, size_t(std::max<ssize_t>(n, 0)));
                std::this_thread::sleep_for(m_pause);
            }
            return text;
        });
    }
    // Every line written, once all of them are out; then the pipe is closed.
    QList<QByteArray> lines()
    {
        if (m_fds[1] < 0) {
            return {};
        }
        if (!Diagnostics::flush(10s)) {
            qWarning("the lines were not all written");
        }
        Diagnostics::setOutput(STDOUT_FILENO);
        ::close(std::exchange(m_fds[1], -1));
        QList<QByteArray> lines =
            QByteArray::fromStdString(m_text.valid() ? m_text.get() : std::string()).split('\n');
        if (lines.constLast().isEmpty()) {
            lines.removeLast();
        }
        return lines;
    }

private:
    int m_fds[2] = {-1, -1};
    std::chrono::milliseconds m_pause;
    std::future<std::string> m_text;
};

QByteArray numbered(int writer, int n)
{
    return "writer " + QByteArray::number(writer) + " line " + QByteArray::number(n) + ' ' +
           QByteArray(40, 'x');
}

} // namespace

class TestDiagnostics final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Standard output a pipe nobody reads, or a terminal paused with Ctrl+S:
    // the program goes on, and learns, once the reader is back, how many
    // lines it missed. What was kept arrives whole and in order.
    void aStuckReaderHoldsNobodyUpAndLearnsWhatWasDropped()
    {
        PipeReader pipe;
        constexpr int kLines = 40'000; // some 2.5 MB, past what may wait
        auto writing = std::async(std::launch::async, [] {
            for (int n = 0; n < kLines; ++n) {
                Diagnostics::writeLine(numbered(0, n).toStdString());
            }
        });
        const bool returned = writing.wait_for(10s) == std::future_status::ready;
        pipe.startReading();
        writing.wait();
        QVERIFY2(returned, "a line waited for the reader");

        const QList<QByteArray> lines = pipe.lines();
        QVERIFY(!lines.isEmpty());
        const QRegularExpression note(QStringLiteral("^(\\d+) diagnostic lines? (was|were) "
                                                     "dropped: the output was not being read$"));
        const QRegularExpressionMatch dropped = note.match(QString::fromUtf8(lines.constLast()));
        QVERIFY2(dropped.hasMatch(), lines.constLast().constData());
        QCOMPARE(lines.size() - 1 + dropped.captured(1).toInt(), kLines);
        for (int i = 0; i < lines.size() - 1; ++i) {
            QCOMPARE(lines.at(i), numbered(0, i));
        }
    }

    // A reader that keeps up, however slowly, gets every line of every thread,
    // whole and in each thread's order, even from an output another program
    // made non-blocking (a shared terminal), where a write may take only part.
    void aReaderThatKeepsUpGetsEveryLineWhole()
    {
        for (const bool nonBlocking : {false, true}) {
            PipeReader pipe(1ms);
            if (nonBlocking) {
                ::fcntl(pipe.writeEnd(), F_SETFL, ::fcntl(pipe.writeEnd(), F_GETFL) | O_NONBLOCK);
            }
            pipe.startReading();
            constexpr int kWriters = 4;
            constexpr int kLines = 1500;
            std::vector<std::jthread> writers;
            for (int w = 0; w < kWriters; ++w) {
                writers.emplace_back([w] {
                    for (int n = 0; n < kLines; ++n) {
                        // A line feed in a detail (a file name's) stays inside its line.
                        Diagnostics::writeLine(numbered(w, n).toStdString(), n == 7 ? "a\nb" : "");
                    }
                });
            }
            writers.clear();
            const QList<QByteArray> lines = pipe.lines();
            QCOMPARE(lines.size(), kWriters * kLines);
            int next[kWriters] = {};
            for (const QByteArray &line : lines) {
                const int w = line.mid(7, 1).toInt();
                QVERIFY(w >= 0 && w < kWriters);
                QCOMPARE(line, numbered(w, next[w]) + (next[w] == 7 ? "a\\nb" : ""));
                ++next[w];
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
