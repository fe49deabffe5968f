// SPDX-License-Identifier: MIT
#include "shelftestenv.h"
#include "sizelabel.h"
#include "stageerror.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

namespace fs = std::filesystem;

class TestStashletManager final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void addsAfterTheCopyAndPublishesAroundTheChange()
    {
        TestShelf shelf;
        const auto source = shelf.env.file("in/report.txt", "hello");
        QSignalSpy after(shelf.manager.get(), &StashletManager::tempFilesChanged);
        int countSeenBefore = -1;
        connect(shelf.manager.get(), &StashletManager::tempFilesAboutToChange, this,
                [&] { countSeenBefore = int(shelf.manager->tempFiles().size()); });
        shelf.manager->addFile(source);
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        settle(shelf.pool);
        QCOMPARE(after.count(), 1);
        QCOMPARE(countSeenBefore, 0);
        const TempFile &entry = shelf.manager->tempFiles().at(0);
        QCOMPARE(entry.originalName(), std::string("report.txt"));
        QCOMPARE(entry.path(), shelf.env.staging() / "report.txt");
        QCOMPARE(readAll(entry.path()), std::string("hello"));
        QCOMPARE(entry.sizeString(), sizeLabel(5));
        QCOMPARE(readAll(source), std::string("hello")); // the source is only read
        QVERIFY(shelf.env.lines().isEmpty());
    }

    void refusesWithItsLineAndCopiesNothing_data()
    {
        QTest::addColumn<QString>("listed"); // names put on the shelf first, comma-separated
        QTest::addColumn<QString>("added");  // name of the file then added from another folder
        QTest::addColumn<bool>("inFlight");  // added before the first are listed
        QTest::addColumn<QString>("line");   // expected line; empty means accepted
        const auto row = [](const char *name, const char *listed, const char *added, bool inFlight,
                            const char *line) {
            QTest::newRow(name) << QString::fromUtf8(listed) << QString::fromUtf8(added) << inFlight
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
    }
    void refusesWithItsLineAndCopiesNothing()
    {
        QFETCH(QString, listed);
        QFETCH(QString, added);
        QFETCH(bool, inFlight);
        QFETCH(QString, line);
        TestShelf shelf;
        const QStringList names = listed.split(QLatin1Char(','));
        for (const QString &name : names) {
            shelf.manager->addFile(shelf.env.file(fs::path("first") / name.toStdString()));
            if (!inFlight) {
                settle(shelf.pool);
            }
        }
        const auto listedBefore = shelf.manager->tempFiles();
        shelf.add(shelf.env.file(fs::path("second") / added.toStdString(), "second"));
        QCOMPARE(shelf.env.lines(), line.isEmpty() ? QStringList() : QStringList{line});
        QCOMPARE(shelf.manager->tempFiles().size(), names.size() + line.isEmpty());
        QCOMPARE(entriesIn(shelf.env.staging()), names.size() + line.isEmpty());
        if (!inFlight && !line.isEmpty()) {
            QCOMPARE(shelf.manager->tempFiles(), listedBefore);
        }
        for (const TempFile &f : shelf.manager->tempFiles()) {
            QCOMPARE(readAll(f.path()),
                     std::string(f.originalName() == added.toStdString() && line.isEmpty()
                                     ? "second"
                                     : "x"));
        }
    }

    void missingSourceIsReportedWithItsPathOnOneLine_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown"); // how the name reads in the line
        QTest::newRow("plain") << QByteArray("gone.txt") << QStringLiteral("gone.txt");
        QTest::newRow("a line feed forging a line")
            << QByteArray("a\nLimit of 5 files reached.")
            << QStringLiteral("a\\nLimit of 5 files reached.");
        QTest::newRow("a terminal escape and a carriage return")
            << QByteArray("\x1b]0;owned\x07\r.txt") << QStringLiteral("\\x1b]0;owned\\x07\\r.txt");
        QTest::newRow("a C1 control in UTF-8, accents kept")
            << QByteArray("caf\xc3\xa9\xc2\x9b"
                          "2J")
            << QStringLiteral("caf\u00e9\\u009b2J");
    }
    void missingSourceIsReportedWithItsPathOnOneLine()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shown);
        TestShelf shelf;
        const auto folder = shelf.env.root() / "nowhere";
        shelf.add(folder / name.toStdString());
        QCOMPARE(shelf.env.lines(),
                 QStringList{QStringLiteral("File does not exist: ") +
                             QString::fromStdString(folder.native()) + QLatin1Char('/') + shown});
        QVERIFY(shelf.manager->tempFiles().isEmpty());
    }

    void nameThatIsNotUtf8IsStagedUnderItsExactBytes()
    {
        TestShelf shelf;
        const std::string name = "caf\xe9 \xff.txt"; // Latin-1, as old archives carry
        QCOMPARE(shelf.stage(name, "bytes").originalName(), name);
        QCOMPARE(readAll(shelf.env.staging() / name), std::string("bytes"));
        // Another undecodable name is not a duplicate of it.
        shelf.stage("caf\xe8 \xff.txt");
        QCOMPARE(shelf.manager->tempFiles().size(), 2);
    }

    void leftoverAtTheStagedPathOrAVanishedFolderIsDealtWith()
    {
        TestShelf shelf;
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
    }
    void unsafeSourcesAreRefusedBeforeAnythingIsCopied()
    {
        QFETCH(QString, source);
        TestShelf shelf;
        shelf.env.file("in/x");
        shelf.env.file(fs::path("in") / StagingTrash::kName);
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

    void clearAllDeletesListedCopiesOnly()
    {
        TestShelf shelf;
        shelf.stage("a", "aaa");
        shelf.env.file("in/inner/b", "bbbb");
        shelf.add(shelf.env.root() / "in");
        // A folder is staged whole, with no size to show.
        QCOMPARE(shelf.manager->tempFiles().at(1).sizeString(), QStringLiteral("Unknown size"));
        QCOMPARE(readAll(shelf.env.staging() / "in" / "inner" / "b"), std::string("bbbb"));
        shelf.env.file("tmp/QELStashlet/unlisted");
        shelf.manager->clearAll();
        QVERIFY(!fs::exists(shelf.env.staging() / "a")); // at once
        QVERIFY(!fs::exists(shelf.env.staging() / "in"));
        QVERIFY(fs::exists(shelf.env.staging() / "unlisted"));
        QVERIFY(fs::exists(shelf.env.root() / "in" / "a"));
        settle(shelf.pool);
        QVERIFY(shelf.manager->tempFiles().isEmpty());
    }

    void clearAllStopsCopiesInFlight_data()
    {
        QTest::addColumn<bool>("whole"); // the copy was done, its news not yet on the main thread
        QTest::newRow("copy running") << false;
        QTest::newRow("copy whole, not yet listed") << true;
    }
    void clearAllStopsCopiesInFlight()
    {
        QFETCH(bool, whole);
        TestShelf shelf;
        shelf.stage("listed");
        shelf.env.file("in/folder/inner", "x");
        shelf.env.file("in/folder/big", std::string(64 << 20, 'b'));
        shelf.manager->addFile(shelf.env.root() / "in" / "folder");
        if (whole) {
            QVERIFY(shelf.pool.waitForDone(60'000));
        }
        shelf.manager->clearAll();
        settle(shelf.pool);
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        QVERIFY(fs::is_empty(shelf.env.staging()));
        QVERIFY(shelf.env.lines().isEmpty());
        // Stopping is not sticky.
        shelf.add(shelf.env.root() / "in" / "folder");
        QCOMPARE(shelf.names(), QStringList{QStringLiteral("folder")});
    }

    void copiesAreDeletedWhereTheyWereMadeWhateverTmpdirBecomes()
    {
        TestShelf shelf;
        shelf.stage("a");
        shelf.stage("b");
        // Now writable by all, $TMPDIR no longer qualifies; the shelf's copies still lie there.
        fs::permissions(shelf.env.tmp(), fs::perms(01777));
        QCOMPARE(shelf.stage("c").path(), shelf.env.staging() / "c");
        shelf.manager->removeFile(shelf.manager->tempFiles().at(0));
        shelf.manager->clearAll();
        settle(shelf.pool);
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        QVERIFY(fs::is_empty(shelf.env.staging()));
        QVERIFY(shelf.env.lines().isEmpty());
    }

    void sharingWithoutAServiceSaysSo()
    {
        TestShelf shelf;
        shelf.stage("a");
        qputenv("PATH", QByteArray::fromStdString((shelf.env.root() / "empty-bin").native()));
        shelf.manager->shareViaAirDrop(shelf.manager->tempFiles().at(0));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(shelf.env.lines(),
                 QStringList{QStringLiteral("AirDrop sharing service is not available.")});
    }

    // At quit a queued copy must neither make the staging folder again (it was
    // never made, or was just emptied) nor write a line.
    void queuedCopyCancelledOrOrphanedLeavesNothing_data()
    {
        QTest::addColumn<bool>("storeGone");
        QTest::newRow("cancelled") << false;
        QTest::newRow("store released") << true;
    }
    void queuedCopyCancelledOrOrphanedLeavesNothing()
    {
        QFETCH(bool, storeGone);
        ShelfTestEnv env;
        BackgroundPool pool(1); // held, so the addition waits in the queue
        auto manager = StashletManager::create(pool);
        QSemaphore hold;
        pool.async([&](const CancelToken &) { hold.acquire(); });
        manager->addFile(env.file("in/big.bin", std::string(1 << 20, 'b')));
        if (storeGone) {
            manager.reset();
        } else {
            manager->cancelCopies();
        }
        hold.release();
        settle(pool);
        QVERIFY(!fs::exists(env.staging()));
        QVERIFY(env.lines().isEmpty());
        if (!storeGone) {
            // Cancelling is not sticky: the next addition goes through.
            manager->addFile(env.root() / "in" / "big.bin");
            settle(pool);
            QCOMPARE(manager->tempFiles().size(), 1);
        }
    }

    void copyWholeJustBeforeTheCancelIsNeitherListedNorLeft()
    {
        TestShelf shelf;
        shelf.manager->addFile(shelf.env.file("in/done.txt", "whole"));
        // The copy is done and named, but its news has not reached the main
        // thread yet, as at a quit that never runs the event loop again.
        QVERIFY(shelf.pool.waitForDone(10'000));
        QVERIFY(fs::exists(shelf.env.staging() / "done.txt"));
        shelf.manager->cancelCopies();
        QVERIFY(!fs::exists(shelf.env.staging() / "done.txt"));
        settle(shelf.pool);
        QVERIFY(shelf.manager->tempFiles().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStashletManager)
#include "tst_stashletmanager.moc"
