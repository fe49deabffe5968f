// SPDX-License-Identifier: MIT
#include "backgroundpool.h"
#include "contentarea.h"
#include "dropintake.h"
#include "droppedmimedata.h"
#include "itemprovider.h"
#include "panelfixture.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <latch>
#include <mutex>

using Item = ItemProvider::Item;
using Path = std::filesystem::path;
using Providers = std::vector<std::shared_ptr<ItemProvider>>;
Q_DECLARE_METATYPE(Item)

namespace {

// Hands back a fixed item, at once on the loading thread or when the test
// releases it, and records the loads it was asked for. One with a latch
// completes on a pool thread once every provider sharing the latch is
// loading, so that the completions of one drop run at the same time.
class FakeProvider final : public ItemProvider {
public:
    FakeProvider(bool carriesFileUrl, Item item, bool failed = false, bool later = false)
        : m_carriesFileUrl(carriesFileUrl)
        , m_item(std::move(item))
        , m_failed(failed)
        , m_later(later)
    {
    }
    bool hasItemConformingToTypeIdentifier(const QString &typeIdentifier) const override
    {
        return m_carriesFileUrl && typeIdentifier == kFileUrlTypeIdentifier;
    }
    void loadItem(const QString &typeIdentifier, Completion completion) override
    {
        loadedTypes.append(typeIdentifier);
        if (together) {
            together->pool.async([this, completion](const CancelToken &) {
                together->latch.arrive_and_wait();
                completion(m_item, m_failed);
            });
        } else if (m_later) {
            m_pending = std::move(completion);
        } else {
            completion(m_item, m_failed);
        }
    }
    void release() { std::exchange(m_pending, {})(m_item, m_failed); }

    struct Together {
        BackgroundPool &pool;
        std::latch &latch;
    };
    std::optional<Together> together;
    QStringList loadedTypes;

private:
    const bool m_carriesFileUrl;
    const Item m_item;
    const bool m_failed;
    const bool m_later;
    Completion m_pending;
};

std::shared_ptr<FakeProvider> fileProvider(const QString &name, bool later = false)
{
    return std::make_shared<FakeProvider>(
        true, QUrl::fromLocalFile(QStringLiteral("/drop/") + name), false, later);
}

QByteArrayList dropPaths(QByteArrayList names)
{
    for (QByteArray &name : names)
        name.prepend("/drop/");
    return names;
}

// The panel's side of the intake: a shelf holding `count` entries that
// records the paths it is asked to add.
struct Shelf {
    qsizetype count = 0;
    QByteArrayList added;
    DropIntake intake{
        [this] { return count; },
        [this](const Path &path) { added.append(QByteArray::fromStdString(path.native())); }};
    QString banner() const { return intake.errorMessage().value_or(QString()); }
};

} // namespace

class TestDropIntake final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dropAgainstShelfCount_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("taken");
        QTest::addColumn<QString>("banner");
        const QString full = QStringLiteral("Hai già raggiunto il limite di 5 file");
        QTest::newRow("empty shelf, no files") << 0 << 0 << 0 << QString();
        QTest::newRow("one place left, one file") << 4 << 1 << 1 << QString();
        QTest::newRow("two places left, three files")
            << 3 << 3 << 2 << QStringLiteral("Puoi aggiungere solo altri 2 file");
        QTest::newRow("empty shelf, seven files")
            << 0 << 7 << 5 << QStringLiteral("Puoi aggiungere solo altri 5 file");
        QTest::newRow("full shelf") << 5 << 1 << 0 << full;
        QTest::newRow("shelf over-full behind the panel's back") << 6 << 2 << 0 << full;
    }
    void dropAgainstShelfCount()
    {
        QFETCH(int, count);
        QFETCH(int, files);
        QFETCH(int, taken);
        QFETCH(QString, banner);
        // A text item before every file and after the last, so that text is
        // never counted, loaded or first or last by accident.
        std::vector<std::shared_ptr<FakeProvider>> all;
        QByteArrayList expected;
        for (int i = 0; i <= files; ++i) {
            all.push_back(std::make_shared<FakeProvider>(false, QStringLiteral("a line of text")));
            if (i < files)
                all.push_back(fileProvider(QString::number(i)));
            if (i < taken)
                expected.append(QByteArray::number(i));
        }
        // A drop with no message of its own leaves the last one showing.
        Shelf shelf;
        shelf.count = count;
        shelf.intake.showError(QStringLiteral("earlier"));
        QCOMPARE(shelf.intake.handleDrop(Providers(all.begin(), all.end())), taken > 0);
        QCOMPARE(shelf.banner(), banner.isNull() ? QStringLiteral("earlier") : banner);
        QVERIFY2(shelf.added.isEmpty(), "a file was added before the drop returned");
        for (size_t i = 0; i < all.size(); ++i) {
            const bool loads = i % 2 == 1 && int(i / 2) < taken;
            QCOMPARE(all[i]->loadedTypes,
                     loads ? QStringList{kFileUrlTypeIdentifier} : QStringList());
        }
        QTRY_COMPARE(shelf.added, dropPaths(expected));
        QCoreApplication::processEvents();
        QCOMPARE(shelf.added, dropPaths(expected));
    }

    void quickDropsNeverTakeMoreThanTheShelfHolds_data()
    {
        QTest::addColumn<int>("stage"); // how far the first drop got when the second came
        QTest::newRow("first drop still loading") << 0;
        QTest::newRow("first drop copying") << 1;
        QTest::newRow("first drop listed") << 2;
    }
    void quickDropsNeverTakeMoreThanTheShelfHolds()
    {
        QFETCH(int, stage);
        PanelFixture shelf;
        DropIntake &intake = shelf.panel->contentArea()->dropIntake();
        std::vector<std::shared_ptr<FakeProvider>> drops[2];
        for (int i = 0; i < 6; ++i) {
            const auto path = shelf.sample(std::to_string(i), 1 << 20);
            drops[i / 3].push_back(std::make_shared<FakeProvider>(
                true, QUrl::fromLocalFile(QString::fromStdString(path.native()))));
        }
        QVERIFY(intake.handleDrop(Providers(drops[0].begin(), drops[0].end())));
        if (stage == 1) {
            QCoreApplication::sendPostedEvents(); // its files reach the store and copy
        } else if (stage == 2) {
            shelf.settleWork();
        }
        QVERIFY(intake.handleDrop(Providers(drops[1].begin(), drops[1].end())));
        QCOMPARE(intake.errorMessage().value_or(QString()),
                 QStringLiteral("Puoi aggiungere solo altri 2 file"));
        QVERIFY(drops[1][2]->loadedTypes.isEmpty());
        shelf.settleWork();
        QCOMPARE(shelf.manager->tempFiles().size(), StashletManager::kLimit);
        QCOMPARE(entriesIn(shelf.env.staging()), StashletManager::kLimit);
    }

    void itemResolution_data()
    {
        QTest::addColumn<Item>("item");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<QByteArray>("path");
        const auto row = [](const char *name, const Item &item, QByteArray path,
                            bool failed = false) { QTest::newRow(name) << item << failed << path; };
        const Item fileUrl(QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt")));
        row("URL with a load error, which is ignored", fileUrl, "/tmp/a.txt", true);
        row("failed load, no item", Item(), {}, true);
        row("URL of a web page", QUrl(QStringLiteral("https://example.com/a.txt")), {});
        // Bytes are parsed as an encoded URL, so these rows are the table of
        // what counts as a local file URL.
        const auto bytes = [&](const char *name, const char *url, QByteArray path) {
            row(name, QByteArray(url), path);
        };
        bytes("bytes, LOCALHOST", "file://LOCALHOST/tmp/a", "/tmp/a");
        bytes("bytes, escaped space", "file:///tmp/a%20b", "/tmp/a b");
        bytes("bytes, Latin-1 byte, not UTF-8", "file:///tmp/caf%E9.txt", "/tmp/caf\xe9.txt");
        bytes("bytes, UTF-8", "file:///tmp/caf%C3%A9", "/tmp/caf\xc3\xa9");
        bytes("bytes, root", "file:///", "/");
        bytes("bytes, other host", "file://server/share/a", {});
        bytes("bytes, user", "file://me@localhost/tmp/a", {});
        bytes("bytes, port", "file://localhost:8080/tmp/a", {});
        bytes("bytes, relative", "file:tmp/a", {});
        bytes("bytes, no path", "file://localhost", {});
        bytes("bytes, a NUL that would cut the path short", "file:///tmp/a%00.txt", {});
        row("string, encoded UTF-8", QStringLiteral("file:///tmp/%C3%A9"), "/tmp/\xc3\xa9");
        row("string with a bare space, not a URL", QStringLiteral("file:///tmp/a b"), {});
    }
    void itemResolution()
    {
        QFETCH(Item, item);
        QFETCH(bool, failed);
        QFETCH(QByteArray, path);
        // The marker after the item shows that the drop went on past it, failed or not.
        Shelf shelf;
        QVERIFY(shelf.intake.handleDrop({std::make_shared<FakeProvider>(true, item, failed),
                                         fileProvider(QStringLiteral("marker"))}));
        QByteArrayList expected = dropPaths({"marker"});
        if (!path.isNull())
            expected.prepend(path);
        QTRY_COMPARE(shelf.added, expected);
        QVERIFY(!shelf.intake.errorMessage());
    }

    // Each drop adds its files, in the order their loads finished, once all
    // of them did; a load finishing after the intake is gone adds nothing.
    void dropsAddTheirOwnFilesOnceAllTheirLoadsFinished()
    {
        const auto a = fileProvider(QStringLiteral("a"), true);
        const auto b = fileProvider(QStringLiteral("b"), true);
        const auto c = fileProvider(QStringLiteral("c"), true);
        Shelf shelf;
        QVERIFY(shelf.intake.handleDrop({a, b, c}));
        QVERIFY(shelf.intake.handleDrop({fileProvider(QStringLiteral("quick"))}));
        QTRY_COMPARE(shelf.added, dropPaths({"quick"}));
        c->release();
        a->release();
        QTest::qWait(20);
        QCOMPARE(shelf.added.size(), 1);
        b->release();
        QTRY_COMPARE(shelf.added, dropPaths({"quick", "c", "a", "b"}));

        const auto slow = fileProvider(QStringLiteral("slow"), true);
        int added = 0;
        auto intake = std::make_unique<DropIntake>([] { return qsizetype(0); },
                                                   [&](const Path &) { ++added; });
        QVERIFY(intake->handleDrop({slow}));
        intake.reset();
        slow->release();
        QTest::qWait(20);
        QCOMPARE(added, 0);
    }

    // Run under ThreadSanitizer too, which sees an unguarded collection at once.
    void concurrentCompletionsAreAllCollected()
    {
        constexpr int kFiles = 5;
        BackgroundPool pool(kFiles);
        std::latch all(kFiles);
        Providers providers;
        QByteArrayList expected;
        for (int i = 0; i < kFiles; ++i) {
            auto provider = fileProvider(QString::number(i));
            provider->together.emplace(FakeProvider::Together{pool, all});
            providers.push_back(provider);
            expected.append(QByteArray::number(i));
        }
        Shelf shelf;
        QVERIFY(shelf.intake.handleDrop(providers));
        QTRY_COMPARE(shelf.added.size(), kFiles);
        std::sort(shelf.added.begin(), shelf.added.end());
        QCOMPARE(shelf.added, dropPaths(expected));
    }

    void bannerHidesThreeSecondsAfterTheLatestMessage()
    {
        Shelf shelf;
        QSignalSpy changed(&shelf.intake, &DropIntake::errorMessageChanged);
        shelf.intake.showError(QStringLiteral("first"));
        QTest::qWait(2000);
        QCOMPARE(shelf.banner(), QStringLiteral("first"));
        shelf.intake.showError(QStringLiteral("second"));
        QElapsedTimer sinceSecond;
        sinceSecond.start();
        QCOMPARE(shelf.banner(), QStringLiteral("second"));
        // The first message's timer would have hidden the banner 1 s from here.
        QTRY_VERIFY_WITH_TIMEOUT(!shelf.intake.errorMessage(), 4500);
        QVERIFY2(sinceSecond.elapsed() >= 2990, qPrintable(QString::number(sinceSecond.elapsed())));
        QCOMPARE(changed.count(), 3);
    }

    void uriListBecomesOneProviderPerUrl()
    {
        const DroppedMimeData data(QByteArray("file:///tmp/a.txt\r\n"
                                              "# a comment line\r\n"
                                              "http://example.com/b.txt\r\n"
                                              "file:///tmp/caf%E9.txt\r\n"
                                              "file:///tmp/raw\xe9\r\n"
                                              "file://server/c.txt"));
        BackgroundPool pool;
        const auto providers = itemProvidersFromMimeData(data, pool);
        QList<bool> conforms;
        std::mutex mutex;
        QByteArrayList loaded(qsizetype(providers.size()));
        for (size_t i = 0; i < providers.size(); ++i) {
            conforms.append(
                providers[i]->hasItemConformingToTypeIdentifier(kFileUrlTypeIdentifier));
            QVERIFY(!providers[i]->hasItemConformingToTypeIdentifier(
                QStringLiteral("public.plain-text")));
            providers[i]->loadItem(kFileUrlTypeIdentifier, [&, i](const Item &item, bool failed) {
                const QUrl *url = std::get_if<QUrl>(&item);
                const std::optional<Path> path = url ? localFilePath(*url) : std::nullopt;
                std::lock_guard lock(mutex);
                // Appended, so that a second completion would show.
                loaded[qsizetype(i)] += path ? QByteArray::fromStdString(path->native()) : "none";
                loaded[qsizetype(i)] += failed ? " failed" : "";
                loaded[qsizetype(i)] += QThread::currentThread() == qApp->thread() ? " main" : "";
            });
        }
        QCOMPARE(conforms, (QList<bool>{true, false, true, true, true}));
        QVERIFY(pool.waitForDone(5000));
        QCOMPARE(loaded, (QByteArrayList{"/tmp/a.txt", "none failed", "/tmp/caf\xe9.txt",
                                         "/tmp/raw\xe9", "none"}));
        QMimeData textOnly;
        textOnly.setText(QStringLiteral("file:///tmp/a.txt"));
        QVERIFY(itemProvidersFromMimeData(textOnly, pool).empty());
    }
};

QTEST_MAIN(TestDropIntake)
#include "tst_dropintake.moc"
