// SPDX-License-Identifier: MIT
#include "entrypreviews.h"
#include "previewimage.h"
#include "shelftestenv.h"

#include <QCryptographicHash>
#include <QImageWriter>
#include <QSignalSpy>
#include <QtTest>

namespace fs = std::filesystem;

namespace {
void save(const QImage &image, const fs::path &path, const char *format,
          QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone,
          const QString &mtime = {})
{
    fs::create_directories(path.parent_path());
    QImageWriter writer(QString::fromStdString(path.native()), format);
    writer.setTransformation(turn);
    QImage copy = image;
    if (!mtime.isEmpty()) {
        // QImageWriter::setText() would cut the key at its first ':'.
        copy.setText(QStringLiteral("Thumb::MTime"), mtime);
    }
    QVERIFY2(writer.write(copy), qPrintable(writer.errorString()));
}

QImage filled(int width, int height, Qt::GlobalColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}
} // namespace

class TestPreviewImage final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void makesABoundedPreviewOrNone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QSize>("size"); // empty: no preview
        QTest::newRow("PNG at 1x") << QStringLiteral("png") << 1.0 << QSize(64, 32);
        QTest::newRow("PNG at 2x") << QStringLiteral("png") << 2.0 << QSize(128, 64);
        QTest::newRow("JPEG turned upright by EXIF")
            << QStringLiteral("jpeg") << 1.0 << QSize(32, 64);
        QTest::newRow("cached thumbnail of the original")
            << QStringLiteral("thumbnail") << 1.0 << QSize(64, 64);
        QTest::newRow("thumbnail of another version")
            << QStringLiteral("stale thumbnail") << 1.0 << QSize(0, 0);
        QTest::newRow("header claiming 100000 px a side")
            << QStringLiteral("huge") << 1.0 << QSize(0, 0);
        QTest::newRow("garbage named .png") << QStringLiteral("garbage") << 1.0 << QSize(0, 0);
    }
    void makesABoundedPreviewOrNone()
    {
        QFETCH(QString, kind);
        QFETCH(qreal, ratio);
        QFETCH(QSize, size);
        ShelfTestEnv env;
        fs::path staged = env.root() / "staged/picture.png";
        // GLib escapes the space and the ';' in the cache's name for it.
        const fs::path original = env.root() / "in/my doc;1.odt";
        if (kind == QLatin1String("png")) {
            save(filled(200, 100, Qt::red), staged, "png");
        } else if (kind == QLatin1String("jpeg")) {
            staged = staged.replace_extension(".jpg");
            save(filled(200, 100, Qt::red), staged, "jpeg",
                 QImageIOHandler::TransformationRotate90);
        } else if (kind.endsWith(QLatin1String("thumbnail"))) {
            staged = env.file("staged/my doc;1.odt", "not a picture");
            const auto mtime = std::chrono::file_clock::to_sys(fs::last_write_time(staged));
            const qint64 seconds =
                std::chrono::floor<std::chrono::seconds>(mtime).time_since_epoch().count() +
                (kind.startsWith(QLatin1String("stale")) ? 1 : 0);
            const QByteArray uri =
                "file://" + QByteArray::fromStdString(env.root().native()) + "/in/my%20doc%3B1.odt";
            const auto md5 = QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex();
            save(filled(128, 128, Qt::red),
                 env.root() / "cache/thumbnails/normal" / (md5 + ".png").toStdString(), "png", {},
                 QString::number(seconds));
        } else if (kind == QLatin1String("huge")) {
            staged = staged.replace_extension(".bmp");
            save(filled(2, 2, Qt::red), staged, "bmp");
            std::fstream bmp(staged, std::ios::in | std::ios::out | std::ios::binary);
            const std::int32_t side = 100'000; // BITMAPINFOHEADER width and height
            bmp.seekp(18)
                .write(reinterpret_cast<const char *>(&side), 4)
                .write(reinterpret_cast<const char *>(&side), 4);
        } else {
            staged = env.file("staged/picture.png", "\x89PNG garbage");
        }

        const QImage preview = PreviewImage::make(staged, original, 64, ratio);
        QCOMPARE(preview.size(), size);
        if (!size.isEmpty()) {
            QCOMPARE(preview.devicePixelRatio(), ratio);
            QCOMPARE(qRed(preview.pixel(size.width() / 2, size.height() / 2)) > 200, true);
        }
    }

    // Made on the pool for each entry listed, delivered on the main thread,
    // gone with its entry.
    void keptWithItsEntryOnly()
    {
        TestShelf shelf;
        save(filled(10, 10, Qt::blue), shelf.env.root() / "in/dot.png", "png");
        shelf.add(shelf.env.root() / "in/dot.png");
        EntryPreviews previews(*shelf.manager, shelf.pool);
        QSignalSpy ready(&previews, &EntryPreviews::previewReady);
        const QUuid id = shelf.manager->tempFiles().at(0).id();
        QTRY_COMPARE(ready.count(), 1);
        QCOMPARE(ready.at(0).at(0).value<QUuid>(), id);
        QCOMPARE(previews.preview(id).pixel(5, 5), QColor(Qt::blue).rgb());

        shelf.manager->removeFile(shelf.manager->tempFiles().at(0));
        settle(shelf.pool);
        QVERIFY(previews.preview(id).isNull());
    }
};

QTEST_MAIN(TestPreviewImage)
#include "tst_previewimage.moc"
