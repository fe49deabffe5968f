// SPDX-License-Identifier: MIT
#include "contentarea.h"
#include "dropintake.h"
#include "droppedmimedata.h"
#include "panelfixture.h"
#include "urilist.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using Path = std::filesystem::path;

namespace {

// The panel's side of the intake: a shelf holding `count` entries that
// records the paths it is asked to add.
struct Shelf {
    qsizetype count = 0;
    QByteArrayList added;
    DropIntake intake{
        [this] { return count; },
        [this](const Path &path) { added.append(QByteArray::fromStdString(path.native())); }};
    QString banner() const { return intake.errorMessage().value_or(QString()); }
};

// The process's peak resident memory, in kB, since the last resetPeakMemory().
qint64 peakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
bool resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

} // namespace

class TestDropIntake final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dropAgainstShelfCount_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("taken");
        QTest::addColumn<QString>("banner");
        const QString full = QStringLiteral("Hai già raggiunto il limite di 5 file");
        QTest::newRow("empty shelf, no files") << 0 << 0 << 0 << QString();
        QTest::newRow("one place left, one file") << 4 << 1 << 1 << QString();
        QTest::newRow("two places left, three files")
            << 3 << 3 << 2 << QStringLiteral("Puoi aggiungere solo altri 2 file");
        QTest::newRow("empty shelf, seven files")
            << 0 << 7 << 5 << QStringLiteral("Puoi aggiungere solo altri 5 file");
        QTest::newRow("full shelf") << 5 << 1 << 0 << full;
        QTest::newRow("shelf over-full behind the panel's back") << 6 << 2 << 0 << full;
    }
    void dropAgainstShelfCount()
    {
        QFETCH(int, count);
        QFETCH(int, files);
        QFETCH(int, taken);
        QFETCH(QString, banner);
        // A web link before every file and after the last, so that links are
        // never counted, taken or first or last by accident.
        QByteArray list;
        QByteArrayList expected;
        for (int i = 0; i <= files; ++i) {
            list += "https://example.org/" + QByteArray::number(i) + "\r\n";
            if (i < files)
                list += "file:///drop/" + QByteArray::number(i) + "\r\n";
            if (i < taken)
                expected.append("/drop/" + QByteArray::number(i));
        }
        // A drop with no message of its own leaves the last one showing.
        Shelf shelf;
        shelf.count = count;
        shelf.intake.showError(QStringLiteral("earlier"));
        QCOMPARE(shelf.intake.handleDrop(list), taken > 0);
        QCOMPARE(shelf.banner(), banner.isNull() ? QStringLiteral("earlier") : banner);
        // Handed to the store at once, in the list's order.
        QCOMPARE(shelf.added, expected);
        QCoreApplication::processEvents();
        QCOMPARE(shelf.added, expected);
    }

    void quickDropsNeverTakeMoreThanTheShelfHolds_data()
    {
        QTest::addColumn<int>("stage"); // how far the first drop got when the second came
        QTest::newRow("first drop just taken") << 0;
        QTest::newRow("first drop copying") << 1;
        QTest::newRow("first drop listed") << 2;
    }
    void quickDropsNeverTakeMoreThanTheShelfHolds()
    {
        QFETCH(int, stage);
        PanelFixture shelf;
        DropIntake &intake = shelf.panel->contentArea()->dropIntake();
        QByteArray drops[2];
        for (int i = 0; i < 6; ++i) {
            const auto path = shelf.sample(std::to_string(i), 1 << 20);
            drops[i / 3] +=
                QUrl::fromLocalFile(QString::fromStdString(path.native())).toEncoded() + "\r\n";
        }
        QVERIFY(intake.handleDrop(drops[0]));
        if (stage == 1) {
            QCoreApplication::sendPostedEvents(); // its files copy
        } else if (stage == 2) {
            shelf.settleWork();
        }
        QVERIFY(intake.handleDrop(drops[1]));
        QCOMPARE(intake.errorMessage().value_or(QString()),
                 QStringLiteral("Puoi aggiungere solo altri 2 file"));
        shelf.settleWork();
        QStringList names = TestShelf::namesOf(*shelf.manager);
        names.sort();
        QCOMPARE(names.join(u','), QStringLiteral("0,1,2,3,4"));
        QCOMPARE(entriesIn(shelf.env.staging()), StashletManager::kLimit);
    }

    // Each line is a table row of what counts as a local file, and which
    // bytes it names; the marker after it shows that reading went on.
    void linesNameLocalFilesByTheirBytes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("path"); // null: refused
        const auto row = [](const char *name, QByteArray line, QByteArray path) {
            QTest::newRow(name) << line << path;
        };
        row("web page", "https://example.com/a.txt", {});
        row("LOCALHOST", "file://LOCALHOST/tmp/a", "/tmp/a");
        row("escaped space", "file:///tmp/a%20b", "/tmp/a b");
        row("bare space, as some senders write it", "file:///tmp/a b", "/tmp/a b");
        row("escaped Latin-1 byte, not UTF-8", "file:///tmp/caf%E9.txt", "/tmp/caf\xe9.txt");
        row("raw Latin-1 byte", "file:///tmp/raw\xe9", "/tmp/raw\xe9");
        row("root", "file:///", "/");
        row("other host", "file://server/share/a", {});
        row("user", "file://me@localhost/tmp/a", {});
        row("port", "file://localhost:8080/tmp/a", {});
        row("relative", "file:tmp/a", {});
        row("no path", "file://localhost", {});
        row("a NUL that would cut the path short", "file:///tmp/a%00.txt", {});
        row("a raw NUL", QByteArray("file:///tmp/a\0.txt", 18), {});
        QByteArray longest;
        for (int i = 1; i < PATH_MAX; ++i)
            longest += "%C3";
        row("longest path, every byte escaped", "file://localhost/" + longest,
            '/' + QByteArray(PATH_MAX - 1, '\xc3'));
        row("longer than any path", "file://localhost/" + longest + "%C3%C3", {});
    }
    void linesNameLocalFilesByTheirBytes()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, path);
        const QByteArray list = "# a comment\r\n" + line + "\r\nfile:///drop/marker\r\n";
        const UriList::Files files = UriList::read(list + '\0', 5);
        QByteArrayList expected{"/drop/marker"};
        if (!path.isNull())
            expected.prepend(path);
        QByteArrayList paths;
        for (const Path &each : files.paths)
            paths.append(QByteArray::fromStdString(each.native()));
        QCOMPARE(paths, expected);
        QCOMPARE(files.refused, path.isNull() ? 1 : 0);
        QVERIFY(!files.more);
        Shelf shelf;
        QVERIFY(shelf.intake.handleDrop(list));
        QCOMPARE(shelf.added, expected);
        QVERIFY(!shelf.intake.errorMessage());
    }

    void bannerHidesThreeSecondsAfterTheLatestMessage()
    {
        Shelf shelf;
        QSignalSpy changed(&shelf.intake, &DropIntake::errorMessageChanged);
        shelf.intake.showError(QStringLiteral("first"));
        QTest::qWait(2000);
        QCOMPARE(shelf.banner(), QStringLiteral("first"));
        shelf.intake.showError(QStringLiteral("second"));
        QElapsedTimer sinceSecond;
        sinceSecond.start();
        QCOMPARE(shelf.banner(), QStringLiteral("second"));
        // The first message's timer would have hidden the banner 1 s from here.
        QTRY_VERIFY_WITH_TIMEOUT(!shelf.intake.errorMessage(), 4500);
        QVERIFY2(sinceSecond.elapsed() >= 2990, qPrintable(QString::number(sinceSecond.elapsed())));
        QCOMPARE(changed.count(), 3);
    }

    // Reading costs what the shelf can take, whatever the list holds: the
    // files wanted and one more, or kMaxLines lines of anything else; a line
    // too long to be a path is skipped unparsed.
    void readingStopsWhereTheShelfIsServed_data()
    {
        QTest::addColumn<QByteArray>("line"); // repeated 480,000 times
        QTest::addColumn<QByteArray>("tail"); // after them
        QTest::addColumn<int>("taken");
        QTest::addColumn<bool>("more");
        QTest::addColumn<int>("parsed");
        const QByteArray name = "file:///nowhere/" + QByteArray(100, 'x') + "\r\n";
        QTest::newRow("480,000 files") << name << QByteArray() << 5 << true << 6;
        QTest::newRow("480,000 web links")
            << QByteArray("https://example.org/" + QByteArray(100, 'x') + "\r\n") << name << 0
            << false << int(UriList::kMaxLines);
        QTest::newRow("480,000 empty lines") << QByteArray("\r\n") << name << 0 << false << 0;
        QTest::newRow("one 50 MB line of 0xC3")
            << QByteArray() << "file:///" + QByteArray(50 << 20, '\xc3') + "\r\n" + name << 1
            << false << 1;
    }
    void readingStopsWhereTheShelfIsServed()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, tail);
        QFETCH(int, taken);
        QFETCH(bool, more);
        QFETCH(int, parsed);
        QByteArray list;
        list.reserve(480'000 * line.size() + tail.size());
        for (int i = 0; i < 480'000 && !line.isEmpty(); ++i)
            list += line;
        list += tail;
        const UriList::Files files = UriList::read(list, 5);
        QCOMPARE(qsizetype(files.paths.size()), taken);
        QCOMPARE(files.more, more);
        QCOMPARE(files.parsed, parsed);
    }

    // A hostile list, however large, is read no further than the shelf
    // needs: the files it can take and one more, to know there were more.
    void hugeListsAreReadOnlyAsFarAsTheShelfNeeds_data()
    {
        // Drop and paste share the reader: one path for each kind of list.
        QTest::addColumn<bool>("pasted"); // one 50 MB line of 0xC3, else 480,000 URIs dropped
        QTest::newRow("480,000 URIs dropped") << false;
        QTest::newRow("50 MB line pasted") << true;
    }
    void hugeListsAreReadOnlyAsFarAsTheShelfNeeds()
    {
        QFETCH(bool, pasted);
        PanelFixture shelf;
        const auto uri = [&](int i) {
            const auto path = shelf.sample("file " + std::to_string(i));
            return QUrl::fromLocalFile(QString::fromStdString(path.native())).toEncoded() + "\r\n";
        };
        QByteArray list;
        if (pasted) {
            list = "file:///" + QByteArray(50 << 20, '\xc3') + "\r\n" + uri(0);
        } else {
            list.reserve(58 << 20);
            for (int i = 0; i < 6; ++i)
                list += uri(i);
            const QByteArray nowhere = "file:///nowhere/" + QByteArray(100, 'x');
            for (int i = 0; i < 480'000; ++i)
                list += nowhere + QByteArray::number(i) + "\r\n";
        }
        QVERIFY(resetPeakMemory());
        const qint64 before = peakMemoryKb();
        ContentArea *content = shelf.panel->contentArea();
        if (pasted) {
            QGuiApplication::clipboard()->setMimeData(new DroppedMimeData(list));
            shelf.panel->paste();
        } else {
            const DroppedMimeData data(list);
            const QPoint at = content->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(content, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(content, &drop);
            QVERIFY(drop.isAccepted());
        }
        const qint64 grown = peakMemoryKb() - before;
        QGuiApplication::clipboard()->clear();
        list.clear();
        QVERIFY2(grown < 16 * 1024,
                 qPrintable(QStringLiteral("%1 kB more at the peak").arg(grown)));
        shelf.settleWork();
        QCOMPARE(shelf.manager->tempFiles().size(), pasted ? 1 : 5);
        QCOMPARE(content->dropIntake().errorMessage().value_or(QString()),
                 pasted ? QString() : QStringLiteral("Puoi aggiungere solo altri 5 file"));
    }
};

QTEST_MAIN(TestDropIntake)
#include "tst_dropintake.moc"
