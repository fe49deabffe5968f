// SPDX-License-Identifier: MIT
#include "shelftestenv.h"

#include <QtTest>

#include <cstring>
#include <optional>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A file system mounted at `at` until the end of the scope, where the
// process may mount (root, as CI runs); `valid()` says whether it is.
class Mount final {
public:
    Mount(const fs::path &at, const char *type, const char *source, unsigned long flags)
        : m_at(at)
    {
        fs::create_directories(at);
        m_mounted = ::mount(source, at.c_str(), type, flags, nullptr) == 0;
        m_error = std::strerror(errno);
    }
    ~Mount()
    {
        if (m_mounted) {
            ::umount2(m_at.c_str(), MNT_DETACH);
        }
    }
    Mount(const Mount &) = delete;
    Mount &operator=(const Mount &) = delete;

    bool valid() const { return m_mounted; }
    QByteArray skipReason() const { return QByteArray("cannot mount here: ") + m_error; }

private:
    fs::path m_at;
    bool m_mounted = false;
    const char *m_error = "";
};

} // namespace

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

    void folderAndTheBaseItMakesAreTheUsersAlone_data()
    {
        QTest::addColumn<bool>("existing"); // a staging folder left open by hand; else no base
        QTest::newRow("folder already there, mode 0755") << true;
        QTest::newRow("cache base missing") << false;
    }
    void folderAndTheBaseItMakesAreTheUsersAlone()
    {
        QFETCH(bool, existing);
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
            manager->addFile(env.file("in/private.txt"));
            settle(pool);
            QCOMPARE(manager->tempFiles().size(), 1);
        }
        ::umask(umask);
        for (const fs::path &folder : {base / "QELStashlet", base, base.parent_path()}) {
            if (existing && folder != env.staging()) {
                continue;
            }
            QCOMPARE(fs::status(folder).permissions(), fs::perms::owner_all);
        }
    }

    void startNeverEntersAMountInsideTheFolder_data()
    {
        QTest::addColumn<bool>("bind"); // a folder of this file system mounted again; else a tmpfs
        QTest::newRow("another file system") << false;
        QTest::newRow("a bind mount of a folder outside") << true;
    }
    void startNeverEntersAMountInsideTheFolder()
    {
        QFETCH(bool, bind);
        ShelfTestEnv env;
        env.file("outside/kept.txt", "mine");
        env.file("tmp/QELStashlet/leftover", "old");
        const fs::path point = env.staging() / "mounted";
        const Mount mount(point, bind ? nullptr : "tmpfs",
                          bind ? (env.root() / "outside").c_str() : "none", bind ? MS_BIND : 0);
        if (!mount.valid()) {
            QSKIP(mount.skipReason());
        }
        if (!bind) {
            env.file("tmp/QELStashlet/mounted/kept.txt", "mine");
        }
        BackgroundPool pool;
        auto manager = StashletManager::create(pool);
        QVERIFY(!fs::exists(env.staging() / "leftover"));
        QCOMPARE(readAll(point / "kept.txt"), std::string("mine"));
        QVERIFY(env.lines().isEmpty());
    }

    void copyLeavesOutWhatIsMountedInsideADroppedFolder()
    {
        TestShelf shelf;
        shelf.env.file("drop/a", "a");
        const Mount mount(shelf.env.root() / "drop" / "media", "tmpfs", "none", 0);
        if (!mount.valid()) {
            QSKIP(mount.skipReason());
        }
        shelf.env.file("drop/media/huge", "not ours to copy");
        shelf.add(shelf.env.root() / "drop");
        QCOMPARE(shelf.manager->tempFiles().size(), 1);
        QCOMPARE(readAll(shelf.env.staging() / "drop" / "a"), std::string("a"));
        QVERIFY(!fs::exists(shelf.env.staging() / "drop" / "media"));
        QCOMPARE(shelf.env.lines(),
                 QStringList{QStringLiteral("Items that cannot be copied were left out: "
                                            "\"drop/media\" (another file system)")});
    }

    void folderThatCannotBeMadeGivesTheReason_data()
    {
        QTest::addColumn<bool>("readOnlyMount"); // else a base folder of someone else's
        QTest::newRow("read-only file system (as root)") << true;
        QTest::newRow("base not writable (unprivileged)") << false;
    }
    void folderThatCannotBeMadeGivesTheReason()
    {
        QFETCH(bool, readOnlyMount);
        ShelfTestEnv env;
        const fs::path base = env.root() / "base";
        std::optional<Mount> mount;
        if (readOnlyMount) {
            mount.emplace(base, "tmpfs", "none", MS_RDONLY);
            if (!mount->valid()) {
                QSKIP(mount->skipReason());
            }
        } else {
            if (::geteuid() == 0) {
                QSKIP("root may write anywhere; tst_stagingfolder_unprivileged runs this row");
            }
            fs::create_directory(base);
            fs::permissions(base, fs::perms(0500));
        }
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((base / "cache").native()));
        qunsetenv("TMPDIR");
        BackgroundPool pool;
        auto manager = StashletManager::create(pool);
        manager->addFile(env.file("in/a.txt"));
        settle(pool);
        if (!readOnlyMount) {
            fs::permissions(base, fs::perms::owner_all);
        }
        QCOMPARE(env.lines().size(), 1);
        const QString reason =
            QString::fromLocal8Bit(std::strerror(readOnlyMount ? EROFS : EACCES));
        QVERIFY2(env.lines().at(0).endsWith(reason), qPrintable(env.lines().at(0)));
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
        const fs::path inside = link ? env.root() / "outside" : env.staging();
        env.file(fs::relative(inside / "theirs.txt", env.root()), "theirs");
        if (link) {
            fs::create_directory_symlink(inside, env.staging());
        } else {
            // The owner rule covers TMPDIR as well, so point the cache at the same place.
            qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(env.tmp().native()));
        }
        // Root owns everything here, so another owner is played by telling
        // the folder to expect a user who does not own it.
        const StagingFolder folder(link ? ::geteuid() : ::geteuid() + 1);
        QCOMPARE(folder.location(), env.staging());

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
