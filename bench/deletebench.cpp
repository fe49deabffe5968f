// SPDX-License-Identifier: MIT
// How long removing and clearing hold the main thread: the largest gap between
// turns of the event loop from removeFile()/clearAll() until the item is gone
// from the disk, beside how long deleting the same item in place takes (what
// the main thread waited for when the store deleted during the call).
#include "backgroundpool.h"
#include "diagnostics.h"
#include "filetree.h"
#include "stagingfolder.h"
#include "stashletmanager.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint64_t kBigBytes = 1ull << 30;
constexpr int kManyFiles = 100'000;
constexpr int kFilesPerFolder = 1000;
constexpr int kTimeoutMs = 600'000;

// Nanoseconds the calling thread has spent on a core, so a gap can be told
// apart into work done on the main thread and time it waited for a core on a
// busy machine.
double runningNs()
{
    char text[128] = {};
    const int fd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    double running = 0;
    if (fd >= 0 && ::read(fd, text, sizeof text - 1) > 0) {
        running = std::strtod(text, nullptr);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return running;
}

struct Stall {
    double ms = 0;
    double runningMs = 0;
};

double msSince(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

void check(bool ok, const std::string &what)
{
    if (!ok) {
        throw std::runtime_error(what);
    }
}

void writeFile(const fs::path &path, std::uint64_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    check(fd >= 0, "cannot create " + path.native());
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 131 + 7);
    }
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done));
        check(::write(fd, block.data(), n) == static_cast<ssize_t>(n),
              "cannot write " + path.native());
        done += n;
    }
    ::close(fd);
}

// 100 folders of 1,000 small files each.
void writeManyFiles(const fs::path &folder)
{
    fs::create_directory(folder);
    char name[32];
    for (int d = 0; d < kManyFiles / kFilesPerFolder; ++d) {
        std::snprintf(name, sizeof name, "d%d", d);
        const fs::path sub = folder / name;
        fs::create_directory(sub);
        for (int f = 0; f < kFilesPerFolder; ++f) {
            std::snprintf(name, sizeof name, "f%d", f);
            writeFile(sub / name, 16);
        }
    }
}

struct Shelf {
    BackgroundPool pool;
    std::shared_ptr<StashletManager> manager = StashletManager::create(pool);

    void waitFor(const std::function<bool()> &done, const std::string &what)
    {
        const auto start = Clock::now();
        while (!done()) {
            check(msSince(start) < kTimeoutMs, "timed out " + what);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            QCoreApplication::sendPostedEvents();
        }
    }

    void add(const fs::path &source)
    {
        manager->addFile(source);
        waitFor([&] { return !manager->tempFiles().isEmpty(); }, "adding " + source.native());
    }

    // The largest gap between turns of the loop, turned by a 1 ms timer, from
    // `act` until nothing is left at `staged` or in the trash.
    Stall maxStall(const std::function<void()> &act, const fs::path &staged)
    {
        const fs::path trash = staged.parent_path() / StagingTrash::kName;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        auto last = Clock::now();
        double lastRunning = runningNs();
        Stall worst;
        const auto tick = [&] {
            const double running = runningNs();
            if (const double gap = msSince(last); gap > worst.ms) {
                worst = {gap, (running - lastRunning) / 1e6};
            }
            last = Clock::now();
            lastRunning = running;
        };
        QObject::connect(&ticker, &QTimer::timeout, tick);
        ticker.start();
        last = Clock::now();
        lastRunning = runningNs();
        act();
        std::error_code ignored;
        waitFor([&] { return !fs::exists(staged, ignored) && !fs::exists(trash, ignored); },
                "deleting " + staged.native());
        tick();
        ticker.stop();
        check(pool.waitForDone(kTimeoutMs), "the pool never finished");
        QCoreApplication::sendPostedEvents();
        return worst;
    }
};

// What the store used to hold the main thread for: deleting in place.
double timeDeleteInPlace(const fs::path &source, const fs::path &copy)
{
    check(std::system(("cp -a '" + source.native() + "' '" + copy.native() + "'").c_str()) == 0,
          "cp -a failed");
    ::sync();
    const auto start = Clock::now();
    check(!FileTree::removeItem(copy), "cannot delete " + copy.native());
    return msSince(start);
}

int run(const fs::path &base)
{
    const fs::path root = base / "deletebench";
    fs::create_directories(root / "tmp");
    fs::permissions(root / "tmp", fs::perms::owner_all);
    ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    const fs::path staging = StagingFolder().location();
    check(staging == root / "tmp" / StagingFolder::kName, "staging folder outside the scratch");
    const int log =
        ::open((root / "diagnostics.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    Diagnostics::setOutput(log);

    std::printf("QEL Stashlet delete benchmark, scratch %s\n", root.c_str());
    std::fflush(stdout);
    writeFile(root / "big.bin", kBigBytes);
    writeManyFiles(root / "many");
    ::sync();

    Shelf shelf;
    shelf.add(root / "big.bin");
    ::sync();
    const Stall removeStall = shelf.maxStall(
        [&] { shelf.manager->removeFile(shelf.manager->tempFiles().at(0)); }, staging / "big.bin");
    const double removeInPlace = timeDeleteInPlace(root / "big.bin", root / "big-copy.bin");
    std::fprintf(
        stderr,
        "remove 1 GiB: stall %.2f ms (main thread running %.2f ms of it), in place %.2f ms\n",
        removeStall.ms, removeStall.runningMs, removeInPlace);

    shelf.waitFor([&] { return shelf.manager->tempFiles().isEmpty(); }, "the removal to publish");
    shelf.add(root / "many");
    ::sync();
    const Stall clearStall = shelf.maxStall([&] { shelf.manager->clearAll(); }, staging / "many");
    const double clearInPlace = timeDeleteInPlace(root / "many", root / "many-copy");
    std::fprintf(stderr,
                 "clear 100,000 files: stall %.2f ms (main thread running %.2f ms of it), in place "
                 "%.2f ms\n",
                 clearStall.ms, clearStall.runningMs, clearInPlace);

    std::printf("remove-stall-ms %.2f\nremove-running-ms %.2f\nremove-inplace-ms %.2f\n"
                "clear-stall-ms %.2f\nclear-running-ms %.2f\nclear-inplace-ms %.2f\n",
                removeStall.ms, removeStall.runningMs, removeInPlace, clearStall.ms,
                clearStall.runningMs, clearInPlace);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const fs::path base = args.size() > 2 && args.at(1) == QStringLiteral("--in")
                              ? fs::path(args.at(2).toStdString())
                              : fs::current_path();
    try {
        return run(base);
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "stashlet-bench-delete: %s\n", e.what());
        return 1;
    }
}
