// SPDX-License-Identifier: MIT
#include "backgroundpool.h"
#include "droppedmimedata.h"
#include "itemprovider.h"

#include <QSemaphore>
#include <QtTest>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <random>

using Item = ItemProvider::Item;
using Path = std::filesystem::path;

namespace {

constexpr int kRounds = 10000;
constexpr std::uint64_t kDefaultSeed = 0x5eed'd70b;

// Pieces that steer random payloads into the corners of URL parsing; random
// bytes alone would almost never spell a file URL.
const QByteArrayList kFilePieces{"file://",           "file:///",         "FILE:/",      "file:",
                                 "File://localhost/", "file://LOCALHOST", "file://host/"};
const QByteArrayList kOtherPieces =
    QByteArray("localhost / // % %00 %E9 %2F %2e%2e %zz # ? @ :8080 .. . a \xc3\xa9 \xff \x80 "
               "http:// ftp://host/")
        .split(' ') +
    QByteArrayList{"\r\n", "\n", "\r", " ", "\t", QByteArray(1, '\0')};

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

} // namespace

class TestDropFuzz final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each round parses a fuzzed uri-list, whose lines give at most one local
    // path each; every path must be well-formed. Items of other kinds meet the
    // same localFilePath once resolved, so the uri-lists exercise it for them.
    void randomUriListsGiveOnlyWellFormedPaths()
    {
        bool ok = false;
        const std::uint64_t seed = qEnvironmentVariable("STASHLET_FUZZ_SEED").toULongLong(&ok, 0);
        qInfo("fuzz seed %#llx (set STASHLET_FUZZ_SEED to replay another)",
              static_cast<unsigned long long>(ok ? seed : kDefaultSeed));
        Fuzzer fuzzer(ok ? seed : kDefaultSeed);
        BackgroundPool pool(4);
        int total = 0;
        for (int round = 0; round < kRounds; ++round) {
            const QByteArray list = fuzzer.payload(round % 4 != 0);
            const QList<QByteArray> lines = list.split('\n');
            std::mutex mutex;
            std::vector<Path> parsed;
            QSemaphore loaded;
            const auto providers = itemProvidersFromMimeData(DroppedMimeData(list), pool);
            for (const auto &provider : providers) {
                provider->loadItem(kFileUrlTypeIdentifier, [&](const Item &item, bool) {
                    const QUrl *url = std::get_if<QUrl>(&item);
                    if (const auto path = url ? localFilePath(*url) : std::nullopt) {
                        std::lock_guard lock(mutex);
                        parsed.push_back(*path);
                    }
                    loaded.release();
                });
            }
            loaded.acquire(int(providers.size()));
            check(parsed, int(std::count_if(lines.begin(), lines.end(), mentionsFileScheme)),
                  QString::fromLatin1(list.toHex()), round);
            if (QTest::currentTestFailed()) {
                return;
            }
            total += int(parsed.size());
        }
        // Guards the guard: payloads that never give a path would prove nothing.
        qInfo("%d paths parsed", total);
        QVERIFY(total > kRounds / 10);
    }

private:
    static void check(const std::vector<Path> &paths, int most, const QString &input, int round)
    {
        const QString where = QStringLiteral("round %1, input %2: ").arg(round).arg(input);
        QVERIFY2(int(paths.size()) <= most,
                 qPrintable(where + QStringLiteral("%1 paths from %2 inputs naming a file URL")
                                        .arg(paths.size())
                                        .arg(most)));
        for (const Path &path : paths) {
            const QString fault = pathFault(path);
            QVERIFY2(fault.isEmpty(), qPrintable(where + fault));
        }
    }
};

QTEST_GUILESS_MAIN(TestDropFuzz)
#include "tst_dropfuzz.moc"
