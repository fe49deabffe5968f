// SPDX-License-Identifier: MIT
#include "shelftestenv.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

namespace fs = std::filesystem;

class TestCopyProgress final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Whole but unlisted, a copy has passed all its total: a file's, holes included,
    // or a folder's, counted on the pool through a dropped link but not the links inside.
    void countsEveryByteOfItsTotal_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<quint64>("total");
        QTest::newRow("file mostly holes") << QStringLiteral("sparse") << quint64(64 << 20);
        QTest::newRow("link to a folder") << QStringLiteral("folder") << quint64(1000 + (2 << 20));
    }
    void countsEveryByteOfItsTotal()
    {
        QFETCH(QString, kind);
        QFETCH(quint64, total);
        TestShelf shelf;
        fs::path source =
            shelf.env.file("in/data", std::string(kind == u"sparse" ? 0 : total, 'd'));
        if (kind == u"sparse") {
            fs::resize_file(source, total);
            std::fstream(source, std::ios::in | std::ios::out).seekp(32 << 20).write("data", 4);
        } else if (kind == u"folder") {
            shelf.env.file("tree/a", std::string(1000, 'a'));
            shelf.env.file("tree/sub/b", std::string(2 << 20, 'b'));
            fs::create_symlink(source, shelf.env.root() / "tree/c");
            fs::create_directory_symlink("tree", source = shelf.env.root() / "folder-link");
        }
        QSignalSpy changed(shelf.manager.get(), &StashletManager::pendingCopiesChanged);
        shelf.manager->addFile(source);
        QCOMPARE(changed.count(), 1);
        QVERIFY(shelf.pool.waitForDone(60'000)); // its news still waits for the main thread
        const QList<PendingCopy> pending = shelf.manager->pendingCopies();
        QCOMPARE(pending.size(), 1);
        QCOMPARE(pending[0].originalName, source.filename().native());
        QCOMPARE(pending[0].bytesTotal, total);
        QCOMPARE(pending[0].bytesDone, total);
        settle(shelf.pool);
        QCOMPARE(changed.count(), 2); // gone as its entry came
    }

    // Cancelled alone, a copy leaves the list with its line and nothing else:
    // queued, it never runs; whole (its news on the way), it is not listed.
    void cancelledCopyLeavesNothingAndSparesTheOther_data()
    {
        QTest::addColumn<bool>("queued");
        QTest::newRow("queued") << true;
        QTest::newRow("whole") << false;
    }
    void cancelledCopyLeavesNothingAndSparesTheOther()
    {
        QFETCH(bool, queued);
        ShelfTestEnv env;
        BackgroundPool pool(1);
        auto manager = StashletManager::create(pool);
        QSemaphore first, second;
        const auto release = qScopeGuard([&] { first.release(), second.release(); });
        for (auto [hold, name] : {std::pair{&first, "a.bin"}, std::pair{&second, "b.bin"}}) {
            if (queued) {
                pool.async([hold](const CancelToken &) { hold->acquire(); });
            }
            manager->addFile(env.file(fs::path("in") / name, name));
        }
        QSignalSpy progress(manager.get(), &StashletManager::copyProgressChanged);
        if (queued) {
            QTest::qWait(int(3 * StashletManager::kProgressInterval.count()));
            QCOMPARE(progress.count(), 0); // nothing moved, nothing announced
        } else {
            QVERIFY(pool.waitForDone(10'000));
        }
        QSignalSpy changed(manager.get(), &StashletManager::pendingCopiesChanged);
        manager->cancelCopy(manager->pendingCopies().at(0).id);
        const QStringList lines{QStringLiteral("Failed to copy file to temp directory: \"a.bin\" "
                                               "could not be copied: Operation canceled")};
        QCOMPARE(changed.count(), 1);
        QCOMPARE(manager->pendingCopies().size(), 1);
        QCOMPARE(env.lines(), lines);
        if (queued) {
            first.release();
            QTRY_COMPARE(manager->inFlightCount(), 1);
            QVERIFY(!fs::exists(env.staging())); // a.bin's work never even made the folder
            second.release();
        }
        settle(pool);
        QCOMPARE(manager->tempFiles().size(), 1);
        QCOMPARE(manager->tempFiles().at(0).originalName(), std::string("b.bin"));
        QCOMPARE(std::distance(fs::directory_iterator(env.staging()), {}), 1); // b.bin alone
        QCOMPARE(env.lines(), lines);
    }
};

QTEST_GUILESS_MAIN(TestCopyProgress)
#include "tst_copyprogress.moc"
