// SPDX-License-Identifier: MIT
#include "backgroundpool.h"
#include "contentarea.h"
#include "dropintake.h"
#include "droppedmimedata.h"
#include "itemprovider.h"
#include "panelfixture.h"

#include <QElapsedTimer>
#include <QMimeData>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <latch>
#include <mutex>

using Item = ItemProvider::Item;
using Path = std::filesystem::path;
Q_DECLARE_METATYPE(Item)

namespace {

const QString kAtLimit = QStringLiteral("Hai già raggiunto il limite di 5 file");

QString roomMessage(int room)
{
    return QStringLiteral("Puoi aggiungere solo altri %1 file").arg(room);
}

// Hands back a fixed item, at once on the loading thread or when the test
// releases it, and records every load it was asked for.
class FakeProvider final : public ItemProvider {
public:
    FakeProvider(bool carriesFileUrl, const Item &item, bool failed = false, bool later = false)
        : m_carriesFileUrl(carriesFileUrl)
        , m_item(item)
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
        m_loadedTypes.append(typeIdentifier);
        if (m_later) {
            m_pending = std::move(completion);
        } else {
            completion(m_item, m_failed);
        }
    }

    void release() { std::exchange(m_pending, {})(m_item, m_failed); }
    const QStringList &loadedTypes() const { return m_loadedTypes; }

private:
    const bool m_carriesFileUrl;
    const Item m_item;
    const bool m_failed;
    const bool m_later;
    QStringList m_loadedTypes;
    Completion m_pending;
};

// Completes on a pool thread, only once every other provider sharing `all`
// is loading too, so that the completions of one drop run at the same time.
class ConcurrentProvider final : public ItemProvider {
public:
    ConcurrentProvider(QUrl url, BackgroundPool &pool, std::latch &all)
        : m_url(std::move(url))
        , m_pool(pool)
        , m_all(all)
    {
    }

    bool hasItemConformingToTypeIdentifier(const QString &) const override { return true; }

    void loadItem(const QString &, Completion completion) override
    {
        m_pool.async([this, completion = std::move(completion)](const CancelToken &) {
            m_all.arrive_and_wait();
            completion(m_url, false);
        });
    }

private:
    const QUrl m_url;
    BackgroundPool &m_pool;
    std::latch &m_all;
};

std::shared_ptr<FakeProvider> fileProvider(const QString &name, bool later = false)
{
    const Item url(std::in_place_type<QUrl>, QUrl::fromLocalFile(QStringLiteral("/drop/") + name));
    return std::make_shared<FakeProvider>(true, url, false, later);
}

std::shared_ptr<FakeProvider> textProvider()
{
    return std::make_shared<FakeProvider>(false, QStringLiteral("a line of text"));
}

QByteArray dropPath(const QString &name)
{
    return QByteArrayLiteral("/drop/") + name.toUtf8();
}

QByteArrayList bytesOf(const std::vector<Path> &paths)
{
    QByteArrayList list;
    for (const Path &path : paths) {
        list.append(QByteArray::fromStdString(path.native()));
    }
    return list;
}

// The panel's side of the intake: a shelf holding `count` entries that
// records what it is asked to add.
struct Shelf {
    qsizetype count = 0;
    std::vector<Path> added;
    DropIntake intake{[this] { return count; },
                      [this](const Path &path) { added.push_back(path); }};
};

// A null string when no banner is shown.
QString bannerText(const DropIntake &intake)
{
    return intake.errorMessage().value_or(QString());
}

} // namespace

class TestDropIntake final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dropAgainstShelfCount_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("banner");
        QTest::addColumn<QList<int>>("loaded");

        // 6 stands for a shelf that got over-full behind the panel's back.
        for (int count = 0; count <= 6; ++count) {
            for (int files = 0; files <= 7; ++files) {
                const int room = std::max(0, 5 - count);
                const bool result = count < 5 && files > 0;
                QString banner;
                if (count >= 5) {
                    banner = kAtLimit;
                } else if (files > room) {
                    banner = roomMessage(room);
                }
                QList<int> loaded;
                for (int i = 0; result && i < std::min(files, room); ++i) {
                    loaded.append(i);
                }
                QTest::addRow("%d on shelf, %d files", count, files)
                    << count << files << result << banner << loaded;
            }
        }
    }

    void dropAgainstShelfCount()
    {
        QFETCH(int, count);
        QFETCH(int, files);
        QFETCH(bool, result);
        QFETCH(QString, banner);
        QFETCH(QList<int>, loaded);

        // A text item before every file and after the last, so that text is
        // never counted, loaded or first or last by accident.
        std::vector<std::shared_ptr<FakeProvider>> fileProviders;
        std::vector<std::shared_ptr<FakeProvider>> textProviders;
        std::vector<std::shared_ptr<ItemProvider>> providers;
        for (int i = 0; i <= files; ++i) {
            textProviders.push_back(textProvider());
            providers.push_back(textProviders.back());
            if (i < files) {
                fileProviders.push_back(fileProvider(QString::number(i)));
                providers.push_back(fileProviders.back());
            }
        }

        Shelf shelf;
        shelf.count = count;
        QCOMPARE(shelf.intake.handleDrop(providers), result);
        QCOMPARE(bannerText(shelf.intake), banner);
        QVERIFY2(shelf.added.empty(), "a file was added before the drop returned");

        QList<int> loadedFiles;
        for (size_t i = 0; i < fileProviders.size(); ++i) {
            const QStringList &types = fileProviders[i]->loadedTypes();
            QVERIFY(types.isEmpty() || types == QStringList{kFileUrlTypeIdentifier});
            if (!types.isEmpty()) {
                loadedFiles.append(int(i));
            }
        }
        QCOMPARE(loadedFiles, loaded);
        for (const auto &provider : textProviders) {
            QVERIFY(provider->loadedTypes().isEmpty());
        }

        QByteArrayList expected;
        for (const int i : loaded) {
            expected.append(dropPath(QString::number(i)));
        }
        QTRY_COMPARE(bytesOf(shelf.added), expected);
        QCoreApplication::processEvents();
        QCOMPARE(bytesOf(shelf.added), expected);
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
        for (int drop = 0; drop < 2; ++drop) {
            for (int i = 0; i < 3; ++i) {
                const auto path =
                    shelf.sample(std::to_string(drop) + "-" + std::to_string(i), 1 << 20);
                drops[drop].push_back(std::make_shared<FakeProvider>(
                    true, Item(QUrl::fromLocalFile(QString::fromStdString(path.native())))));
            }
        }
        const auto providers = [](const auto &drop) {
            return std::vector<std::shared_ptr<ItemProvider>>(drop.begin(), drop.end());
        };
        QVERIFY(intake.handleDrop(providers(drops[0])));
        if (stage == 1) {
            QCoreApplication::sendPostedEvents(); // its files reach the store and copy
        } else if (stage == 2) {
            shelf.settleWork();
        }
        QVERIFY(intake.handleDrop(providers(drops[1])));
        QCOMPARE(bannerText(intake), roomMessage(2));
        QVERIFY(drops[1][2]->loadedTypes().isEmpty());
        shelf.settleWork();
        QCOMPARE(shelf.manager->tempFiles().size(), StashletManager::kLimit);
        const auto staged = std::filesystem::path(qgetenv("TMPDIR").toStdString()) / "QELStashlet";
        QCOMPARE(std::distance(std::filesystem::directory_iterator(staged),
                               std::filesystem::directory_iterator()),
                 StashletManager::kLimit);
    }

    void itemResolution_data()
    {
        QTest::addColumn<Item>("item");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<QByteArray>("path");

        const auto row = [](const char *name, const Item &item, QByteArray path,
                            bool failed = false) { QTest::newRow(name) << item << failed << path; };
        const Item fileUrl(QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt")));
        row("URL", fileUrl, "/tmp/a.txt");
        row("URL with a load error, which is ignored", fileUrl, "/tmp/a.txt", true);
        row("failed load, no item", Item(), {}, true);
        row("URL of a web page", QUrl(QStringLiteral("https://example.com/a.txt")), {});
        row("URL of a file on another host", QUrl(QStringLiteral("file://server/a.txt")), {});

        // Bytes are parsed as an encoded URL, so these rows are the table of
        // what counts as a local file URL. Paths that are empty, relative or
        // hold a NUL are the fuzz's to catch.
        const auto bytes = [&](const char *name, const char *url, QByteArray path) {
            row(name, QByteArray(url), path);
        };
        bytes("bytes", "file:///tmp/a.txt", "/tmp/a.txt");
        bytes("bytes, localhost", "file://localhost/tmp/a", "/tmp/a");
        bytes("bytes, LOCALHOST", "file://LOCALHOST/tmp/a", "/tmp/a");
        bytes("bytes, escaped space", "file:///tmp/a%20b", "/tmp/a b");
        bytes("bytes, Latin-1 byte, not UTF-8", "file:///tmp/caf%E9.txt", "/tmp/caf\xe9.txt");
        bytes("bytes, UTF-8", "file:///tmp/caf%C3%A9", "/tmp/caf\xc3\xa9");
        bytes("bytes, root", "file:///", "/");
        bytes("bytes, other host", "file://server/share/a", {});
        bytes("bytes, user", "file://me@localhost/tmp/a", {});
        bytes("bytes, port", "file://localhost:8080/tmp/a", {});
        bytes("bytes, web", "http://localhost/tmp/a", {});

        row("string", QStringLiteral("file:///tmp/b.txt"), "/tmp/b.txt");
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
        QByteArrayList expected;
        if (!path.isNull()) {
            expected.append(path);
        }
        expected.append(dropPath(QStringLiteral("marker")));
        QTRY_COMPARE(bytesOf(shelf.added), expected);
        QVERIFY(!shelf.intake.errorMessage());
    }

    void eachDropAddsItsOwnFilesInCompletionOrderOnceAllItsLoadsFinished()
    {
        const auto later = true;
        const auto a = fileProvider(QStringLiteral("a"), later);
        const auto b = fileProvider(QStringLiteral("b"), later);
        const auto c = fileProvider(QStringLiteral("c"), later);
        Shelf shelf;
        QVERIFY(shelf.intake.handleDrop({a, b, c}));
        QVERIFY(shelf.intake.handleDrop({fileProvider(QStringLiteral("quick"))}));
        QTRY_COMPARE(bytesOf(shelf.added), QByteArrayList{dropPath(QStringLiteral("quick"))});
        c->release();
        a->release();
        QTest::qWait(20);
        QVERIFY2(shelf.added.size() == 1, "files were added while a load was still running");
        b->release();
        QTRY_COMPARE(
            bytesOf(shelf.added),
            (QByteArrayList{dropPath(QStringLiteral("quick")), dropPath(QStringLiteral("c")),
                            dropPath(QStringLiteral("a")), dropPath(QStringLiteral("b"))}));
    }

    void concurrentCompletionsAreAllCollected()
    {
        constexpr int kFiles = 5;
        BackgroundPool pool(kFiles);
        std::latch all(kFiles);
        std::vector<std::shared_ptr<ItemProvider>> providers;
        QByteArrayList expected;
        for (int i = 0; i < kFiles; ++i) {
            const QString name = QStringLiteral("/drop/%1").arg(i);
            providers.push_back(
                std::make_shared<ConcurrentProvider>(QUrl::fromLocalFile(name), pool, all));
            expected.append(name.toUtf8());
        }
        Shelf shelf;
        QVERIFY(shelf.intake.handleDrop(providers));
        QTRY_COMPARE(shelf.added.size(), size_t(kFiles));
        QByteArrayList added = bytesOf(shelf.added);
        std::sort(added.begin(), added.end());
        QCOMPARE(added, expected);
    }

    void loadsFinishingAfterTheIntakeIsGoneAddNothing()
    {
        const auto slow = fileProvider(QStringLiteral("slow"), true);
        std::vector<Path> added;
        auto intake = std::make_unique<DropIntake>(
            [] { return qsizetype(0); }, [&](const Path &path) { added.push_back(path); });
        QVERIFY(intake->handleDrop({slow}));
        intake.reset();
        slow->release();
        QTest::qWait(20);
        QVERIFY(added.empty());
    }

    void dropWithoutFilesLeavesTheBannerAlone()
    {
        Shelf shelf;
        shelf.count = 2;
        shelf.intake.showError(QStringLiteral("earlier"));
        const OneShotTimer *timer = shelf.intake.errorTimer();
        QSignalSpy changed(&shelf.intake, &DropIntake::errorMessageChanged);
        QVERIFY(!shelf.intake.handleDrop({textProvider(), textProvider()}));
        QVERIFY(!shelf.intake.handleDrop({}));
        QCOMPARE(bannerText(shelf.intake), QStringLiteral("earlier"));
        QCOMPARE(shelf.intake.errorTimer(), timer);
        QVERIFY(timer->isValid());
        QCOMPARE(changed.count(), 0);
    }

    void bannerHidesThreeSecondsAfterTheLatestMessage()
    {
        Shelf shelf;
        QSignalSpy changed(&shelf.intake, &DropIntake::errorMessageChanged);
        shelf.intake.showError(QStringLiteral("first"));
        QCOMPARE(bannerText(shelf.intake), QStringLiteral("first"));
        QCOMPARE(changed.count(), 1);
        QTest::qWait(2000);
        QCOMPARE(bannerText(shelf.intake), QStringLiteral("first"));

        shelf.intake.showError(QStringLiteral("second"));
        QElapsedTimer sinceSecond;
        sinceSecond.start();
        QCOMPARE(bannerText(shelf.intake), QStringLiteral("second"));
        QCOMPARE(changed.count(), 2);

        // The first message's timer would have hidden the banner 1 s from here.
        QTRY_VERIFY_WITH_TIMEOUT(!shelf.intake.errorMessage(), 4500);
        QVERIFY2(sinceSecond.elapsed() >= 2990,
                 qPrintable(QStringLiteral("hidden after %1 ms").arg(sinceSecond.elapsed())));
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
                if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
                    loaded[qsizetype(i)] += " on the main thread";
                }
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
