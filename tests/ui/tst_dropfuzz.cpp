// SPDX-License-Identifier: MIT
#include "backgroundpool.h"
#include "dropintake.h"
#include "droppedmimedata.h"
#include "itemprovider.h"

#include <QMimeData>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>

using Item = ItemProvider::Item;
using Path = std::filesystem::path;

namespace {

constexpr int kRounds = 20000;
constexpr std::uint64_t kDefaultSeed = 0x5eed'd70b;

// Pieces that steer random payloads into the corners of URL parsing; random
// bytes alone would almost never spell a file URL.
const QByteArrayList kFilePieces{"file://",           "file:///",         "FILE:/",      "file:",
                                 "File://localhost/", "file://LOCALHOST", "file://host/"};
const QByteArrayList kOtherPieces{"localhost", "/",           "//",
                                  "%",         "%00",         "%E9",
                                  "%2F",       "%2e%2e",      "%zz",
                                  "\r\n",      "\n",          "\r",
                                  "#",         " ",           "\t",
                                  "?",         "@",           ":8080",
                                  "..",        ".",           "a",
                                  "\xc3\xa9",  "\xff",        "\x80",
                                  "http://",   "ftp://host/", QByteArray(1, '\0')};

class Fuzzer final {
public:
    explicit Fuzzer(std::uint64_t seed)
        : m_rng(seed)
    {
    }

    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(m_rng); }

    // Lines of random pieces, most of them led by a file scheme when
    // `withFileScheme`; random bytes may still spell one without it, which is
    // why callers look at the payload, not at this flag.
    QByteArray payload(bool withFileScheme)
    {
        QByteArray bytes;
        for (int lines = below(7); lines > 0; --lines) {
            if (!bytes.isEmpty()) {
                bytes += below(2) == 0 ? "\r\n" : "\n";
            }
            if (withFileScheme && below(10) < 6) {
                bytes += kFilePieces[below(int(kFilePieces.size()))];
            }
            for (int pieces = below(7); pieces > 0; --pieces) {
                if (below(10) < 6) {
                    bytes += kOtherPieces[below(int(kOtherPieces.size()))];
                } else {
                    for (int n = 1 + below(6); n > 0; --n) {
                        bytes += char(below(256));
                    }
                }
            }
        }
        return bytes;
    }

private:
    std::mt19937_64 m_rng;
};

std::uint64_t fuzzSeed()
{
    bool ok = false;
    const std::uint64_t seed = qEnvironmentVariable("STASHLET_FUZZ_SEED").toULongLong(&ok, 0);
    return ok ? seed : kDefaultSeed;
}

bool mentionsFileScheme(const QByteArray &bytes)
{
    return bytes.toLower().contains("file:");
}

// Why a path handed to the shelf is unacceptable; empty when it is fine. A
// path from a local file URL is absolute, holds no NUL, and turned back into a
// file URL names itself again.
QString pathFault(const Path &path)
{
    const QByteArray bytes = QByteArray::fromStdString(path.native());
    if (!path.is_absolute() || !bytes.startsWith('/')) {
        return QStringLiteral("not absolute");
    }
    if (bytes.contains('\0')) {
        return QStringLiteral("holds a NUL");
    }
    const QUrl again = QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
    if (localFilePath(again) != path) {
        return QStringLiteral("does not survive a round trip through a file URL");
    }
    return {};
}

// Delivers one fuzzed item, at once or from a pool thread.
class FuzzedProvider final : public ItemProvider {
public:
    FuzzedProvider(Item item, bool failed, BackgroundPool *pool)
        : m_item(std::move(item))
        , m_failed(failed)
        , m_pool(pool)
    {
    }

    bool hasItemConformingToTypeIdentifier(const QString &) const override { return true; }

    void loadItem(const QString &, Completion completion) override
    {
        if (m_pool == nullptr) {
            completion(m_item, m_failed);
            return;
        }
        m_pool->async([item = m_item, failed = m_failed, completion = std::move(completion)](
                          const CancelToken &) { completion(item, failed); });
    }

private:
    const Item m_item;
    const bool m_failed;
    BackgroundPool *const m_pool;
};

// Counts the loads still running, so that a round can wait for its drop's
// last step without joining the pool's threads, which is slow.
class TrackedProvider final : public ItemProvider {
public:
    TrackedProvider(std::shared_ptr<ItemProvider> inner, std::atomic_int &running)
        : m_inner(std::move(inner))
        , m_running(running)
    {
    }

    bool hasItemConformingToTypeIdentifier(const QString &typeIdentifier) const override
    {
        return m_inner->hasItemConformingToTypeIdentifier(typeIdentifier);
    }

    void loadItem(const QString &typeIdentifier, Completion completion) override
    {
        ++m_running;
        m_inner->loadItem(typeIdentifier,
                          [&running = m_running,
                           completion = std::move(completion)](const Item &item, bool failed) {
                              completion(item, failed);
                              if (--running == 0) {
                                  running.notify_all();
                              }
                          });
    }

private:
    const std::shared_ptr<ItemProvider> m_inner;
    std::atomic_int &m_running;
};

} // namespace

class TestDropFuzz final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void randomDropsOnlyEverAddWellFormedLocalPaths();

private:
    std::atomic_int m_loadsRunning = 0;
    BackgroundPool m_pool{4};
    std::vector<Path> m_added;
    DropIntake m_intake{[] { return qsizetype(0); },
                        [this](const Path &path) { m_added.push_back(path); }};
};

// Each round drops either a fuzzed text/uri-list or a few fuzzed loaded items
// of every kind, delivered at once or from a pool thread.
void TestDropFuzz::randomDropsOnlyEverAddWellFormedLocalPaths()
{
    const std::uint64_t seed = fuzzSeed();
    qInfo("fuzz seed %#llx (set STASHLET_FUZZ_SEED to replay another)",
          static_cast<unsigned long long>(seed));
    Fuzzer fuzzer(seed);
    int added[2] = {}; // from uri-lists, from loaded items
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::shared_ptr<ItemProvider>> providers;
        QStringList inputs;
        int fileInputs = 0;
        if (round % 2 == 0) {
            const QByteArray payload = fuzzer.payload(round % 8 != 0);
            const QList<QByteArray> lines = payload.split('\n');
            fileInputs = int(std::count_if(lines.begin(), lines.end(), mentionsFileScheme));
            providers = itemProvidersFromMimeData(DroppedMimeData(payload), m_pool);
            inputs.append(QString::fromLatin1(payload.toHex()));
        }
        for (int count = round % 2 == 0 ? 0 : 1 + fuzzer.below(5); count > 0; --count) {
            const QByteArray payload = fuzzer.payload(fuzzer.below(4) != 0);
            Item item;
            switch (fuzzer.below(6)) {
            case 0:
                break;
            case 1:
                item = payload;
                break;
            case 2:
                item = QString::fromUtf8(payload);
                break;
            case 3:
                item = QString::fromLatin1(payload);
                break;
            case 4:
                item = QUrl::fromEncoded(payload);
                break;
            default:
                item = QUrl(QString::fromUtf8(payload));
                break;
            }
            if (!std::holds_alternative<std::monostate>(item) && mentionsFileScheme(payload)) {
                ++fileInputs;
            }
            inputs.append(QString::fromLatin1(payload.toHex()));
            providers.push_back(std::make_shared<FuzzedProvider>(
                std::move(item), fuzzer.below(8) == 0, fuzzer.below(2) == 0 ? &m_pool : nullptr));
        }

        std::vector<std::shared_ptr<ItemProvider>> tracked;
        for (const auto &provider : providers) {
            tracked.push_back(std::make_shared<TrackedProvider>(provider, m_loadsRunning));
        }
        m_added.clear();
        m_intake.handleDrop(tracked);
        for (int running = m_loadsRunning; running != 0; running = m_loadsRunning) {
            m_loadsRunning.wait(running);
        }
        // The drop's last step was queued when its last load finished.
        QCoreApplication::processEvents();

        const QString input =
            QStringLiteral("round %1, input %2: ").arg(round).arg(inputs.join(u' '));
        QVERIFY2(
            qsizetype(m_added.size()) <= std::min(fileInputs, 5),
            qPrintable(input + QStringLiteral("%1 files added from %2 inputs naming a file URL")
                                   .arg(m_added.size())
                                   .arg(fileInputs)));
        for (const Path &path : m_added) {
            const QString fault = pathFault(path);
            QVERIFY2(fault.isEmpty(), qPrintable(input + fault));
        }
        added[round % 2] += int(m_added.size());
    }
    // Guards the guard: payloads that never reach the shelf would prove nothing.
    qInfo("%d and %d files reached the shelf", added[0], added[1]);
    QVERIFY(added[0] > kRounds / 20 && added[1] > kRounds / 20);
}

QTEST_GUILESS_MAIN(TestDropFuzz)
#include "tst_dropfuzz.moc"
