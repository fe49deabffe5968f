// SPDX-License-Identifier: MIT
#include "shelftestenv.h"

#include <QtTest>

#include <sys/stat.h>

namespace fs = std::filesystem;

class TestStagingFolder final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void liesUnderAPrivateTmpdirElseInTheCache()
    {
        ShelfTestEnv env;
        QCOMPARE(StagingFolder().location(), env.tmp() / "QELStashlet");

        // A TMPDIR others may write to is where anyone could plant the folder first.
        fs::permissions(env.tmp(), fs::perms::all);
        QCOMPARE(StagingFolder().location(), env.root() / "cache" / "QELStashlet");
        fs::permissions(env.tmp(), fs::perms::owner_all);

        qputenv("TMPDIR", "relative/dir");
        QCOMPARE(StagingFolder().location(), env.root() / "cache" / "QELStashlet");
        qunsetenv("XDG_CACHE_HOME");
        QCOMPARE(StagingFolder().location(),
                 fs::path(qgetenv("HOME").toStdString()) / ".cache" / "QELStashlet");
    }

    void startEmptiesAFullFolderWithoutFollowingLinksOut()
    {
        // Hidden and nested leftovers and a link to a file are the
        // end-to-end start case's; a link to a folder and a read-only folder are not.
        ShelfTestEnv env;
        env.file("outside/precious.txt", "mine");
        // A read-only folder still goes: its contents must be deletable first.
        env.file("tmp/QELStashlet/locked/inner");
        fs::permissions(env.staging() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        fs::create_directory_symlink(env.root() / "outside", env.staging() / "link-to-outside");

        BackgroundPool pool;
        auto manager = StashletManager::create(pool);
        settle(pool);

        QVERIFY(fs::is_directory(env.staging()));
        QVERIFY(fs::is_empty(env.staging()));
        QCOMPARE(readAll(env.root() / "outside" / "precious.txt"), std::string("mine"));
        QVERIFY(env.lines().isEmpty());
    }

    void startDeletesTheTrashAKilledRunLeftAndNothingOutside_data()
    {
        QTest::addColumn<bool>("trashIsALink");
        QTest::newRow("trash holding a link out") << false;
        QTest::newRow("trash that is a link out") << true;
    }
    void startDeletesTheTrashAKilledRunLeftAndNothingOutside()
    {
        QFETCH(bool, trashIsALink);
        ShelfTestEnv env;
        env.file("outside/precious.txt", "mine");
        const fs::path trash = env.staging() / StagingTrash::kName;
        if (trashIsALink) {
            fs::create_directories(env.staging());
            fs::create_directory_symlink(env.root() / "outside", trash);
        } else {
            env.file(fs::relative(trash / "4242-7" / "inner" / "part", env.root()));
            fs::create_directory_symlink(env.root() / "outside", trash / "4242-8");
        }
        env.file("tmp/QELStashlet/leftover");

        BackgroundPool pool;
        auto manager = StashletManager::create(pool);
        QVERIFY(!fs::exists(env.staging() / "leftover")); // out of the way at once
        settle(pool);

        QCOMPARE(readAll(env.root() / "outside" / "precious.txt"), std::string("mine"));
        QVERIFY(fs::is_empty(env.staging()));
    }

    void startWithoutAFolderMakesNone()
    {
        TestShelf shelf;
        QVERIFY(!fs::exists(shelf.env.staging()));
        shelf.stage("a");
        QCOMPARE(fs::status(shelf.env.staging()).permissions() & fs::perms::all,
                 fs::perms::owner_all);
    }

    void folderThatIsALinkOrAnotherUsersIsUsedForNothing_data()
    {
        QTest::addColumn<bool>("link");
        QTest::newRow("a link to elsewhere") << true;
        QTest::newRow("another user's folder") << false;
    }
    void folderThatIsALinkOrAnotherUsersIsUsedForNothing()
    {
        QFETCH(bool, link);
        ShelfTestEnv env;
        // Root owns everything here, so another owner is played by telling
        // the folder to expect a user who does not own it.
        const StagingFolder folder(link ? ::geteuid() : ::geteuid() + 1);
        const fs::path inside = link ? env.root() / "outside" : env.staging();
        env.file(fs::relative(inside / "theirs.txt", env.root()), "theirs");
        if (link) {
            fs::create_directory_symlink(inside, env.staging());
        } else {
            // The owner rule covers TMPDIR as well, so point the cache at the same place.
            qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(env.tmp().native()));
            QCOMPARE(folder.location(), env.staging());
        }

        BackgroundPool pool;
        auto manager = StashletManager::create(pool, folder);
        manager->addFile(env.file("in/a.txt"));
        settle(pool);
        QCOMPARE(readAll(inside / "theirs.txt"), std::string("theirs"));
        QVERIFY(!fs::exists(inside / "a.txt"));
        QVERIFY(manager->tempFiles().isEmpty());
        QCOMPARE(env.lines().size(), 1);
        QVERIFY(env.lines().at(0).startsWith(
            QStringLiteral("Failed to copy file to temp directory: ")));
        QVERIFY(env.lines().at(0).contains(QStringLiteral("staging folder")));
    }
};

QTEST_GUILESS_MAIN(TestStagingFolder)
#include "tst_stagingfolder.moc"
