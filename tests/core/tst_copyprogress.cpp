// SPDX-License-Identifier: MIT
#include "shelftestenv.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

namespace fs = std::filesystem;

namespace {
const QString kCancelLine = QStringLiteral(
    "Failed to copy file to temp directory: \"a.bin\" could not be copied: Operation canceled");

QStringList pendingNames(const StashletManager &manager)
{
    QStringList names;
    for (const PendingCopy &copy : manager.pendingCopies()) {
        names << copy.displayName();
    }
    return names;
}

QStringList stagedNames(const ShelfTestEnv &env)
{
    QStringList names;
    for (const auto &item : fs::directory_iterator(env.staging())) {
        names << QString::fromStdString(item.path().filename().native());
    }
    return names;
}
} // namespace

class TestCopyProgress final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A copy whole but not yet listed has passed every byte of its total:
    // known at once for a file, holes included; counted on the pool for a
    // folder, through a dropped link but not the links inside, as copied.
    void countsEveryByteOfItsTotal_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<quint64>("total");
        QTest::newRow("file of several chunks") << QStringLiteral("file") << quint64(3 << 20 | 5);
        QTest::newRow("file mostly holes") << QStringLiteral("sparse") << quint64(64 << 20);
        QTest::newRow("link to a folder holding a link")
            << QStringLiteral("folder") << quint64(1000 + (2 << 20));
    }
    void countsEveryByteOfItsTotal()
    {
        QFETCH(QString, kind);
        QFETCH(quint64, total);
        TestShelf shelf;
        fs::path source = shelf.env.file("in/data.bin", std::string(total, 'd'));
        if (kind == QLatin1String("sparse")) {
            source = shelf.env.file("in/sparse.img", "");
            fs::resize_file(source, total);
            std::fstream(source, std::ios::in | std::ios::out | std::ios::binary)
                .seekp(32 << 20)
                .write(std::string(4096, 's').data(), 4096);
        } else if (kind == QLatin1String("folder")) {
            shelf.env.file("tree/a", std::string(1000, 'a'));
            shelf.env.file("tree/sub/b", std::string(2 << 20, 'b'));
            shelf.env.file("big", std::string(5 << 20, 'c'));
            fs::create_symlink("../big", shelf.env.root() / "tree/c");
            source = shelf.env.root() / "folder-link";
            fs::create_directory_symlink("tree", source);
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
        QCOMPARE(changed.count(), 2);
        QVERIFY(shelf.manager->pendingCopies().isEmpty());
        QCOMPARE(shelf.manager->tempFiles().size(), 1);
    }

    // Cancelling one copy takes it off the list with its line and leaves
    // nothing of it: one still queued never writes, one already whole (its
    // news on the way) is not listed; the other copy goes on.
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
        QSemaphore first;
        QSemaphore second;
        // A failed check must not leave the pool waiting for ever.
        const auto release = qScopeGuard([&] {
            first.release();
            second.release();
        });
        if (queued) {
            pool.async([&](const CancelToken &) { first.acquire(); });
        }
        manager->addFile(env.file("in/a.bin", "aaa"));
        if (queued) {
            pool.async([&](const CancelToken &) { second.acquire(); });
        }
        manager->addFile(env.file("in/b.bin", "bbb"));
        QSignalSpy progress(manager.get(), &StashletManager::copyProgressChanged);
        if (queued) {
            QTest::qWait(int(3 * StashletManager::kProgressInterval.count()));
            QCOMPARE(progress.count(), 0); // nothing moved, nothing announced
        } else {
            QVERIFY(pool.waitForDone(10'000));
        }
        QSignalSpy changed(manager.get(), &StashletManager::pendingCopiesChanged);
        manager->cancelCopy(manager->pendingCopies().at(0).id);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(pendingNames(*manager), QStringList{QStringLiteral("b.bin")});
        QCOMPARE(env.lines(), QStringList{kCancelLine});
        QCOMPARE(manager->inFlightCount(), 2); // its place is held until its work is over

        if (queued) {
            first.release();
            QTRY_COMPARE(manager->inFlightCount(), 1);
            QVERIFY(!fs::exists(env.staging())); // a.bin's work never even made the folder
            second.release();
        }
        settle(pool);
        QCOMPARE(manager->tempFiles().size(), 1);
        QCOMPARE(manager->tempFiles().at(0).originalName(), std::string("b.bin"));
        QCOMPARE(stagedNames(env), QStringList{QStringLiteral("b.bin")});
        QCOMPARE(env.lines(), QStringList{kCancelLine});
    }
};

QTEST_GUILESS_MAIN(TestCopyProgress)
#include "tst_copyprogress.moc"
