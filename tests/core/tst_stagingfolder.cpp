// SPDX-License-Identifier: MIT
#include "mount.h"
#include "shelftestenv.h"
#include "skiporfail.h"
#include "stageerror.h"

#include <QtTest>

#include <optional>

#include <sys/stat.h>

namespace fs = std::filesystem;

class TestStagingFolder final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void liesUnderAPrivateTmpdirElseInTheCache()
    {
        ShelfTestEnv env;
        QCOMPARE(StagingFolder().location(), env.staging());
        const fs::path cache = env.root() / "cache" / "QELStashlet";
        // A TMPDIR others may write to is where anyone could plant the folder first.
        fs::permissions(env.tmp(), fs::perms::all);
        QCOMPARE(StagingFolder().location(), cache);
        fs::permissions(env.tmp(), fs::perms::owner_all);
        // A relative one names another folder whenever the working folder changes.
        const fs::path cwd = fs::current_path();
        fs::current_path(env.root());
        qputenv("TMPDIR", "tmp");
        const fs::path relative = StagingFolder().location();
        fs::current_path(cwd);
        QCOMPARE(relative, cache);
        qunsetenv("XDG_CACHE_HOME");
        QCOMPARE(StagingFolder().location(),
                 fs::path(qgetenv("HOME").toStdString()) / ".cache" / "QELStashlet");
    }

    // Also run unprivileged: root may delete inside a read-only folder.
    void startEmptiesAFullFolderWithoutFollowingLinksOut()
    {
        // Leftovers, a read-only folder and a killed run's trash; else a trash that is a link out.
        for (const bool trashIsALink : {false, true}) {
            ShelfTestEnv env;
            env.file("outside/precious.txt", "mine");
            const fs::path trash = env.staging() / StagingTrash::kName;
            env.file("tmp/QELStashlet/leftover");
            if (trashIsALink) {
                fs::create_directory_symlink(env.root() / "outside", trash);
            } else {
                env.file("tmp/QELStashlet/locked/inner");
                fs::permissions(env.staging() / "locked", fs::perms(0500));
                fs::create_directory_symlink(env.root() / "outside", env.staging() / "link-out");
                env.file(fs::relative(trash / "4242-7" / "inner" / "part", env.root()));
                fs::create_directory_symlink(env.root() / "outside", trash / "4242-8");
            }
            // Enough leftovers that the emptying is still under way when the copy
            // of a file by a leftover's name could start.
            for (int i = 0; i < 500; ++i) {
                env.file("tmp/QELStashlet/old" + std::to_string(i));
            }
            BackgroundPool pool;
            auto manager = StashletManager::create(pool);
            manager->addFile(env.file("in/leftover", "new"));
            settle(pool);
            QCOMPARE(manager->tempFiles().size(), 1);
            QCOMPARE(entriesIn(env.staging()), 1);
            QCOMPARE(readAll(env.staging() / "leftover"), std::string("new"));
            QCOMPARE(readAll(env.root() / "outside" / "precious.txt"), std::string("mine"));
            QVERIFY(env.lines().isEmpty());
        }
    }

    void quitDuringTheEmptyingAtStartLeavesNothing()
    {
        ShelfTestEnv env;
        for (int i = 0; i < 500; ++i) {
            env.file("tmp/QELStashlet/old" + std::to_string(i));
        }
        BackgroundPool pool;
        auto manager =
            StashletManager::create(pool, StagingFolder(), StagingTrash::Deleting::Later);
        manager->shutdown();
        QCOMPARE(entriesIn(env.staging()), 0);
    }

    // A full disk has no room for the trash folder: removing, clearing and
    // quitting delete the copies where they lie instead.
    void fullDiskStillDeletesRemovedAndClearedCopies()
    {
        ShelfTestEnv env;
        const Mount mount(env.tmp(), "tmpfs", "none", 0, "size=1m,nr_inodes=32,mode=0700");
        if (!mount.valid()) {
            STASHLET_SKIP_UNLESS_CI(mount.skipReason());
        }
        BackgroundPool pool;
        auto manager = StashletManager::create(pool);
        for (const char *name : {"a", "b", "c"}) {
            manager->addFile(env.file(fs::path("in") / name));
        }
        settle(pool);
        QCOMPARE(manager->tempFiles().size(), 3);
        // Fill what inodes are left, beside the staging folder.
        for (int i = 0; std::ofstream(env.tmp() / std::to_string(i)); ++i) {
        }
        QCOMPARE(::mkdir((env.tmp() / "full").c_str(), 0700), -1);
        QCOMPARE(errno, ENOSPC);
        const TempFile removed = manager->tempFiles().at(0);
        manager->removeFile(removed);
        QVERIFY(!fs::exists(removed.path()));
        settle(pool);
        manager->shutdown();
        QCOMPARE(entriesIn(env.staging()), 0);
        settle(pool);
        QVERIFY(manager->tempFiles().isEmpty());
        QVERIFY(env.lines().isEmpty());
    }

    void folderAndTheBasesItMakesAreTheUsersAlone()
    {
        // A staging folder left open by hand (mode 0755), else no cache base at all.
        for (const bool existing : {true, false}) {
            ShelfTestEnv env;
            const mode_t umask = ::umask(022);
            fs::path base = env.tmp();
            if (existing) {
                fs::create_directory(env.staging());
                fs::permissions(env.staging(), fs::perms(0755));
            } else {
                base = env.root() / "home" / ".cache";
                qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(base.native()));
                qunsetenv("TMPDIR");
            }
            {
                BackgroundPool pool;
                auto manager = StashletManager::create(pool);
                QCOMPARE(fs::exists(base / "QELStashlet"), existing); // made by an addition only
                manager->addFile(env.file("in/private.txt"));
                settle(pool);
                QCOMPARE(manager->tempFiles().size(), 1);
            }
            ::umask(umask);
            for (const fs::path &folder : {base / "QELStashlet", base, base.parent_path()}) {
                QCOMPARE(fs::status(folder).permissions(), fs::perms::owner_all);
                if (existing) {
                    break;
                }
            }
        }
    }

    void neverEntersAMountInsideTheFolderOrADroppedOne()
    {
        // Another file system in the staging folder, a bind mount of a folder
        // outside there, a file system in a dropped folder.
        for (int where = 0; where < 3; ++where) {
            TestShelf shelf;
            ShelfTestEnv &env = shelf.env;
            env.file("outside/kept.txt", "mine");
            env.file("tmp/QELStashlet/leftover", "old");
            env.file("drop/a", "a");
            const fs::path point = where == 2 ? env.root() / "drop" / "media" : env.staging() / "m";
            const Mount mount(point, where == 1 ? nullptr : "tmpfs",
                              where == 1 ? (env.root() / "outside").c_str() : "none",
                              where == 1 ? MS_BIND : 0);
            if (!mount.valid()) {
                STASHLET_SKIP_UNLESS_CI(mount.skipReason());
            }
            if (where != 1) {
                env.file(fs::relative(point / "kept.txt", env.root()), "mine");
            }
            if (where < 2) {
                auto manager = StashletManager::create(shelf.pool);
                settle(shelf.pool);
                QVERIFY(!fs::exists(env.staging() / "leftover"));
                QCOMPARE(readAll(point / "kept.txt"), std::string("mine"));
                QVERIFY(env.lines().isEmpty());
                continue;
            }
            shelf.add(env.root() / "drop");
            QCOMPARE(readAll(env.staging() / "drop" / "a"), std::string("a"));
            QVERIFY(!fs::exists(env.staging() / "drop" / "media"));
            QCOMPARE(env.lines(),
                     QStringList{QStringLiteral("Items that cannot be copied were left "
                                                "out: \"drop/media\" (another file system)")});
        }
    }

    // The unprivileged row runs only as a user, as tst_stagingfolder_unprivileged.
    void folderThatCannotBeUsedGivesTheReasonAndIsLeftAlone_data()
    {
        QTest::addColumn<QString>("why");
        QTest::newRow("read-only file system (as root)") << QStringLiteral("mount");
        QTest::newRow("base not writable (unprivileged)") << QStringLiteral("base");
        QTest::newRow("a link to elsewhere") << QStringLiteral("link");
        QTest::newRow("another user's folder") << QStringLiteral("owner");
    }
    void folderThatCannotBeUsedGivesTheReasonAndIsLeftAlone()
    {
        QFETCH(QString, why);
        ShelfTestEnv env;
        const fs::path base = env.root() / "base";
        const fs::path inside = why == u"link" ? env.root() / "outside" : env.staging();
        std::optional<Mount> mount;
        std::error_code reason = make_error_code(StageError::UnsafeStagingFolder);
        if (why == u"mount") {
            mount.emplace(base, "tmpfs", "none", MS_RDONLY);
            if (!mount->valid()) {
                STASHLET_SKIP_UNLESS_CI(mount->skipReason());
            }
            reason = std::make_error_code(std::errc::read_only_file_system);
        } else if (why == u"base") {
            if (::geteuid() == 0) {
                QSKIP("root may write anywhere");
            }
            fs::create_directory(base);
            fs::permissions(base, fs::perms(0500));
            reason = std::make_error_code(std::errc::permission_denied);
        } else {
            env.file(fs::relative(inside / "theirs.txt", env.root()), "theirs");
            if (why == u"link") {
                fs::create_directory_symlink(inside, env.staging());
            }
        }
        // The owner rule refuses TMPDIR as well: there the cache names the same folder.
        qputenv("XDG_CACHE_HOME",
                QByteArray::fromStdString(
                    (mount || why == u"base" ? base / "cache" : env.tmp()).native()));
        if (mount || why == u"base") {
            qunsetenv("TMPDIR");
        }
        // Root owns everything here, so another owner is played by telling
        // the folder to expect a user who does not own it.
        const StagingFolder folder(why == u"owner" ? ::geteuid() + 1 : ::geteuid());
        {
            BackgroundPool pool;
            auto manager = StashletManager::create(pool, folder);
            manager->addFile(env.file("in/a.txt"));
            settle(pool);
            QVERIFY(manager->tempFiles().isEmpty());
        }
        if (why == u"base") {
            fs::permissions(base, fs::perms::owner_all);
        }
        QCOMPARE(env.lines(), QStringList{QStringLiteral("Failed to copy file to temp directory: "
                                                         "\"a.txt\" could not be copied: ") +
                                          QString::fromStdString(reason.message())});
        if (!mount && why != u"base") {
            QCOMPARE(folder.location(), env.staging());
            QCOMPARE(readAll(inside / "theirs.txt"), std::string("theirs"));
            QCOMPARE(entriesIn(inside), 1);
        }
    }

    void removesNothingOutsideTheFolder()
    {
        ShelfTestEnv env;
        BackgroundPool pool;
        for (const char *file : {"outside/x", "tmp/x", "tmp/QELStashlet/item/x"}) {
            env.file(file, "kept");
        }
        for (const char *path : {"outside/x", "tmp/QELStashlet/../x", "tmp/QELStashlet/item/x"}) {
            const auto unsafe = make_error_code(StageError::UnsafeStagingFolder);
            QCOMPARE(StagingTrash(StagingFolder(), pool).discard(env.root() / path, false), unsafe);
        }
        settle(pool);
        for (const char *file : {"outside/x", "tmp/x", "tmp/QELStashlet/item/x"}) {
            QCOMPARE(readAll(env.root() / file), std::string("kept"));
        }
    }
};

QTEST_GUILESS_MAIN(TestStagingFolder)
#include "tst_stagingfolder.moc"
