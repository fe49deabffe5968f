// SPDX-License-Identifier: MIT
#include "mount.h"
#include "shelftestenv.h"
#include "sizelabel.h"
#include "skiporfail.h"
#include "stageerror.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <future>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// A file system whose every lookup waits for an answer that never comes, as
// on a dead network share: a FUSE mount whose device nobody reads (no FUSE
// library, no daemon). Mounting needs root, as CI runs.
class DeadMount final {
public:
    explicit DeadMount(const fs::path &at)
        : m_fuse(::open("/dev/fuse", O_RDWR | O_CLOEXEC))
        , mount(at, "fuse.dead", "dead", MS_NOSUID | MS_NODEV,
                "fd=" + std::to_string(m_fuse.get()) + ",rootmode=40000,user_id=0,group_id=0")
    {
    }
    ~DeadMount() { abort(); }

    // Ends the connection: whatever waits in the mount fails with ENOTCONN.
    void abort() { m_fuse.close(); }

    // Runs `call` here; false when it was still waiting after a few seconds,
    // in this mount or elsewhere (the mount is then ended, so it returns).
    template <typename Call> bool returnsWhileDead(Call call)
    {
        std::promise<void> returned;
        auto watchdog = std::async(std::launch::async, [this, done = returned.get_future()] {
            const bool inTime = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
            if (!inTime) {
                abort();
            }
            return inTime;
        });
        call();
        returned.set_value();
        return watchdog.get();
    }

    // This process's threads waiting in the mount now.
    static int waiting()
    {
        int count = 0;
        for (const auto &task : fs::directory_iterator("/proc/self/task")) {
            // A thread that ends meanwhile fails the read (ESRCH), which a
            // stream's extraction turns into a failed read, not a throw.
            std::ifstream wchan(task.path() / "wchan");
            std::string where;
            count += (wchan >> where) && where.starts_with("fuse");
        }
        return count;
    }

private:
    UniqueFd m_fuse;

public:
    const Mount mount;
};

} // namespace

class TestStashletManager final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refusesWithItsLineAndCopiesNothing_data()
    {
        QTest::addColumn<QByteArray>("listed"); // names put on the shelf first, comma-separated
        QTest::addColumn<QByteArray>("added");  // name of the file then added from another folder
        QTest::addColumn<bool>("inFlight");     // added before the first are listed
        QTest::addColumn<QString>("line");      // expected line; empty means accepted
        const auto row = [](const char *name, const char *listed, const char *added, bool inFlight,
                            const char *line) {
            QTest::newRow(name) << QByteArray(listed) << QByteArray(added) << inFlight
                                << QString::fromUtf8(line);
        };
        row("full shelf", "a,b,c,d,e", "f", false, "Limit of 5 files reached.");
        row("five in flight", "a,b,c,d,e", "f", true, "Limit of 5 files reached.");
        row("same name, other folder", "n.txt", "n.txt", false, "File already in list: n.txt");
        row("same name in flight", "n.txt", "n.txt", true, "File already in list: n.txt");
        row("decomposed accent matches precomposed", "caf\u00e9", "cafe\u0301", false,
            "File already in list: cafe\u0301");
        row("letter case differs", "Notes.txt", "notes.txt", false, "");
        // Two copies at once into a folder that may ignore case would be one file.
        row("letter case differs in flight", "Notes.txt", "notes.txt", true,
            "File already in list: notes.txt");
        // Latin-1, as old archives carry: decoded, the two would read alike.
        row("names that are not UTF-8", "caf\xe9 \xff", "caf\xe8 \xff", false, "");
    }
    void refusesWithItsLineAndCopiesNothing()
    {
        QFETCH(QByteArray, listed);
        QFETCH(QByteArray, added);
        QFETCH(bool, inFlight);
        QFETCH(QString, line);
        TestShelf shelf;
        const QByteArrayList names = listed.split(',');
        for (const QByteArray &name : names) {
            shelf.manager->addFile(shelf.env.file(fs::path("first") / name.toStdString()));
            if (!inFlight) {
                settle(shelf.pool);
            }
        }
        const auto listedBefore = shelf.manager->tempFiles();
        shelf.add(shelf.env.file(fs::path("second") / added.toStdString(), "second"));
        const bool accepted = line.isEmpty();
        QCOMPARE(shelf.env.lines(), accepted ? QStringList() : QStringList{line});
        QCOMPARE(shelf.manager->tempFiles().size(), names.size() + accepted);
        QCOMPARE(entriesIn(shelf.env.staging()), names.size() + accepted);
        QVERIFY(inFlight || accepted || shelf.manager->tempFiles() == listedBefore);
        for (const TempFile &f : shelf.manager->tempFiles()) {
            QCOMPARE(f.path(), shelf.env.staging() / f.originalName()); // its exact bytes
            const bool second = accepted && f.originalName() == added.toStdString();
            QCOMPARE(readAll(f.path()), std::string(second ? "second" : "x"));
        }
    }

    void missingSourceIsReportedOnOneLineWithControlsEscaped()
    {
        TestShelf shelf;
        // A line feed could forge a line, a C1 control (in UTF-8) drive a terminal.
        shelf.add(shelf.env.root() / "caf\xc3\xa9\nLimit of 5 files reached.\xc2\x9b");
        QCOMPARE(shelf.env.lines(),
                 QStringList{QStringLiteral("File does not exist: ") +
                             QString::fromStdString(shelf.env.root().native()) +
                             QStringLiteral("/caf\u00e9\\nLimit of 5 files reached.\\u009b")});
        QVERIFY(shelf.manager->tempFiles().isEmpty());
    }

    void leftoverAtTheStagedPathOrAVanishedFolderIsDealtWith()
    {
        TestShelf shelf;
        settle(shelf.pool); // the start's emptying would take the leftover
        shelf.env.file("tmp/QELStashlet/song.mp3/old", "old"); // not even a file
        shelf.add(shelf.env.file("music/song.mp3", "new"));
        QCOMPARE(readAll(shelf.env.staging() / "song.mp3"), std::string("new"));
        fs::remove_all(shelf.env.staging()); // while running: made again
        shelf.stage("b", "b");
        QCOMPARE(readAll(shelf.env.staging() / "b"), std::string("b"));
    }

    void unsafeSourcesAreRefusedBeforeAnythingIsCopied_data()
    {
        QTest::addColumn<QString>("source"); // relative to the test root
        QTest::newRow("dot dot") << QStringLiteral("in/..");
        QTest::newRow("root of the file system") << QStringLiteral("/");
        QTest::newRow("the staging folder") << QStringLiteral("tmp/QELStashlet");
        QTest::newRow("inside the staging folder") << QStringLiteral("tmp/QELStashlet/kept");
        QTest::newRow("a folder holding the staging folder") << QStringLiteral("tmp");
        QTest::newRow("the name of the staging folder's trash")
            << QStringLiteral("in/") + QLatin1String(StagingTrash::kName);
        // Files made up as they are read: their size says 0, or nothing true.
        QTest::newRow("a file of /proc") << QStringLiteral("/proc/self/environ");
        QTest::newRow("a folder of /proc") << QStringLiteral("/proc/self/net");
        QTest::newRow("a file of /sys") << QStringLiteral("/sys/devices/system/cpu/online");
        QTest::newRow("a copy's own name") << QStringLiteral("in/.QELStashlet-copy-1-1");
        QTest::newRow("a device") << QStringLiteral("/dev/zero");
    }
    void unsafeSourcesAreRefusedBeforeAnythingIsCopied()
    {
        QFETCH(QString, source);
        TestShelf shelf;
        shelf.env.file("in/x");
        shelf.env.file(fs::path("in") / StagingTrash::kName);
        shelf.env.file("in/.QELStashlet-copy-1-1");
        settle(shelf.pool); // the start's emptying would take it
        shelf.env.file("tmp/QELStashlet/kept", "keep me");
        shelf.add(source.startsWith(QLatin1Char('/')) ? fs::path(source.toStdString())
                                                      : shelf.env.root() / source.toStdString());
        QCOMPARE(shelf.env.lines().size(), 1);
        QVERIFY(shelf.env.lines().at(0).startsWith(
            QStringLiteral("Failed to copy file to temp directory: ")));
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        QCOMPARE(readAll(shelf.env.staging() / "kept"), std::string("keep me"));
        QVERIFY(fs::exists(shelf.env.root() / "in" / "x"));
        QCOMPARE(entriesIn(shelf.env.staging()), 1);
    }

    void removeTakesOutExactlyThatEntryAndKeepsTheOrder()
    {
        TestShelf shelf;
        for (const char *name : {"a", "b", "c"}) {
            shelf.stage(name);
        }
        const TempFile middle = shelf.manager->tempFiles().at(1);
        shelf.manager->removeFile(middle);
        QVERIFY(!fs::exists(middle.path()));            // the disk changes at once...
        QCOMPARE(shelf.manager->tempFiles().size(), 3); // ...the list a turn later
        settle(shelf.pool);
        QCOMPARE(shelf.names(), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));

        // A stale entry (a row still on its way out), or one equal in every
        // field but its id, never deletes the copy of a listed one.
        shelf.add(shelf.env.file("again/b", "new"));
        const TempFile &a = shelf.manager->tempFiles().at(0);
        shelf.manager->removeFile(middle);
        shelf.manager->removeFile(TempFile(a.path(), "a", a.sizeString()));
        settle(shelf.pool);
        QCOMPARE(shelf.names(),
                 (QStringList{QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("b")}));
        QCOMPARE(readAll(shelf.env.staging() / "b"), std::string("new"));
        QCOMPARE(entriesIn(shelf.env.staging()), 3);

        // An entry whose copy vanished meanwhile leaves quietly.
        fs::remove(shelf.env.staging() / "a");
        shelf.manager->removeFile(shelf.manager->tempFiles().at(0));
        settle(shelf.pool);
        QCOMPARE(shelf.names(), (QStringList{QStringLiteral("c"), QStringLiteral("b")}));
        QVERIFY(shelf.env.lines().isEmpty());
    }

    void removedNameIsFreeAtOnceAndNeverTakenByTheLateDeletion()
    {
        ShelfTestEnv env;
        BackgroundPool pool(1);
        auto manager = StashletManager::create(pool);
        env.file("in/tree/a/one", "old");
        env.file("in/tree/b/two", "old");
        manager->addFile(env.root() / "in" / "tree");
        settle(pool);
        // Hold the only worker, so the deletion waits behind it.
        QSemaphore started;
        QSemaphore release;
        pool.async([&](const CancelToken &) {
            started.release();
            release.acquire();
        });
        started.acquire();
        auto unblock = qScopeGuard([&] { release.release(); }); // also when a check fails
        manager->removeFile(manager->tempFiles().at(0));
        QVERIFY(!fs::exists(env.staging() / "tree"));
        env.file("tmp/QELStashlet/tree/new", "new"); // made while the old one waits
        unblock.dismiss();
        release.release();
        settle(pool);
        QVERIFY(manager->tempFiles().isEmpty());
        QCOMPARE(readAll(env.staging() / "tree" / "new"), std::string("new"));
        QCOMPARE(entriesIn(env.staging()), 1);
        QVERIFY(env.lines().isEmpty());
    }

    void deletingNeverFollowsAStagingFolderSwappedForALink()
    {
        TestShelf shelf;
        shelf.stage("a.txt");
        shelf.stage("b.txt");
        shelf.env.file("outside/a.txt", "precious");
        shelf.env.file("outside/b.txt", "precious");
        fs::remove_all(shelf.env.staging());
        fs::create_directory_symlink(shelf.env.root() / "outside", shelf.env.staging());
        // The deletion fails and says so; the entry leaves all the same.
        shelf.manager->removeFile(shelf.manager->tempFiles().at(0));
        settle(shelf.pool);
        QCOMPARE(shelf.names(), QStringList{QStringLiteral("b.txt")});
        QCOMPARE(shelf.env.lines(),
                 QStringList{QStringLiteral("Failed to delete temp file from disk: ") +
                             QString::fromStdString(
                                 make_error_code(StageError::UnsafeStagingFolder).message())});
        shelf.manager->clearAll();
        settle(shelf.pool);
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        QCOMPARE(entriesIn(shelf.env.root() / "outside"), 2);
    }

    // Listed once whole, and announced around the change. Deleted where they
    // were made, whatever $TMPDIR becomes: writable by all, it no longer
    // qualifies, but the shelf's copies still lie there.
    void addsOnceCopiedAndClearAllDeletesListedCopiesOnlyWhereTheyWereMade()
    {
        TestShelf shelf;
        QSignalSpy after(shelf.manager.get(), &StashletManager::tempFilesChanged);
        int countSeenBefore = -1;
        connect(shelf.manager.get(), &StashletManager::tempFilesAboutToChange, this,
                [&] { countSeenBefore = int(shelf.manager->tempFiles().size()); });
        shelf.manager->addFile(shelf.env.file("in/a", "aaa"));
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        settle(shelf.pool);
        QCOMPARE(after.count(), 1);
        QCOMPARE(countSeenBefore, 0);
        QCOMPARE(shelf.manager->tempFiles().at(0).path(), shelf.env.staging() / "a");
        QCOMPARE(readAll(shelf.env.staging() / "a"), std::string("aaa"));
        QCOMPARE(shelf.manager->tempFiles().at(0).sizeString(), sizeLabel(3));
        shelf.env.file("in/inner/b", "bbbb");
        shelf.add(shelf.env.root() / "in");
        // A folder is staged whole, with no size to show.
        QVERIFY(shelf.manager->tempFiles().at(1).sizeString().isEmpty());
        QCOMPARE(readAll(shelf.env.staging() / "in" / "inner" / "b"), std::string("bbbb"));
        shelf.env.file("tmp/QELStashlet/unlisted");
        fs::permissions(shelf.env.tmp(), fs::perms(01777));
        QCOMPARE(shelf.stage("c").path(), shelf.env.staging() / "c");
        shelf.manager->removeFile(shelf.manager->tempFiles().at(2));
        shelf.manager->clearAll();
        QVERIFY(!fs::exists(shelf.env.staging() / "a")); // at once
        QVERIFY(!fs::exists(shelf.env.staging() / "in"));
        QCOMPARE(readAll(shelf.env.root() / "in" / "a"), std::string("aaa")); // only read
        settle(shelf.pool);
        QCOMPARE(entriesIn(shelf.env.staging()), 1); // the unlisted file
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        QVERIFY(shelf.env.lines().isEmpty());
    }

    // Whole but unlisted, a copy has passed all its total: a file's, holes included,
    // or a folder's, counted on the pool through a dropped link but not the links inside.
    void countsEveryByteOfItsTotal()
    {
        for (const bool sparse : {true, false}) {
            const quint64 total = sparse ? 64 << 20 : 1000 + (2 << 20);
            TestShelf shelf;
            fs::path source = shelf.env.file("in/data", std::string(sparse ? 0 : total, 'd'));
            if (sparse) {
                fs::resize_file(source, total);
                std::fstream(source, std::ios::in | std::ios::out).seekp(32 << 20).write("data", 4);
            } else {
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
            if (sparse) {                 // its holes kept, the one at the end too
                struct stat st {};
                QCOMPARE(::stat((shelf.env.staging() / "data").c_str(), &st), 0);
                QCOMPARE(quint64(st.st_size), total);
                QVERIFY2(st.st_blocks < 1024, qPrintable(QString::number(st.st_blocks)));
            }
        }
    }

    // A source on a mount that never answers holds a pool thread, never the
    // caller: it is pending until the mount fails, and others go on meanwhile.
    void sourceOnAMountThatNeverAnswersNeverHoldsTheCaller()
    {
        TestShelf shelf;
        settle(shelf.pool);
        DeadMount dead(shelf.env.root() / "dead");
        if (!dead.mount.valid()) {
            STASHLET_SKIP_UNLESS_CI(dead.mount.skipReason());
        }
        const fs::path source = shelf.env.root() / "dead" / "song.mp3";
        QVERIFY2(dead.returnsWhileDead([&] { shelf.manager->addFile(source); }),
                 "addFile() waited on the source's file system");
        QCOMPARE(shelf.manager->pendingCopies().size(), 1);
        QCOMPARE(shelf.manager->pendingCopies().at(0).originalName, std::string("song.mp3"));
        shelf.manager->addFile(shelf.env.file("in/b"));
        QTRY_COMPARE(shelf.names(), QStringList{QStringLiteral("b")});
        QVERIFY(shelf.env.lines().isEmpty());
        dead.abort();
        settle(shelf.pool);
        QCOMPARE(shelf.env.lines(), QStringList{QStringLiteral("File does not exist: ") +
                                                QString::fromStdString(source.native())});
        QVERIFY(shelf.manager->pendingCopies().isEmpty());
        QCOMPARE(shelf.names(), QStringList{QStringLiteral("b")});
    }

    // Stopped while it hangs in a dead mount inside the folder it copies, a
    // copy's late failure leaves alone the copy of the same name made since.
    void cancelledCopyStuckInTheFileSystemLeavesTheNextOneAlone()
    {
        for (const bool alone : {true, false}) {
            ShelfTestEnv env;
            BackgroundPool pool;
            auto manager = StashletManager::create(pool);
            settle(pool);
            DeadMount dead(env.root() / "stuck" / "tree" / "dead");
            if (!dead.mount.valid()) {
                STASHLET_SKIP_UNLESS_CI(dead.mount.skipReason());
            }
            manager->addFile(env.root() / "stuck" / "tree");
            QTRY_COMPARE(DeadMount::waiting(), 2); // the copy, and the count of its bytes
            if (alone) {
                manager->cancelCopy(manager->pendingCopies().at(0).id);
            } else {
                manager->clearAll();
            }
            env.file("again/tree/new", "new");
            manager->addFile(env.root() / "again" / "tree");
            QTRY_COMPARE(TestShelf::namesOf(*manager), QStringList{QStringLiteral("tree")});
            dead.abort();
            settle(pool);
            QCOMPARE(TestShelf::namesOf(*manager), QStringList{QStringLiteral("tree")});
            QCOMPARE(readAll(env.staging() / "tree" / "new"), std::string("new"));
            QCOMPARE(entriesIn(env.staging()), 1);
            QCOMPARE(env.lines(), QStringList()); // a cancel asked for is no failure
        }
    }

    // Cancelled queued, a copy never runs (nor makes the staging folder);
    // cancelled whole, its news still on the way, it is neither listed nor
    // left, and its name and its place are free at once: the same name and
    // enough others to fill the shelf fit. Cancelled alone, it goes with its
    // line and spares the other; at a quit, which never runs the loop again,
    // or a clear, they go at once.
    void cancelledCopiesLeaveNothing_data()
    {
        QTest::addColumn<QString>("how"); // one, quit, clear, or gone (the store released)
        QTest::addColumn<bool>("queued"); // else whole
        for (const char *how : {"one", "quit", "clear"}) {
            QTest::addRow("%s, queued", how) << QString::fromLatin1(how) << true;
            QTest::addRow("%s, whole", how) << QString::fromLatin1(how) << false;
        }
        QTest::newRow("gone, queued") << QStringLiteral("gone") << true;
    }
    void cancelledCopiesLeaveNothing()
    {
        QFETCH(QString, how);
        QFETCH(bool, queued);
        ShelfTestEnv env;
        BackgroundPool pool(1);
        auto manager = StashletManager::create(pool);
        QSemaphore hold;
        const auto release = qScopeGuard([&] { hold.release(); }); // also when a check fails
        if (queued) {
            pool.async([&hold](const CancelToken &) { hold.acquire(); });
        }
        for (const char *name : {"a.bin", "b.bin"}) {
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
        QStringList left;
        if (how == u"one") {
            manager->cancelCopy(manager->pendingCopies().at(0).id);
            left << QStringLiteral("b.bin");
            QCOMPARE(manager->pendingCopies().size(), 1);
        } else if (how == u"gone") {
            manager.reset();
        } else {
            how == u"quit" ? manager->shutdown() : manager->clearAll();
            QVERIFY(manager->pendingCopies().isEmpty());
            QVERIFY(!fs::exists(env.staging() / "a.bin") && !fs::exists(env.staging() / "b.bin"));
        }
        QCOMPARE(changed.count(), int(manager != nullptr));
        QStringList refill;
        if (!queued) {
            for (const char *name : {"a.bin", "c", "d", "e", "f"}) {
                if (left.size() + refill.size() < StashletManager::kLimit) {
                    refill << QString::fromLatin1(name);
                    manager->addFile(env.file(fs::path("again") / name, "new"));
                }
            }
            QCOMPARE(manager->inFlightCount(), StashletManager::kLimit);
        }
        QCOMPARE(env.lines(), QStringList()); // a cancel asked for is no failure
        hold.release();
        settle(pool);
        QCOMPARE(env.lines(), QStringList());
        if (queued && left.isEmpty()) {
            QVERIFY(!fs::exists(env.staging()));
        } else {
            QCOMPARE(entriesIn(env.staging()), left.size() + refill.size());
        }
        if (manager) {
            QCOMPARE(TestShelf::namesOf(*manager), left + refill);
        }
        if (!refill.isEmpty()) {
            QCOMPARE(readAll(env.staging() / "a.bin"), std::string("new"));
        }
    }
};

QTEST_GUILESS_MAIN(TestStashletManager)
#include "tst_stashletmanager.moc"
