// SPDX-License-Identifier: MIT
#include "colorscheme.h"
#include "fileiconview.h"
#include "pixels.h"
#include "schemepalette.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

namespace {
// An icon service that knows every file by one solid square-or-not icon.
class FixedIconService final : public QAbstractFileIconProvider {
public:
    explicit FixedIconService(QSize size)
        : m_size(size)
    {
    }
    QIcon icon(const QFileInfo &) const override
    {
        QPixmap pixmap(m_size);
        pixmap.fill(Qt::red);
        return QIcon(pixmap);
    }

private:
    QSize m_size;
};

// The desktop has no icon for the file.
class IconServiceWithNoIcon final : public QAbstractFileIconProvider {
public:
    QIcon icon(const QFileInfo &) const override { return QIcon(); }
};
} // namespace

class TestFileIconView final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void iconFitsFrameWithAspectKept_data()
    {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("icon");
        QTest::addColumn<QRect>("painted");
        QTest::newRow("square in the row's 32 frame")
            << QSize(32, 32) << QSize(32, 32) << QRect(0, 0, 32, 32);
        QTest::newRow("small icon grows") << QSize(32, 32) << QSize(16, 16) << QRect(0, 0, 32, 32);
        QTest::newRow("wide icon, letterboxed")
            << QSize(32, 32) << QSize(64, 32) << QRect(0, 8, 32, 16);
        QTest::newRow("wide frame, pillarboxed")
            << QSize(48, 32) << QSize(32, 32) << QRect(8, 0, 32, 32);
        QTest::newRow("tall frame") << QSize(20, 40) << QSize(32, 32) << QRect(0, 10, 20, 20);
    }

    void iconFitsFrameWithAspectKept()
    {
        QFETCH(QSize, frame);
        QFETCH(QSize, icon);
        QFETCH(QRect, painted);
        const FixedIconService service(icon);
        const QImage image = paintToImage(frame, [&](QPainter &p) {
            FileIcon::paint(p, QRectF(QPointF(0, 0), frame), QStringLiteral("/any/file.txt"),
                            service, ColorScheme::Light);
        });
        QCOMPARE(coverage(image, 127), painted);
    }

    void missingIconShowsBlueDocumentInItsPlace_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<QColor>("blue");
        QTest::newRow("light") << schemePalette(ColorScheme::Light) << QColor(0, 122, 255);
        QTest::newRow("dark") << schemePalette(ColorScheme::Dark) << QColor(10, 132, 255);
    }

    void missingIconShowsBlueDocumentInItsPlace()
    {
        QFETCH(QPalette, palette);
        QFETCH(QColor, blue);
        const IconServiceWithNoIcon service;
        FileIconView view(QStringLiteral("/nowhere/at/all"), nullptr, &service);
        view.setPalette(palette);
        view.resize(32, 32);
        const QImage image = view.grab().toImage();
        // Full height, as an icon of the frame's height would be, and centred.
        const QRect box = coverage(image, 127);
        QVERIFY(box.top() <= 1 && box.bottom() >= 30);
        QVERIFY(box.width() < box.height());
        QVERIFY(qAbs((box.left() + box.right()) - 31) <= 1);
        const QColor centre = image.pixelColor(16, 20);
        QCOMPARE(centre.rgb(), blue.rgb());
    }

    // Run with no desktop named, as on i3, openbox or sway, where Qt's own
    // provider gives every file the style's blank page.
    void typesGetTheirOwnIconsWithoutADesktop()
    {
        QVERIFY(qEnvironmentVariableIsEmpty("XDG_CURRENT_DESKTOP"));
        QTemporaryDir dir;
        QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(dir.filePath(QStringLiteral("a.png"))));
        QFile text(dir.filePath(QStringLiteral("note.txt")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("some words\n");
        text.close();
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));

        const auto draw = [](const QString &path) {
            return paintToImage(QSize(32, 32), [&](QPainter &p) {
                FileIcon::paint(p, QRectF(0, 0, 32, 32), path, FileIcon::desktopProvider(),
                                ColorScheme::Light);
            });
        };
        const QIcon blank = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        QList<QImage> images{paintToImage(
            QSize(32, 32), [&](QPainter &p) { p.drawPixmap(0, 0, blank.pixmap(32, 32)); })};
        for (const char *name : {"a.png", "note.txt", "folder"})
            images.append(draw(dir.filePath(QLatin1String(name))));
        for (int i = 0; i < images.size(); ++i) {
            QVERIFY(coveredPixels(images[i]) > 0);
            for (int j = i + 1; j < images.size(); ++j)
                QVERIFY2(images[i] != images[j],
                         qPrintable(QStringLiteral("%1 = %2").arg(i).arg(j)));
        }
    }
};

QTEST_MAIN(TestFileIconView)
#include "tst_fileiconview.moc"
