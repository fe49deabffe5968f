// SPDX-License-Identifier: MIT
#include "shelftestenv.h"
#include "sizelabel.h"
#include "stageerror.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

namespace fs = std::filesystem;

namespace {
qsizetype stagedCount(const TestShelf &shelf)
{
    return std::distance(fs::directory_iterator(shelf.env.staging()), fs::directory_iterator());
}
} // namespace

class TestStashletManager final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void addsAfterTheCopyAndPublishesAroundTheChange()
    {
        TestShelf shelf;
        const auto source = shelf.env.file("in/report.txt", "hello");
        QSignalSpy before(shelf.manager.get(), &StashletManager::tempFilesAboutToChange);
        QSignalSpy after(shelf.manager.get(), &StashletManager::tempFilesChanged);
        int countSeenBefore = -1;
        connect(shelf.manager.get(), &StashletManager::tempFilesAboutToChange, this,
                [&] { countSeenBefore = int(shelf.manager->tempFiles().size()); });

        shelf.manager->addFile(source);
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        settle(shelf.pool);

        QCOMPARE(before.count(), 1);
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
        QTest::addColumn<QString>("line");   // expected line; empty means accepted

        QTest::newRow("full shelf") << QStringLiteral("a,b,c,d,e") << QStringLiteral("f")
                                    << QStringLiteral("Limit of 5 files reached.");
        QTest::newRow("same name, other folder")
            << QStringLiteral("notes.txt") << QStringLiteral("notes.txt")
            << QStringLiteral("File already in list: notes.txt");
        QTest::newRow("decomposed accent matches precomposed")
            << QStringLiteral("caf\u00e9.txt") << QStringLiteral("cafe\u0301.txt")
            << QStringLiteral("File already in list: cafe\u0301.txt");
        QTest::newRow("letter case differs")
            << QStringLiteral("Notes.txt") << QStringLiteral("notes.txt") << QStringLiteral("");
    }
    void refusesWithItsLineAndCopiesNothing()
    {
        QFETCH(QString, listed);
        QFETCH(QString, added);
        QFETCH(QString, line);
        TestShelf shelf;
        for (const QString &name : listed.split(QLatin1Char(','))) {
            shelf.add(shelf.env.file(fs::path("first") / name.toStdString()));
        }
        const auto listedBefore = shelf.manager->tempFiles();
        const auto source = shelf.env.file(fs::path("second") / added.toStdString(), "second");
        shelf.add(source);

        if (line.isEmpty()) {
            QVERIFY(shelf.env.lines().isEmpty());
            QCOMPARE(shelf.manager->tempFiles().size(), listedBefore.size() + 1);
            return;
        }
        QCOMPARE(shelf.env.lines(), QStringList{line});
        QCOMPARE(shelf.manager->tempFiles(), listedBefore);
        QCOMPARE(stagedCount(shelf), listedBefore.size()); // nothing was copied
        for (const TempFile &f : listedBefore) {
            QCOMPARE(readAll(f.path()), std::string("x")); // no listed copy was overwritten
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
        const auto missing = shelf.env.root() / "nowhere" / name.toStdString();
        shelf.add(missing);
        QCOMPARE(shelf.env.lines(),
                 QStringList{QStringLiteral("File does not exist: ") +
                             QString::fromStdString((shelf.env.root() / "nowhere").native()) +
                             QLatin1Char('/') + shown});
        QVERIFY(shelf.manager->tempFiles().isEmpty());
    }

    void nameThatIsNotUtf8IsStagedUnderItsExactBytes()
    {
        TestShelf shelf;
        const std::string name = "caf\xe9 \xff.txt"; // Latin-1, as old archives carry
        const auto source = shelf.env.file(fs::path("latin1") / name, "bytes");
        shelf.add(source);
        QCOMPARE(shelf.manager->tempFiles().size(), 1);
        const TempFile &entry = shelf.manager->tempFiles().at(0);
        QCOMPARE(entry.originalName(), name);
        QCOMPARE(readAll(shelf.env.staging() / name), std::string("bytes"));

        // Another undecodable name is not a duplicate of it.
        shelf.add(shelf.env.file(fs::path("latin1") / "caf\xe8 \xff.txt"));
        QCOMPARE(shelf.manager->tempFiles().size(), 2);
    }

    void additionsInFlightNeitherShareANameNorOverfillTheShelf()
    {
        TestShelf shelf;
        const std::string big(4 << 20, 'A');
        const auto first = shelf.env.file("one/photo.raw", big);
        const auto second = shelf.env.file("two/photo.raw", "the other photo");
        shelf.manager->addFile(first);
        shelf.manager->addFile(second); // both before either is listed
        settle(shelf.pool);

        QCOMPARE(shelf.env.lines(), QStringList{QStringLiteral("File already in list: photo.raw")});
        QCOMPARE(shelf.manager->tempFiles().size(), 1);
        QCOMPARE(readAll(shelf.manager->tempFiles().at(0).path()), big);

        // Once the first is done, the name may be staged again after it leaves the shelf.
        shelf.manager->removeFile(shelf.manager->tempFiles().at(0));
        settle(shelf.pool);
        shelf.add(second);
        QCOMPARE(readAll(shelf.manager->tempFiles().at(0).path()), std::string("the other photo"));
    }

    void copiesInFlightHoldTheirPlacesOnTheShelf()
    {
        TestShelf shelf;
        // Six at once, none listed yet: the sixth is refused before it is
        // copied, as it would be with five listed.
        for (const char *name : {"a", "b", "c", "d", "e", "f"}) {
            shelf.manager->addFile(
                shelf.env.file(fs::path("in") / name, std::string(1 << 20, 'x')));
        }
        QCOMPARE(shelf.manager->inFlightCount(), StashletManager::kLimit);
        QCOMPARE(shelf.env.lines(), QStringList{QStringLiteral("Limit of 5 files reached.")});
        settle(shelf.pool);
        QStringList names = shelf.names(); // in the order the copies finished
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                     QStringLiteral("d"), QStringLiteral("e")}));
        QCOMPARE(stagedCount(shelf), StashletManager::kLimit);
        QCOMPARE(shelf.manager->inFlightCount(), 0);
    }

    void leftoverAtTheStagedPathOrAVanishedFolderIsDealtWith()
    {
        TestShelf shelf;
        fs::create_directories(shelf.env.staging() / "song.mp3"); // not even a file
        shelf.env.file("tmp/QELStashlet/song.mp3/old", "old");
        shelf.add(shelf.env.file("music/song.mp3", "new"));
        QCOMPARE(readAll(shelf.env.staging() / "song.mp3"), std::string("new"));

        fs::remove_all(shelf.env.staging()); // while running: made again
        shelf.stage("b", "b");
        QCOMPARE(shelf.manager->tempFiles().size(), 2);
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
        shelf.env.file("tmp/QELStashlet/kept", "keep me");
        const fs::path path = source.startsWith(QLatin1Char('/'))
                                  ? fs::path(source.toStdString())
                                  : shelf.env.root() / source.toStdString();
        shelf.add(path);

        QCOMPARE(shelf.env.lines().size(), 1);
        QVERIFY2(shelf.env.lines().at(0).startsWith(
                     QStringLiteral("Failed to copy file to temp directory: ")),
                 qPrintable(shelf.env.lines().at(0)));
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        QCOMPARE(readAll(shelf.env.staging() / "kept"), std::string("keep me"));
        QVERIFY(fs::exists(shelf.env.root() / "in" / "x"));
        QCOMPARE(stagedCount(shelf), 1);
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
        QVERIFY(fs::exists(shelf.env.staging() / "a"));
        QVERIFY(fs::exists(shelf.env.staging() / "c"));

        // A stale entry (say, from a row still on its way out) never deletes
        // the copy of a newer one of the same name.
        shelf.add(shelf.env.file("again/b", "new"));
        shelf.manager->removeFile(middle);
        settle(shelf.pool);
        QCOMPARE(shelf.names(),
                 (QStringList{QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("b")}));
        QCOMPARE(readAll(shelf.env.staging() / "b"), std::string("new"));

        // An entry equal in every field but its id is another entry.
        const TempFile lookalike(shelf.manager->tempFiles().at(0).path(), "a",
                                 shelf.manager->tempFiles().at(0).sizeString());
        QVERIFY(!(lookalike == shelf.manager->tempFiles().at(0)));
        shelf.manager->removeFile(lookalike);
        settle(shelf.pool);
        QCOMPARE(shelf.manager->tempFiles().size(), 3);

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
        QCOMPARE(manager->tempFiles().size(), 1);

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
        // A new item of that name, made while the old one waits for deletion.
        env.file("tmp/QELStashlet/tree/new", "new");
        QCoreApplication::sendPostedEvents();
        QVERIFY(manager->tempFiles().isEmpty());
        unblock.dismiss();
        release.release();
        settle(pool);

        QCOMPARE(readAll(env.staging() / "tree" / "new"), std::string("new"));
        QCOMPARE(std::distance(fs::directory_iterator(env.staging()), fs::directory_iterator()), 1);
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
        QCOMPARE(readAll(shelf.env.root() / "outside" / "a.txt"), std::string("precious"));
        QCOMPARE(readAll(shelf.env.root() / "outside" / "b.txt"), std::string("precious"));
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
        QVERIFY(!fs::exists(shelf.env.staging() / "a"));
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
        shelf.stage("c");
        QCOMPARE(shelf.manager->tempFiles().at(2).path(), shelf.env.staging() / "c");
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
        QCOMPARE(shelf.manager->tempFiles().size(), 1);
    }

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
        // Hold the only worker so the addition waits in the queue meanwhile.
        BackgroundPool pool(1);
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
        QVERIFY(!fs::exists(env.staging() / "big.bin"));
        if (storeGone) {
            return;
        }
        QVERIFY(manager->tempFiles().isEmpty());
        // Cancelling is not sticky: the next addition goes through.
        manager->addFile(env.root() / "in" / "big.bin");
        settle(pool);
        QCOMPARE(manager->tempFiles().size(), 1);
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
        QVERIFY(fs::exists(shelf.env.root() / "in" / "done.txt"));
    }
};

QTEST_GUILESS_MAIN(TestStashletManager)
#include "tst_stashletmanager.moc"
