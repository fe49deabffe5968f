// SPDX-License-Identifier: MIT
#include "filename.h"
#include "filetree.h"
#include "shelftestenv.h"
#include "sizelabel.h"
#include "stageerror.h"

#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A modification time no copy gets by chance, to the nanosecond.
const fs::file_time_type kTime =
    std::chrono::file_clock::from_sys(std::chrono::sys_seconds(1'000'000'000s)) + 5ns;

// Lowers a resource limit of this process for as long as it lives: the file
// size (writes past it fail with EFBIG, as on a full disk) or the descriptors.
class Limit final {
public:
    Limit(int resource, rlim_t value)
        : m_resource(resource)
    {
        ::getrlimit(resource, &m_saved);
        const rlimit limit{value, m_saved.rlim_max};
        ::setrlimit(resource, &limit);
    }
    ~Limit() { ::setrlimit(m_resource, &m_saved); }

private:
    int m_resource;
    rlimit m_saved{};
};

} // namespace

class TestFileTree final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Also run unprivileged: root may write into a read-only folder.
    void keepsFolderModesTimesAndInnerLinks()
    {
        ShelfTestEnv env;
        const fs::path src = env.root() / "project";
        env.file("project/docs/readme", "read me");
        fs::create_symlink("docs/readme", src / "relative-link");
        fs::create_symlink("/nonexistent/target", src / "dangling-link");
        fs::create_symlink(".", src / "docs" / "loop"); // copied as a link, never walked into
        fs::last_write_time(src / "docs", kTime);
        fs::permissions(src / "docs", fs::perms(0500)); // its contents must still arrive

        const fs::path dst = env.root() / "copy";
        QCOMPARE(FileTree::copyItem(src, dst), std::error_code());
        QCOMPARE(fs::status(dst / "docs").permissions(), fs::perms(0500));
        QVERIFY(fs::last_write_time(dst / "docs") == kTime);
        QCOMPARE(readAll(dst / "relative-link"), std::string("read me"));
        QCOMPARE(fs::read_symlink(dst / "relative-link"), fs::path("docs/readme"));
        QCOMPARE(fs::read_symlink(dst / "dangling-link"), fs::path("/nonexistent/target"));
        QCOMPARE(fs::read_symlink(dst / "docs" / "loop"), fs::path("."));

        QCOMPARE(FileTree::removeItem(dst), std::error_code());
        QVERIFY(!fs::exists(dst));
        QVERIFY(fs::exists(src / "docs" / "readme"));
    }

    void writeFailingHalfWayLeavesNoPartialCopy()
    {
        TestShelf shelf;
        const std::string big(3 << 20, 'z');
        shelf.env.file("set/1-small", "small");
        const fs::path source = shelf.env.file("set/2-big", big).parent_path();
        {
            const auto handler = std::signal(SIGXFSZ, SIG_IGN);
            const Limit limit(RLIMIT_FSIZE, 1 << 20);
            shelf.manager->addFile(source);
            QVERIFY(shelf.pool.waitForDone(60'000));
            std::signal(SIGXFSZ, handler);
        }
        settle(shelf.pool);
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        QVERIFY(fs::is_empty(shelf.env.staging()));
        QCOMPARE(shelf.env.lines(),
                 QStringList{QStringLiteral("Failed to copy file to temp directory: \"set\" could "
                                            "not be copied: ") +
                             QString::fromLocal8Bit(std::strerror(EFBIG))});
        QCOMPARE(readAll(source / "2-big"), big);
    }

    void copyLeavesNothingUntilWholeThenKeepsNameModeAndTime_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("anonymous"); // CopyOptions::anonymousUntilWhole
        QTest::addColumn<bool>("shownWhileCopying");
        QTest::newRow("a file, named once whole") << false << true << false;
        QTest::newRow("a file, named from the start as without O_TMPFILE")
            << false << false << true;
        QTest::newRow("a folder") << true << true << true;
    }
    void copyLeavesNothingUntilWholeThenKeepsNameModeAndTime()
    {
        QFETCH(bool, folder);
        QFETCH(bool, anonymous);
        QFETCH(bool, shownWhileCopying);
        ShelfTestEnv env;
        const std::string name = "r\xe9sum\xe9 \xff"; // not UTF-8
        const fs::path source =
            folder ? env.root() / name : env.file(name, std::string(40 << 20, 'm'));
        for (const char *inner : {"/a", "/b", "/c"}) {
            if (folder) {
                env.file(name + inner, inner);
            }
        }
        fs::permissions(source, fs::perms(0751));
        fs::last_write_time(source, kTime);
        const fs::path shelf = env.root() / "shelf";
        fs::create_directory(shelf);
        const fs::path target = shelf / "copy";
        int polls = 0;
        bool shown = false;
        FileTree::CopyOptions options;
        options.anonymousUntilWhole = anonymous;
        // Anything in the folder at any poll is what a quit that does not wait
        // (the process killed there) would leave behind.
        options.isCancelled = [&] {
            shown = shown || !fs::is_empty(shelf);
            return ++polls > 2; // after some data went across
        };
        const auto cancelled = std::make_error_code(std::errc::operation_canceled);
        QCOMPARE(FileTree::copyItem(source, target, options), cancelled);
        QCOMPARE(shown, shownWhileCopying);
        QVERIFY(fs::is_empty(shelf));

        // Cancelled the moment it is whole and named, as a quit may catch it:
        // no one will list it, so it goes too.
        options.isCancelled = [&] { return fs::exists(target); };
        if (!shownWhileCopying) {
            QCOMPARE(FileTree::copyItem(source, target, options), cancelled);
            QVERIFY(fs::is_empty(shelf));
        }

        options.isCancelled = [] { return false; };
        QCOMPARE(FileTree::copyItem(source, shelf / name, options), std::error_code());
        QCOMPARE(entriesIn(shelf), 1);
        QCOMPARE(fs::status(shelf / name).permissions(), fs::perms(0751));
        QVERIFY(fs::last_write_time(shelf / name) == kTime);
    }

    void folderOfAnyDepthIsCopiedAndDeletedWithFewDescriptors()
    {
        ShelfTestEnv env;
        constexpr int kDepth = 1500; // far more than 64 descriptors, one a level, could hold
        const auto descend = [](const fs::path &top, bool make) {
            UniqueFd folder(::open(top.c_str(), O_RDONLY | O_DIRECTORY));
            for (int level = 0; level < kDepth && folder.valid(); ++level) {
                if (make) {
                    ::mkdirat(folder.get(), "d", 0755);
                }
                folder = UniqueFd(::openat(folder.get(), "d", O_RDONLY | O_DIRECTORY));
            }
            return folder;
        };
        const fs::path source = env.root() / "deep";
        fs::create_directory(source);
        const UniqueFd bottom(
            ::openat(descend(source, true).get(), "leaf", O_WRONLY | O_CREAT, 0600));
        QCOMPARE(::write(bottom.get(), "bottom", 6), 6);
        const fs::path copy = env.root() / "copy";
        const Limit limit(RLIMIT_NOFILE, 64);
        QCOMPARE(FileTree::copyItem(source, copy), std::error_code());
        const UniqueFd leaf(::openat(descend(copy, false).get(), "leaf", O_RDONLY));
        char bytes[6] = {};
        QCOMPARE(::read(leaf.get(), bytes, sizeof bytes), ssize_t(6));
        QCOMPARE(std::string(bytes, 6), std::string("bottom"));
        QCOMPARE(FileTree::removeItem(copy), std::error_code());
        QCOMPARE(FileTree::removeItem(source), std::error_code());
        QVERIFY(!fs::exists(copy) && !fs::exists(source));
    }

    void pipesInsideAFolderAreMadeAnewWhatCannotBeIsNamed()
    {
        TestShelf shelf;
        const fs::path folder = shelf.env.root() / "run";
        shelf.env.file("run/data.txt", "data");
        QCOMPARE(::mkfifo((folder / "queue").c_str(), 0640), 0);
        ::chmod((folder / "queue").c_str(), 0640);
        const UniqueFd socket = rawSocket(QByteArray((folder / "control").c_str()), true);
        QVERIFY(socket.valid());
        // Only root may make a device node; the socket stands for both otherwise.
        const bool device = ::mknod((folder / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;

        shelf.add(folder);
        const fs::path staged = shelf.env.staging() / "run";
        QCOMPARE(readAll(staged / "data.txt"), std::string("data"));
        QVERIFY(fs::is_fifo(fs::symlink_status(staged / "queue")));
        QCOMPARE(fs::symlink_status(staged / "queue").permissions(), fs::perms(0640));
        QCOMPARE(entriesIn(staged), 2);
        QCOMPARE(shelf.env.lines().size(), 1);
        const QString line = shelf.env.lines().at(0);
        QVERIFY2(line.startsWith(QStringLiteral("Items that cannot be copied were left out: ")) &&
                     line.contains(QStringLiteral("\"run/control\" (socket)")) &&
                     line.contains(QStringLiteral("\"run/null\" (device)")) == device,
                 qPrintable(line));
    }

    void refusesWhatItCannotOrMustNotCopy()
    {
        ShelfTestEnv env;
        const fs::path pipe = env.root() / "pipe";
        QCOMPARE(::mkfifo(pipe.c_str(), 0600), 0);
        QCOMPARE(FileTree::copyItem(pipe, env.root() / "pipe-copy"),
                 make_error_code(StageError::UnsupportedFileType));

        // A folder reached by another path (a bind mount, a link) is still recognised.
        const fs::path x = env.file("outer/guarded/x");
        fs::create_directory_symlink(env.root() / "outer", env.root() / "alias");
        FileTree::CopyOptions options;
        const UniqueFd guarded(
            ::open((env.root() / "alias" / "guarded").c_str(), O_RDONLY | O_DIRECTORY));
        options.forbidden = FileTree::folderId(guarded.get());
        QCOMPARE(FileTree::copyItem(env.root() / "outer", env.root() / "outer-copy", options),
                 make_error_code(StageError::SourceContainsStagingFolder));
        QVERIFY(!fs::exists(env.root() / "pipe-copy") && !fs::exists(env.root() / "outer-copy"));

        // The target is never overwritten, nor removed when it was there first,
        // nor when its name is taken while the copy runs.
        const auto exists = std::make_error_code(std::errc::file_exists);
        QCOMPARE(FileTree::copyItem(x, env.file("taken", "keep")), exists);
        QCOMPARE(readAll(env.root() / "taken"), std::string("keep"));
        FileTree::CopyOptions racing;
        racing.isCancelled = [&] {
            if (!fs::exists(env.root() / "raced")) {
                env.file("raced", "theirs");
            }
            return false;
        };
        QCOMPARE(FileTree::copyItem(x, env.root() / "raced", racing), exists);
        QCOMPARE(readAll(env.root() / "raced"), std::string("theirs"));
    }

    void sizeUsesDecimalUnitsAndTheLargestThatFits()
    {
        const QLocale c = QLocale::c();
        QCOMPARE(sizeLabel(999, c), QStringLiteral("999 bytes"));
        QCOMPARE(sizeLabel(1000, c), QStringLiteral("1 kB"));
        QCOMPARE(sizeLabel(1'560'000, c), QStringLiteral("1.6 MB"));
        QCOMPARE(sizeLabel(1'234'567'890, c), QStringLiteral("1.23 GB"));
        QCOMPARE(sizeLabel(1'500'000'000, c), QStringLiteral("1.5 GB")); // trailing zero dropped
        QCOMPARE(sizeLabel(1'500'000, QLocale(QLocale::Italian)), QStringLiteral("1,5 MB"));
    }

    void fileNamesIgnoreTrailingSlashesAndRefuseWhatNamesNoEntry()
    {
        QCOMPARE(FileName::lastComponent("/a/b.txt"), std::string("b.txt"));
        QCOMPARE(FileName::lastComponent("/a/b///"), std::string("b"));
        QCOMPARE(FileName::lastComponent("/"), std::string(""));
        QCOMPARE(FileName::lastComponent("/a/.."), std::string(".."));
        for (const char *name : {"a", ".hidden", "..."}) {
            QVERIFY(FileName::isUsable(name));
        }
        for (const std::string &name : {std::string(), std::string("."), std::string(".."),
                                        std::string("a/b"), std::string("a\0b", 3)}) {
            QVERIFY(!FileName::isUsable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestFileTree)
#include "tst_filetree.moc"
