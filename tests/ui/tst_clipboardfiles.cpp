// SPDX-License-Identifier: MIT
#include "clipboardfiles.h"
#include "droppedmimedata.h"
#include "itemprovider.h"

#include <QMimeData>
#include <QtTest>

namespace {
// The paths the intake would stage from a paste, in order.
QByteArrayList stagedPaths(const ClipboardFiles::Paste &paste)
{
    QByteArrayList paths;
    if (paste.files) {
        for (const QByteArray &line :
             paste.files->data(QStringLiteral("text/uri-list")).split('\n')) {
            if (auto path = localFilePath(QUrl::fromEncoded(line.trimmed()))) {
                paths << QByteArray::fromStdString(path->native());
            }
        }
    }
    return paths;
}
} // namespace

class TestClipboardFiles final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsCopiedFilesAndRefusesTheRest_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArrayList>("paths");
        QTest::addColumn<int>("refused");
        const QString gnome = QStringLiteral("x-special/gnome-copied-files");
        const QString uriList = QStringLiteral("text/uri-list");
        QTest::newRow("PCManFM, Thunar, GNOME")
            << gnome << QByteArray("copy\nfile:///tmp/a%20b\nfile:///tmp/c")
            << QByteArrayList{"/tmp/a b", "/tmp/c"} << 0;
        QTest::newRow("a cut is only copied")
            << gnome << QByteArray("cut\nfile:///tmp/a\n") << QByteArrayList{"/tmp/a"} << 0;
        QTest::newRow("Nautilus as plain text")
            << QStringLiteral("text/plain")
            << QByteArray("x-special/nautilus-clipboard\ncopy\nfile:///tmp/a\n")
            << QByteArrayList{"/tmp/a"} << 0;
        QTest::newRow("uri-list: comment, names not UTF-8 escaped and raw")
            << uriList
            << QByteArray("# from KDE\r\nfile:///tmp/caf%E9\r\nfile:///tmp/d\xe9j\xe0\r\n")
            << QByteArrayList{"/tmp/caf\xe9", "/tmp/d\xe9j\xe0"} << 0;
        QTest::newRow("remote and other hosts refused")
            << uriList << QByteArray("https://example.org/a\r\nfile://host/b\r\nfile:///tmp/ok\r\n")
            << QByteArrayList{"/tmp/ok"} << 2;
        QTest::newRow("text that is no file list")
            << QStringLiteral("text/plain") << QByteArray("file:///tmp/a") << QByteArrayList{} << 0;
    }
    void readsCopiedFilesAndRefusesTheRest()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArrayList, paths);
        QFETCH(int, refused);
        QMimeData plain;
        plain.setData(format, payload);
        DroppedMimeData uriList(payload);
        const ClipboardFiles::Paste paste = ClipboardFiles::fromClipboard(
            format == u"text/uri-list" ? static_cast<QMimeData &>(uriList) : plain);
        QCOMPARE(stagedPaths(paste), paths);
        QCOMPARE(paste.files == nullptr, paths.isEmpty());
        QCOMPARE(paste.refused.size(), refused);
    }

    // Ctrl+C on cards: what file managers paste as a copy, and what the shelf's own paste reads.
    void copiesStagedFilesAsFileManagersPasteThem()
    {
        const QList<TempFile> files{TempFile("/stage/a b.txt", "a b.txt", {}),
                                    TempFile("/stage/caf\xe9", "caf\xe9", {})};
        const auto data = ClipboardFiles::forCopy(files);
        QCOMPARE(data->data(QStringLiteral("x-special/gnome-copied-files")),
                 QByteArray("copy\nfile:///stage/a%20b.txt\nfile:///stage/caf%E9"));
        QCOMPARE(data->data(QStringLiteral("text/uri-list")),
                 QByteArray("file:///stage/a%20b.txt\r\nfile:///stage/caf%E9\r\n"));
        QCOMPARE(data->text(), QStringLiteral("/stage/a b.txt\n/stage/caf\ufffd"));
        QCOMPARE(stagedPaths(ClipboardFiles::fromClipboard(*data)),
                 (QByteArrayList{"/stage/a b.txt", "/stage/caf\xe9"}));
    }
};

QTEST_GUILESS_MAIN(TestClipboardFiles)
#include "tst_clipboardfiles.moc"
