// SPDX-License-Identifier: MIT
#include "clipboardfiles.h"
#include "contentarea.h"
#include "droppedmimedata.h"
#include "emptystateview.h"
#include "entrypreviews.h"
#include "filerowview.h"
#include "panelfixture.h"
#include "pendingrowview.h"
#include "previewimage.h"
#include "shelftestenv.h"
#include "theme.h"
#include "urilist.h"

#include <QAbstractButton>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QImageWriter>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QtTest>

namespace fs = std::filesystem;

namespace {
void save(const fs::path &path, const char *format, qint64 mtime = 0)
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::red);
    if (mtime != 0)
        image.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    fs::create_directories(path.parent_path());
    QImageWriter writer(QString::fromStdString(path.native()), format);
    QVERIFY2(writer.write(image), qPrintable(writer.errorString()));
}
} // namespace

class TestCardFiles final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A copy shows no card before the delay, one after it (with no progress
    // to wake the panel: the copy waits its turn), and the card leaves as
    // the entry arrives, or at once with nothing staged when cancelled.
    void cardWaitsThenTurnsIntoTheEntryOrCancels_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("whole") << false;
        QTest::newRow("cancelled") << true;
    }
    void cardWaitsThenTurnsIntoTheEntryOrCancels()
    {
        QFETCH(bool, cancel);
        PanelFixture shelf;
        QSemaphore gate;
        const auto open = qScopeGuard([&] { gate.release(64); });
        for (int i = 0; i < 8; ++i)
            shelf.pool.async([&](const CancelToken &) { gate.acquire(); });
        shelf.manager->addFile(shelf.sample("grande.bin", 1 << 20));
        ContentArea *area = shelf.panel->contentArea();
        QCoreApplication::processEvents();
        QVERIFY(area->pendingRows().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(area->pendingRows().size(), 1, 2000);
        QVERIFY(area->emptyState()->isHidden());
        if (cancel) {
            area->pendingRows().at(0)->cancelButton()->click();
            QVERIFY(area->pendingRows().isEmpty());
        }
        gate.release(8);
        shelf.settleWork();
        QVERIFY(area->pendingRows().isEmpty());
        QCOMPARE(area->rows().size(), cancel ? 0 : 1);
        QCOMPARE(area->emptyState()->isHidden(), !cancel);
        const fs::path staging = shelf.env.staging();
        QCOMPARE(fs::exists(staging) && !fs::is_empty(staging), !cancel);
    }

    void barShowsTheBytesCopied()
    {
        PendingRowView row(
            PendingCopy{1, "grande.bin", 250, 1000, std::chrono::steady_clock::now()});
        row.resize(300, row.sizeHint().height());
        QImage image(row.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        row.render(&image);
        const QRectF bar = row.barRect();
        int accent = 0;
        for (int x = int(bar.left()); x < int(bar.right()); ++x) {
            const QRgb pixel = image.pixel(x, int(bar.center().y())); // the accent blue
            accent += qBlue(pixel) > 200 && qRed(pixel) < 90 && qGreen(pixel) < 170;
        }
        QVERIFY2(std::abs(accent / bar.width() - 0.25) < 0.03,
                 qPrintable(QStringLiteral("%1 of %2 px filled").arg(accent).arg(bar.width())));
        row.show();
        QVERIFY(QTest::qWaitForWindowExposed(&row));
        PaintSpy spy(&row);
        row.setProgress(PendingCopy{1, "grande.bin", 750, 1000, std::chrono::steady_clock::now()});
        QTRY_VERIFY(spy.painted.intersects(bar.toAlignedRect()));
    }

    // A PNG's card shows the picture where the type icon was, until the
    // entry and its preview go.
    void previewTakesTheIconsPlace()
    {
        PanelFixture shelf;
        const fs::path png = shelf.env.root() / "foto.png";
        save(png, "png");
        shelf.manager->addFile(png);
        shelf.settleWork();
        FileRowView *row = shelf.rows().value(0);
        QVERIFY(row != nullptr);
        QTRY_VERIFY(row->showsPreview());
        shelf.panel->show();
        QCoreApplication::processEvents();
        const QRect card = row->contentsRect();
        const QPoint icon(card.left() + int(theme::kRowInsetX + theme::kFileIconFrame.width() / 2),
                          card.center().y());
        const QImage image = shelf.render(2.0);
        const QPoint at = row->mapTo(shelf.panel.get(), icon) * 2;
        QCOMPARE(QColor(image.pixel(at)), QColor(Qt::red));
        const TempFile entry = row->file();
        const EntryPreviews &previews = shelf.panel->contentArea()->previews();
        QVERIFY(!previews.preview(entry.id()).isNull());
        shelf.manager->removeFile(entry);
        shelf.settleWork();
        QVERIFY(previews.preview(entry.id()).isNull());
    }

    void makesABoundedPreviewOrNone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("size"); // 0 x 0: none
        QTest::newRow("JPEG upright by EXIF") << QStringLiteral("jpeg") << QSize(32, 64);
        QTest::newRow("thumbnail cached") << QStringLiteral("thumbnail") << QSize(64, 32);
        QTest::newRow("thumbnail of another version") << QStringLiteral("stale") << QSize(0, 0);
    }
    void makesABoundedPreviewOrNone()
    {
        QFETCH(QString, kind);
        QFETCH(QSize, size);
        ShelfTestEnv env;
        fs::path staged = env.file("staged/picture.png", "\x89PNG garbage");
        if (kind == u"jpeg") {
            save(staged.replace_extension("jpeg"), "jpeg");
            // An EXIF segment first, saying "turn 90 degrees clockwise".
            const QByteArray exif = QByteArray::fromHex(
                "ffe100224578696600004d4d002a00000008000101120003000000010006000000000000");
            const std::string image = readAll(staged);
            std::ofstream(staged) << image.substr(0, 2) + exif.toStdString() + image.substr(2);
        } else {
            // Named by the original's URI as GLib escapes it; valid for the copy's mtime.
            const QByteArray uri =
                "file://" + QByteArray::fromStdString(env.root().native()) + "/in/my%20doc%3B1.png";
            const auto md5 = QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex();
            const QFileInfo copy(QString::fromStdString(staged.native()));
            save(env.root() / "cache/thumbnails/normal" / (md5 + ".png").toStdString(), "png",
                 copy.lastModified().toSecsSinceEpoch() + (kind == u"stale"));
        }
        const QImage preview = PreviewImage::make(staged, env.root() / "in/my doc;1.png", 64, 1.0);
        QCOMPARE(preview.size(), size);
        if (!size.isEmpty()) {
            const QRgb middle = preview.pixel(size.width() / 2, size.height() / 2);
            QVERIFY(qRed(middle) > 240 && qGreen(middle) + qBlue(middle) < 32);
        }
    }

    void readsCopiedFilesAndRefusesTheRest_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArrayList>("files"); // the paths the intake gets
        QTest::addColumn<int>("refused");
        const QString gnome = QStringLiteral("x-special/gnome-copied-files");
        const QString list = QStringLiteral("text/uri-list");
        QTest::newRow("PCManFM, Thunar: a cut is only copied")
            << gnome << QByteArray("cut\nfile:///tmp/a%20b\nfile:///tmp/c") + '\0'
            << QByteArrayList{"/tmp/a b", "/tmp/c"} << 0;
        QTest::newRow("the operation alone")
            << gnome << QByteArray("copy") << QByteArrayList() << 0;
        QTest::newRow("Nautilus, as plain text")
            << QStringLiteral("text/plain")
            << QByteArray("x-special/nautilus-clipboard\ncopy\nfile:///tmp/a\n")
            << QByteArrayList{"/tmp/a"} << 0;
        QTest::newRow("plain text naming a file is no copy")
            << QStringLiteral("text/plain") << QByteArray("file:///tmp/a\n") << QByteArrayList()
            << 0;
        QTest::newRow("uri-list: comment, names not UTF-8, escaped and raw")
            << list << QByteArray("# KDE\r\nfile:///tmp/caf%E9\r\nfile:///tmp/d\xe9j\xe0\r\n")
            << QByteArrayList{"/tmp/caf\xe9", "/tmp/d\xe9j\xe0"} << 0;
        QTest::newRow("remote and other hosts refused")
            << list << QByteArray("https://example.org/a\r\nfile://host/b\r\nfile:///tmp/ok")
            << QByteArrayList{"/tmp/ok"} << 2;
    }
    void readsCopiedFilesAndRefusesTheRest()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArrayList, files);
        QFETCH(int, refused);
        QMimeData plain;
        plain.setData(format, payload);
        DroppedMimeData dropped(payload); // a uri-list exactly as sent
        const auto offered =
            ClipboardFiles::fromClipboard(format == u"text/uri-list" ? dropped : plain);
        const UriList::Files read = UriList::read(offered.uriList(), StashletManager::kLimit);
        QByteArrayList paths;
        for (const fs::path &path : read.paths)
            paths.append(QByteArray::fromStdString(path.native()));
        QCOMPARE(paths, files);
        QCOMPARE(read.refused, refused);
    }

    // The URI forms carry a name's exact bytes. The text form, which may be
    // pasted into a terminal, quotes a name holding a control character or a
    // byte that is not UTF-8 the way a shell reads it back: no second line
    // ever runs, and no byte is replaced.
    void copyTextQuotesWhatATerminalWouldRun_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *title, QByteArray name, const char *text) {
            QTest::newRow(title) << name << QString::fromUtf8(text);
        };
        row("plain, as it is", "nota 1 (copia).txt", "/s/nota 1 (copia).txt");
        row("UTF-8, as it is", "caff\xc3\xa8 \xe2\x82\xac.txt", "/s/caff\xc3\xa8 \xe2\x82\xac.txt");
        row("line feed", "a\nrm -rf ~", R"('/s/a'$'\x0a''rm -rf ~')");
        row("carriage return and escape", "a\r\x1b[2Jb", R"('/s/a'$'\x0d\x1b''[2Jb')");
        row("Latin-1 byte", "caf\xe9.txt", R"('/s/caf'$'\xe9''.txt')");
        row("C1 control in UTF-8",
            "a\xc2\x9b"
            "31m",
            R"('/s/a'$'\xc2\x9b''31m')");
        row("quote beside a control", "it's\x7f", R"('/s/it'\''s'$'\x7f')");
        row("cut UTF-8 sequence", "\xe2\x82", R"('/s/'$'\xe2\x82')");
    }
    void copyTextQuotesWhatATerminalWouldRun()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, text);
        const QByteArray path = "/s/" + name;
        const TempFile file(path.toStdString(), name.toStdString(), QStringLiteral("1 B"));
        const auto data = ClipboardFiles::forCopy({file});
        QCOMPARE(data->text(), text);
        const QByteArray list = data->data(QStringLiteral("text/uri-list"));
        QVERIFY(list.startsWith("file:///s/") && list.endsWith("\r\n"));
        QCOMPARE(QByteArray::fromPercentEncoding(list.mid(7).chopped(2)), path);
        QCOMPARE(data->data(QStringLiteral("x-special/gnome-copied-files")),
                 "copy\n" + list.chopped(2));
        if (!text.startsWith(u'\''))
            return;
        // As a shell reads the quoted text back.
        QProcess bash;
        bash.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"), QStringLiteral("printf %s ") + text});
        QVERIFY(bash.waitForFinished(5000));
        QCOMPARE(bash.readAllStandardOutput(), path);
    }
};

QTEST_MAIN(TestCardFiles)
#include "tst_cardfiles.moc"
