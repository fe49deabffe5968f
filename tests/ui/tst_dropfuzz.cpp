// SPDX-License-Identifier: MIT
#include "backgroundpool.h"
#include "dropintake.h"
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

// Delivers one fuzzed item at once; a drop's loads running on threads are
// the intake tests' business, not the parser's.
class FuzzedProvider final : public ItemProvider {
public:
    FuzzedProvider(Item item, bool failed)
        : m_item(std::move(item))
        , m_failed(failed)
    {
    }

    bool hasItemConformingToTypeIdentifier(const QString &) const override { return true; }
    void loadItem(const QString &, Completion completion) override { completion(m_item, m_failed); }

private:
    const Item m_item;
    const bool m_failed;
};

} // namespace

class TestDropFuzz final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each round parses a fuzzed uri-list, whose lines give at most one local
    // path each, and drops fuzzed items of every kind, of which the shelf gets
    // no more than name a file URL, nor more than its room. Every path must be
    // well-formed.
    void randomDropsGiveOnlyWellFormedPaths()
    {
        bool ok = false;
        const std::uint64_t seed = qEnvironmentVariable("STASHLET_FUZZ_SEED").toULongLong(&ok, 0);
        qInfo("fuzz seed %#llx (set STASHLET_FUZZ_SEED to replay another)",
              static_cast<unsigned long long>(ok ? seed : kDefaultSeed));
        Fuzzer fuzzer(ok ? seed : kDefaultSeed);
        BackgroundPool pool(4);
        std::vector<Path> added;
        DropIntake intake([] { return qsizetype(0); },
                          [&](const Path &path) { added.push_back(path); });
        int total[2] = {}; // from uri-lists, from items
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

            std::vector<std::shared_ptr<ItemProvider>> items;
            QStringList inputs;
            int fileItems = 0;
            for (int count = 1 + fuzzer.below(5); count > 0; --count) {
                const QByteArray payload = fuzzer.payload(fuzzer.below(4) != 0);
                const Item kinds[] = {Item(),
                                      Item(payload),
                                      Item(QString::fromUtf8(payload)),
                                      Item(QString::fromLatin1(payload)),
                                      Item(QUrl::fromEncoded(payload)),
                                      Item(QUrl(QString::fromUtf8(payload)))};
                const Item &item = kinds[fuzzer.below(6)];
                fileItems += item.index() != 0 && mentionsFileScheme(payload);
                inputs.append(QString::fromLatin1(payload.toHex()));
                items.push_back(std::make_shared<FuzzedProvider>(item, fuzzer.below(8) == 0));
            }
            added.clear();
            intake.handleDrop(items);
            // The drop's last step is queued once its last load finished.
            QCoreApplication::sendPostedEvents();
            check(added, std::min(fileItems, 5), inputs.join(u' '), round);
            if (QTest::currentTestFailed()) {
                return;
            }
            total[0] += int(parsed.size());
            total[1] += int(added.size());
        }
        // Guards the guard: payloads that never give a path would prove nothing.
        qInfo("%d paths parsed, %d files reached the shelf", total[0], total[1]);
        QVERIFY(total[0] > kRounds / 10 && total[1] > kRounds / 10);
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
