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

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
// A red picture of 200 x 100: true colour, or a 1-bit palette as ImageMagick
// writes a solid colour; `texts` are its keys (a thumbnail's Thumb::*).
void save(const fs::path &path, const char *format, const QMap<QString, QString> &texts = {},
          bool palette = false)
{
    QImage image(200, 100, palette ? QImage::Format_Mono : QImage::Format_RGB32);
    if (palette) {
        image.setColorTable({qRgb(255, 0, 0), qRgb(255, 255, 255)});
        image.fill(0);
    } else {
        image.fill(Qt::red);
    }
    for (auto key = texts.cbegin(); key != texts.cend(); ++key)
        image.setText(key.key(), key.value());
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

    // A PNG's card shows the picture where the type icon was, casting the
    // icon's shadow on the card, until the entry and its preview go.
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
        // At twice the preview's own scale, as on a second, sharper screen.
        QImage image(row->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::white);
        row->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        QRect seen;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                seen |= image.pixel(x, y) == qRgb(255, 0, 0) ? QRect(x, y, 1, 1) : QRect();
        }
        QVERIFY(seen.contains(icon * 2));
        const int below = qGray(image.pixel(icon.x() * 2, seen.bottom() + 2));
        const int clear = qGray(image.pixel(icon.x() * 2, seen.bottom() + 12));
        QVERIFY2(below < clear - 3,
                 qPrintable(QStringLiteral("%1 against %2").arg(below).arg(clear)));
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
        QTest::newRow("1-bit palette in its colour") << QStringLiteral("palette") << QSize(64, 32);
        QTest::newRow("thumbnail cached") << QStringLiteral("thumbnail") << QSize(64, 32);
        QTest::newRow("thumbnail without a size") << QStringLiteral("no size") << QSize(64, 32);
        QTest::newRow("thumbnail of another version") << QStringLiteral("stale") << QSize(0, 0);
        // Made for an earlier file of the same name and time.
        QTest::newRow("thumbnail of another size") << QStringLiteral("resized") << QSize(0, 0);
        QTest::newRow("thumbnail naming another file") << QStringLiteral("other") << QSize(0, 0);
        QTest::newRow("thumbnail naming no file") << QStringLiteral("no uri") << QSize(0, 0);
        QTest::newRow("thumbnail that is a FIFO") << QStringLiteral("fifo") << QSize(0, 0);
        QTest::newRow("thumbnail that is a device") << QStringLiteral("device") << QSize(0, 0);
        QTest::newRow("thumbnail naming the file escaped otherwise")
            << QStringLiteral("escaped") << QSize(64, 32);
    }
    void makesABoundedPreviewOrNone()
    {
        QFETCH(QString, kind);
        QFETCH(QSize, size);
        ShelfTestEnv env;
        fs::path staged = env.file("staged/picture.png", "\x89PNG garbage");
        const fs::path original = env.root() / "in/my doc;1.png";
        // Where the desktop's cache keeps its normal-sized thumbnail.
        const auto md5 =
            QCryptographicHash::hash(PreviewImage::thumbnailUri(original), QCryptographicHash::Md5);
        const fs::path thumbnail =
            env.root() / "cache/thumbnails/normal" / (md5.toHex() + ".png").toStdString();
        std::atomic_int released = 0;
        std::thread writer;
        const auto join = qScopeGuard([&] {
            if (writer.joinable())
                writer.join();
        });
        if (kind == u"jpeg") {
            save(staged.replace_extension("jpeg"), "jpeg");
            // An EXIF segment first, saying "turn 90 degrees clockwise".
            const QByteArray exif = QByteArray::fromHex(
                "ffe100224578696600004d4d002a00000008000101120003000000010006000000000000");
            const std::string image = readAll(staged);
            std::ofstream(staged) << image.substr(0, 2) + exif.toStdString() + image.substr(2);
        } else if (kind == u"palette") {
            save(staged, "png", {}, true);
        } else if (kind == u"fifo") {
            fs::create_directories(thumbnail.parent_path());
            QCOMPARE(::mkfifo(thumbnail.c_str(), 0600), 0);
            // Lets a reader blocked in open() go (opening for writing, which
            // only succeeds while one waits), so that a failure is an
            // assertion, not a test that never ends.
            writer = std::thread([&] {
                for (int i = 0; i < 20 && released == 0; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    const int fd = ::open(thumbnail.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                    if (fd >= 0) {
                        released = 1;
                        ::close(fd);
                    }
                }
            });
        } else if (kind == u"device") {
            fs::create_directories(thumbnail.parent_path());
            fs::create_symlink("/dev/zero", thumbnail);
        } else {
            // Named by the original's URI as GLib escapes it; valid for the copy's mtime and size.
            const QByteArray uri =
                "file://" + QByteArray::fromStdString(env.root().native()) + "/in/my%20doc%3B1.png";
            QCOMPARE(PreviewImage::thumbnailUri(original), uri);
            const QFileInfo copy(QString::fromStdString(staged.native()));
            QMap<QString, QString> texts{
                {QStringLiteral("Thumb::URI"), QString::fromLatin1(uri)},
                {QStringLiteral("Thumb::MTime"),
                 QString::number(copy.lastModified().toSecsSinceEpoch() + (kind == u"stale"))},
                {QStringLiteral("Thumb::Size"),
                 QString::number(copy.size() + (kind == u"resized"))},
            };
            if (kind == u"no size")
                texts.remove(QStringLiteral("Thumb::Size"));
            if (kind == u"no uri")
                texts.remove(QStringLiteral("Thumb::URI"));
            if (kind == u"escaped")
                texts[QStringLiteral("Thumb::URI")] =
                    QString::fromLatin1(uri).replace(QStringLiteral("%3B"), QStringLiteral("%3b"));
            if (kind == u"other")
                texts[QStringLiteral("Thumb::URI")] = QString::fromLatin1(uri).replace(u'1', u'2');
            save(thumbnail, "png", texts);
        }
        const QImage preview = PreviewImage::make(staged, original, 64, 1.0);
        QCOMPARE(released.load(), 0);
        QCOMPARE(preview.size(), size);
        if (!size.isEmpty()) {
            const QRgb middle = preview.pixel(size.width() / 2, size.height() / 2);
            QVERIFY2(qRed(middle) > 240 && qGreen(middle) + qBlue(middle) < 32,
                     qPrintable(QColor(middle).name()));
        }
    }

    // Whatever the clipboard offers, its formats are asked once and one of
    // them read once: a stalled owner costs one wait, not one per format.
    void readsCopiedFilesAndRefusesTheRest_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArrayList>("files"); // the paths the intake gets
        QTest::addColumn<int>("reads");
        const QString gnome = QStringLiteral("x-special/gnome-copied-files");
        QTest::newRow("PCManFM, Thunar: a cut is only copied")
            << gnome << QByteArray("cut\nfile:///tmp/a%20b\nfile:///tmp/c") + '\0'
            << QByteArrayList{"/tmp/a b", "/tmp/c"} << 1;
        QTest::newRow("the operation alone")
            << gnome << QByteArray("copy") << QByteArrayList() << 1;
        QTest::newRow("Nautilus, as plain text")
            << QStringLiteral("text/plain")
            << QByteArray("x-special/nautilus-clipboard\ncopy\nfile:///tmp/a\n")
            << QByteArrayList{"/tmp/a"} << 1;
        QTest::newRow("plain text naming a file is no copy")
            << QStringLiteral("text/plain") << QByteArray("file:///tmp/a\n") << QByteArrayList()
            << 1;
        QTest::newRow("uri-list: comment, names not UTF-8, escaped and raw")
            << QStringLiteral("text/uri-list")
            << QByteArray("# KDE\r\nfile:///tmp/caf%E9\r\nfile:///tmp/d\xe9j\xe0\r\n")
            << QByteArrayList{"/tmp/caf\xe9", "/tmp/d\xe9j\xe0"} << 1;
        QTest::newRow("KDE 4") << QStringLiteral("application/x-kde4-urilist")
                               << QByteArray("file:///tmp/a\r\n") << QByteArrayList{"/tmp/a"} << 1;
        QTest::newRow("an image") << QStringLiteral("image/png") << QByteArray("file:///tmp/a")
                                  << QByteArrayList() << 0;
    }
    void readsCopiedFilesAndRefusesTheRest()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArrayList, files);
        QFETCH(int, reads);
        const DroppedMimeData offered(payload, format);
        QByteArrayList paths;
        for (const fs::path &path : UriList::read(ClipboardFiles::fromClipboard(offered).uriList(),
                                                  StashletManager::kLimit)
                                        .paths)
            paths.append(QByteArray::fromStdString(path.native()));
        QCOMPARE(paths, files);
        QCOMPARE(offered.formatsAsked, 1);
        QCOMPARE(offered.dataRead, reads);
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
        QProcess bash;
        bash.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"), QStringLiteral("printf %s ") + text});
        QVERIFY(bash.waitForFinished(5000));
        QCOMPARE(bash.readAllStandardOutput(), path);
    }
};

QTEST_MAIN(TestCardFiles)
#include "tst_cardfiles.moc"
