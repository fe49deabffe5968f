// SPDX-License-Identifier: MIT
#include "backgroundpool.h"
#include "diagnostics.h"
#include "stagingfolder.h"
#include "stashletmanager.h"
#include "unnamedfiles.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint64_t kBigBytes = 1ull << 30;
// A disk image or a database file as drops bring them: mostly holes.
constexpr std::uint64_t kSparseBytes = 10ull << 30;
constexpr int kSmallFiles = 5000;
constexpr std::size_t kSmallBytes = 4096;
constexpr int kStallRuns = 3;
constexpr int kCancelRuns = 5;
// Generous: a 1 GiB copy that takes this long means something is broken, not slow.
constexpr int kTimeoutMs = 120'000;

const char *const kBigName = "big.bin";
const char *const kFolderName = "small-files";
const char *const kSparseName = "sparse.img";

struct Options {
    int repetitions = 9;
    bool verbose = false;
    fs::path base = fs::current_path();
};

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

[[noreturn]] void fail(const std::string &what)
{
    throw std::runtime_error(what);
}

void check(bool ok, const std::string &what)
{
    if (!ok) {
        fail(what);
    }
}

// Removes the scratch folder on every way out that unwinds the stack, so a
// failed run does not leave gigabytes behind.
class ScratchFolder final {
public:
    explicit ScratchFolder(const fs::path &base)
    {
        std::string pattern = (base / "stashlet-copy-bench.XXXXXX").native();
        check(::mkdtemp(pattern.data()) != nullptr,
              "cannot create a scratch folder in " + base.native() + ": " + std::strerror(errno));
        m_path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

std::string fileSystemName(const fs::path &path)
{
    struct statfs sf {};
    if (::statfs(path.c_str(), &sf) != 0) {
        return "unknown";
    }
    switch (static_cast<unsigned long>(sf.f_type)) {
    case 0xEF53:
        return "ext4";
    case 0x01021994:
        return "tmpfs";
    case 0x9123683E:
        return "btrfs";
    case 0x58465342:
        return "xfs";
    case 0x794c7630:
        return "overlayfs";
    default: {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(sf.f_type));
        return hex;
    }
    }
}

// xorshift64*: incompressible enough that no layer can shortcut the data, and
// far faster than the disk so making the sources stays cheap.
class Noise final {
public:
    explicit Noise(std::uint64_t seed)
        : m_state(seed | 1)
    {
    }
    void fill(char *data, std::size_t size)
    {
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            const std::uint64_t v = next();
            std::memcpy(data + i, &v, 8);
        }
        for (; i < size; ++i) {
            data[i] = static_cast<char>(next());
        }
    }

private:
    std::uint64_t next()
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1Dull;
    }
    std::uint64_t m_state;
};

void writeAll(int fd, const char *data, std::size_t size, const fs::path &path)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        check(n > 0, "cannot write " + path.native() + ": " + std::strerror(errno));
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void writeNoiseFile(const fs::path &path, std::uint64_t size, Noise &noise)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    check(fd >= 0, "cannot create " + path.native() + ": " + std::strerror(errno));
    std::vector<char> buffer(std::min<std::uint64_t>(size, 8u << 20));
    for (std::uint64_t left = size; left > 0;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        noise.fill(buffer.data(), n);
        writeAll(fd, buffer.data(), n, path);
        left -= n;
    }
    ::close(fd);
}

// 10 GiB long, 8 KiB of it data: 4 KiB at the start and 4 KiB in the middle.
void writeSparseFile(const fs::path &path, Noise &noise)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    check(fd >= 0, "cannot create " + path.native() + ": " + std::strerror(errno));
    std::vector<char> block(4096);
    for (const std::uint64_t at : {std::uint64_t(0), kSparseBytes / 2}) {
        noise.fill(block.data(), block.size());
        check(::pwrite(fd, block.data(), block.size(), static_cast<off_t>(at)) ==
                  static_cast<ssize_t>(block.size()),
              "cannot write " + path.native());
    }
    check(::ftruncate(fd, static_cast<off_t>(kSparseBytes)) == 0, "cannot size " + path.native());
    ::close(fd);
}

// Written data still waiting for the disk would be flushed during whichever
// copy happens to run next; flushing between runs keeps that cost out of both.
void flushFileSystem(const fs::path &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

std::uint64_t sizeOf(const fs::path &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Bytes the file takes on disk.
std::uint64_t diskUsageOf(const fs::path &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_blocks) * 512 : 0;
}

int countEntries(const fs::path &folder)
{
    std::error_code error;
    int n = 0;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        ++n;
    }
    return n;
}

bool isPresent(const fs::path &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Checks a finished copy outside the timing, so a fast but wrong copy cannot
// win the comparison.
void checkCopy(const fs::path &copy, bool isFolder, const std::string &who)
{
    if (isFolder) {
        check(countEntries(copy) == kSmallFiles, who + " copied an incomplete folder");
    } else {
        check(sizeOf(copy) == kBigBytes, who + " copied an incomplete file");
    }
}

double timeCp(const fs::path &source, const fs::path &target)
{
    const std::string src = source.native();
    const std::string dst = target.native();
    char *argv[] = {const_cast<char *>("cp"), const_cast<char *>("-a"),
                    const_cast<char *>(src.c_str()), const_cast<char *>(dst.c_str()), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawnError = ::posix_spawnp(&pid, "cp", nullptr, nullptr, argv, environ);
    check(spawnError == 0, std::string("cannot start cp: ") + std::strerror(spawnError));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const auto end = Clock::now();
    check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "cp -a " + src + " failed");
    return msBetween(start, end);
}

struct Stall {
    double ms = 0;
    double runningMs = 0;
    double waitingMs = 0;
};

// The calling thread's counters from /proc: time on a core and time ready to
// run but queued behind other threads.
class SchedStat final {
public:
    struct Sample {
        double runningNs = 0;
        double waitingNs = 0;
    };

    SchedStat()
        : m_fd(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC))
    {
    }
    ~SchedStat()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    SchedStat(const SchedStat &) = delete;
    SchedStat &operator=(const SchedStat &) = delete;

    Sample read() const
    {
        char text[128] = {};
        Sample sample;
        if (m_fd >= 0 && ::pread(m_fd, text, sizeof text - 1, 0) > 0) {
            unsigned long long running = 0;
            unsigned long long waiting = 0;
            if (std::sscanf(text, "%llu %llu", &running, &waiting) == 2) {
                sample = {static_cast<double>(running), static_cast<double>(waiting)};
            }
        }
        return sample;
    }

private:
    int m_fd;
};

class StoreBench final {
public:
    StoreBench(BackgroundPool &pool, const fs::path &staging, const fs::path &log)
        : m_pool(pool)
        , m_manager(StashletManager::create(pool))
        , m_staging(staging)
        , m_log(log)
    {
    }

    // addFile() until the entry is listed: the store's checks, the hop to the
    // pool, the copy, the size label and the hop back, as a user waits for them.
    double timeAddition(const fs::path &source)
    {
        const std::string name = source.filename().native();
        const auto start = Clock::now();
        m_manager->addFile(source);
        waitFor([&] { return isListed(name); }, "adding " + source.native());
        return msBetween(start, Clock::now());
    }

    // How long clearAll() itself holds the main thread.
    double clear()
    {
        const auto start = Clock::now();
        m_manager->clearAll();
        const double ms = msBetween(start, Clock::now());
        waitFor([&] { return m_manager->tempFiles().isEmpty(); }, "clearing the shelf");
        return ms;
    }

    // The largest gap between two turns of the main event loop while a large
    // addition runs; a 1 ms timer turns the loop without spinning a core that
    // the copy needs on a two-core machine. The main thread's scheduler
    // statistics over that gap tell work done on it (running) from time it
    // was ready but had no core (waiting), which a busy machine adds.
    Stall maxStall(const fs::path &source)
    {
        const std::string name = source.filename().native();
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        SchedStat sched;
        Clock::time_point last = Clock::now();
        SchedStat::Sample lastSched = sched.read();
        Stall worst;
        const auto tick = [&] {
            const auto now = Clock::now();
            const SchedStat::Sample nowSched = sched.read();
            const double gap = msBetween(last, now);
            if (gap > worst.ms) {
                worst = {gap, (nowSched.runningNs - lastSched.runningNs) / 1e6,
                         (nowSched.waitingNs - lastSched.waitingNs) / 1e6};
            }
            last = now;
            lastSched = nowSched;
        };
        QObject::connect(&ticker, &QTimer::timeout, tick);
        ticker.start();
        last = Clock::now();
        lastSched = sched.read();
        m_manager->addFile(source);
        waitFor([&] { return isListed(name); }, "adding " + source.native());
        tick();
        ticker.stop();
        return worst;
    }

    // From shutdown() until the partial copy is gone: deleted from the
    // staging folder, or closed when it was written without a name.
    double cancelLatency(const fs::path &source)
    {
        const fs::path staged = m_staging / source.filename();
        m_manager->addFile(source);
        const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
        // A copy written without a name shows only among the open files.
        const auto unnamedSize = [this]() -> std::uint64_t {
            const auto sizes = unnamedFilesOpenIn(::getpid(), m_staging);
            return sizes.empty() ? 0 : sizes.front();
        };
        std::uint64_t size = 0;
        while ((size = std::max(sizeOf(staged), unnamedSize())) == 0) {
            check(Clock::now() < deadline, "the copy to cancel never started");
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        check(size < kBigBytes, "the copy finished before it could be cancelled");
        const auto start = Clock::now();
        m_manager->shutdown();
        while (isPresent(staged) || !unnamedFilesOpenIn(::getpid(), m_staging).empty()) {
            check(Clock::now() < deadline, "the cancelled copy was never removed");
        }
        const double ms = msBetween(start, Clock::now());
        // Let the cancelled addition report back, so its name is free again.
        check(m_pool.waitForDone(kTimeoutMs), "the cancelled copy never returned");
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        check(m_manager->tempFiles().isEmpty(), "a cancelled copy was listed");
        return ms;
    }

private:
    bool isListed(const std::string &name) const
    {
        const auto &files = m_manager->tempFiles();
        return std::any_of(files.begin(), files.end(),
                           [&](const TempFile &f) { return f.originalName() == name; });
    }

    void waitFor(const std::function<bool()> &done, const std::string &what)
    {
        if (done()) {
            return;
        }
        QEventLoop loop;
        QObject::connect(m_manager.get(), &StashletManager::tempFilesChanged, &loop, [&] {
            if (done()) {
                loop.quit();
            }
        });
        QTimer::singleShot(kTimeoutMs, &loop, [&] { loop.exit(1); });
        if (loop.exec() != 0) {
            std::ifstream in(m_log);
            std::stringstream text;
            text << in.rdbuf();
            fail("timed out " + what + "; the store said:\n" + text.str());
        }
    }

    BackgroundPool &m_pool;
    std::shared_ptr<StashletManager> m_manager;
    fs::path m_staging;
    fs::path m_log;
};

struct Series {
    std::vector<double> ms;
    double min() const { return *std::min_element(ms.begin(), ms.end()); }
    double max() const { return *std::max_element(ms.begin(), ms.end()); }
    double median() const
    {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
};

Options parseOptions(const QStringList &args)
{
    Options options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--repetitions") && i + 1 < args.size()) {
            options.repetitions = args[++i].toInt();
        } else if (arg == QLatin1String("--verbose")) {
            options.verbose = true;
        } else if (arg == QLatin1String("--in") && i + 1 < args.size()) {
            options.base = fs::absolute(args[++i].toStdString());
        } else {
            fail("usage: stashlet-bench-copy [--repetitions N] [--in FOLDER] [--verbose]");
        }
    }
    check(options.repetitions >= 1, "--repetitions needs a positive number");
    return options;
}

int run(const Options &options)
{
    const ScratchFolder scratch(options.base);
    const fs::path root = scratch.path();
    const fs::path sources = root / "sources";
    const fs::path cpTargets = root / "cp";
    // The store stages into $TMPDIR/QELStashlet when $TMPDIR is private, which
    // puts its copies on the same file system as cp's; XDG_CACHE_HOME is set
    // too so that no fallback could ever empty the user's real shelf.
    const fs::path privateTmp = root / "tmp";
    for (const fs::path &p : {sources, cpTargets, privateTmp}) {
        check(::mkdir(p.c_str(), 0700) == 0, "cannot create " + p.native());
    }
    ::setenv("TMPDIR", privateTmp.c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    const fs::path staging = StagingFolder().location();
    check(staging == privateTmp / StagingFolder::kName,
          "the staging folder would not be inside the scratch folder: " + staging.native());

    const fs::path log = root / "diagnostics.log";
    const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(logFd >= 0, "cannot create " + log.native());
    Diagnostics::setOutput(logFd);

    std::printf("QEL Stashlet copy benchmark: %d interleaved repetitions, scratch %s (%s)\n",
                options.repetitions, root.c_str(), fileSystemName(root).c_str());
    std::fflush(stdout);

    Noise noise(0x5eed5eedull);
    const fs::path bigSource = sources / kBigName;
    writeNoiseFile(bigSource, kBigBytes, noise);
    const fs::path folderSource = sources / kFolderName;
    check(::mkdir(folderSource.c_str(), 0755) == 0, "cannot create " + folderSource.native());
    for (int i = 0; i < kSmallFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%04d.dat", i);
        writeNoiseFile(folderSource / name, kSmallBytes, noise);
    }
    flushFileSystem(root);

    BackgroundPool pool;
    StoreBench store(pool, staging, log);

    const fs::path sparseSource = sources / kSparseName;
    writeSparseFile(sparseSource, noise);

    struct Case {
        fs::path source;
        bool isFolder;
        Series ours;
        Series cp;
        Series clear;
        std::uint64_t oursDisk = 0; // bytes on disk of the last copy
        std::uint64_t cpDisk = 0;
    };
    std::vector<Case> cases{{bigSource, false, {}, {}, {}},
                            {folderSource, true, {}, {}, {}},
                            {sparseSource, false, {}, {}, {}}};

    const auto checkAny = [&](const fs::path &copy, const Case &c, const std::string &who) {
        if (c.source == sparseSource) {
            check(sizeOf(copy) == kSparseBytes, who + " copied an incomplete sparse file");
        } else {
            checkCopy(copy, c.isFolder, who);
        }
    };
    const auto runOurs = [&](Case &c, Series *into) {
        flushFileSystem(root);
        const double ms = store.timeAddition(c.source);
        checkAny(staging / c.source.filename(), c, "the store");
        c.oursDisk = diskUsageOf(staging / c.source.filename());
        if (options.verbose) {
            std::fprintf(stderr, "  store %-12s %9.2f ms\n", c.source.filename().c_str(), ms);
        }
        const double clearMs = store.clear();
        check(!isPresent(staging / c.source.filename()), "clearAll() left the staged copy");
        if (into) {
            into->ms.push_back(ms);
            c.clear.ms.push_back(clearMs);
        }
    };
    const auto runCp = [&](Case &c, Series *into) {
        const fs::path target = cpTargets / c.source.filename();
        flushFileSystem(root);
        const double ms = timeCp(c.source, target);
        checkAny(target, c, "cp -a");
        c.cpDisk = diskUsageOf(target);
        fs::remove_all(target);
        if (options.verbose) {
            std::fprintf(stderr, "  cp -a %-12s %9.2f ms\n", c.source.filename().c_str(), ms);
        }
        if (into) {
            into->ms.push_back(ms);
        }
    };

    for (Case &c : cases) { // warm-up: caches, first-touch allocations, the pool's threads
        runOurs(c, nullptr);
        runCp(c, nullptr);
    }
    for (int rep = 0; rep < options.repetitions; ++rep) {
        for (Case &c : cases) {
            if (rep % 2 == 0) {
                runOurs(c, &c.ours);
                runCp(c, &c.cp);
            } else {
                runCp(c, &c.cp);
                runOurs(c, &c.ours);
            }
        }
    }

    Series stalls;
    Stall worstStall;
    for (int i = 0; i < kStallRuns; ++i) {
        flushFileSystem(root);
        const Stall stall = store.maxStall(bigSource);
        stalls.ms.push_back(stall.ms);
        if (stall.ms >= worstStall.ms) {
            worstStall = stall;
        }
        store.clear();
    }
    Series cancels;
    for (int i = 0; i < kCancelRuns; ++i) {
        flushFileSystem(root);
        cancels.ms.push_back(store.cancelLatency(bigSource));
    }

    std::printf("\n%-40s %10s %10s %10s\n", "case", "min ms", "median ms", "max ms");
    const auto row = [](const char *label, const Series &s) {
        std::printf("%-40s %10.2f %10.2f %10.2f\n", label, s.min(), s.median(), s.max());
    };
    row("1 GiB file, store addFile", cases[0].ours);
    row("1 GiB file, cp -a", cases[0].cp);
    row("5,000 x 4 KiB folder, store", cases[1].ours);
    row("5,000 x 4 KiB folder, cp -a", cases[1].cp);
    row("10 GiB sparse file, store", cases[2].ours);
    row("10 GiB sparse file, cp -a", cases[2].cp);
    row("main-loop stall, 1 GiB addition", stalls);
    row("cancel to partial copy gone", cancels);
    row("clearAll() on the main thread, file", cases[0].clear);
    row("clearAll() on the main thread, folder", cases[1].clear);
    // Both copies of a repetition run back to back, so their ratio cancels
    // most of what a busy machine adds; the median of those ratios shows
    // whether a ratio of minimums was decided by one lucky run.
    const auto pairedRatio = [](const Case &c) {
        Series ratios;
        for (std::size_t i = 0; i < c.ours.ms.size(); ++i) {
            ratios.ms.push_back(c.ours.ms[i] / c.cp.ms[i]);
        }
        return ratios.median();
    };
    std::printf("store over cp -a within each repetition, median: file %.3f, folder %.3f, "
                "sparse %.3f\n",
                pairedRatio(cases[0]), pairedRatio(cases[1]), pairedRatio(cases[2]));
    std::printf("stall: worst of %d additions, %.2f ms: main thread running %.2f ms, waiting "
                "for a core %.2f ms\ncancel: worst of %d\n\n",
                kStallRuns, worstStall.ms, worstStall.runningMs, worstStall.waitingMs, kCancelRuns);

    std::printf("ratio-file %.3f\n", cases[0].ours.min() / cases[0].cp.min());
    std::printf("ratio-folder %.3f\n", cases[1].ours.min() / cases[1].cp.min());
    std::printf("ratio-sparse %.3f\n", cases[2].ours.min() / cases[2].cp.min());
    std::printf("sparse-kib %.1f\n", static_cast<double>(cases[2].oursDisk) / 1024);
    std::printf("sparse-cp-kib %.1f\n", static_cast<double>(cases[2].cpDisk) / 1024);
    std::printf("max-stall-ms %.2f\n", stalls.max());
    std::printf("cancel-ms %.2f\n", cancels.max());
    std::fflush(stdout);
    // The log stays the store's output until exit: nothing may follow the four lines.
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    try {
        return run(parseOptions(QCoreApplication::arguments()));
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "stashlet-bench-copy: %s\n", e.what());
        return 1;
    }
}
