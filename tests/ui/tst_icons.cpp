// SPDX-License-Identifier: MIT
#include "colorscheme.h"
#include "fileicon.h"
#include "glyph.h"
#include "pixels.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

namespace {
// An icon service that knows every file by one solid icon of `size`, or by none.
class FixedIconService final : public QAbstractFileIconProvider {
public:
    explicit FixedIconService(QSize size = QSize())
        : m_size(size)
    {
    }
    QIcon icon(const QFileInfo &) const override
    {
        QPixmap pixmap(m_size);
        pixmap.fill(Qt::red);
        return m_size.isEmpty() ? QIcon() : QIcon(pixmap);
    }

private:
    QSize m_size;
};

QImage drawIcon(QSize frame, const QString &path, const QAbstractFileIconProvider &service)
{
    return paintToImage(frame, [&](QPainter &p) {
        FileIcon::paint(p, QRectF(QPointF(0, 0), frame), path, service, ColorScheme::Light);
    });
}
} // namespace

class TestIcons final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everySymbolHasAGlyphThatFitsItsFrame_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        for (const char *name :
             {"tray.and.arrow.down", "tray.and.arrow.down.fill", "paperclip", "multiply", "xmark",
              "square.and.arrow.down.fill", "doc.fill", "shareplay"}) {
            for (int size : {10, 30}) {
                QTest::addRow("%s at %d", name, size) << QString::fromLatin1(name) << size;
            }
        }
    }
    void everySymbolHasAGlyphThatFitsItsFrame()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        const std::optional<Glyph> glyph = glyphNamed(name);
        QVERIFY(glyph);
        const QRectF frame(5, 5, size, size);
        auto draw = [&](const QBrush &brush) {
            return paintToImage(QSize(size + 10, size + 10),
                                [&](QPainter &p) { paintGlyph(p, *glyph, frame, brush); });
        };
        const QImage black = draw(Qt::black);
        const QRect box = coverage(black);
        // Inside the frame, touching it on at least one axis, centred.
        QVERIFY(frame.toAlignedRect().contains(box));
        QVERIFY(box.width() >= size - 1 || box.height() >= size - 1);
        QVERIFY(qAbs(box.center().x() - (5 + size / 2.0)) <= 1.0);
        QVERIFY(qAbs(box.center().y() - (5 + size / 2.0)) <= 1.0);
        // A mark, not a blot: some of the frame stays empty even at 10 px.
        const int covered = coveredPixels(black);
        QVERIFY(covered > size * size / 8 && covered < box.width() * box.height());
        QCOMPARE(coveredPixels(draw(QLinearGradient(frame.topLeft(), frame.bottomRight()))),
                 covered);
        QVERIFY(!glyphNamed(u"tray.and.arrow.up"));
    }

    void iconFitsFrameWithAspectKept_data()
    {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("icon");
        QTest::addColumn<QRect>("painted");
        QTest::newRow("square") << QSize(32, 32) << QSize(32, 32) << QRect(0, 0, 32, 32);
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
        QCOMPARE(
            coverage(drawIcon(frame, QStringLiteral("/any/file.txt"), FixedIconService(icon)), 127),
            painted);
        // With no icon for the file, a document of the frame's height stands in, centred.
        const QRect box =
            coverage(drawIcon(QSize(32, 32), QStringLiteral("/nowhere"), FixedIconService()), 127);
        QVERIFY(box.top() <= 1 && box.bottom() >= 30 && box.width() < box.height());
        QVERIFY(qAbs((box.left() + box.right()) - 31) <= 1);
    }

    // Run with no desktop named, as on i3, openbox or sway, where Qt's own
    // provider gives every file the style's blank page.
    void typesGetTheirOwnIconsWithoutADesktop()
    {
        QVERIFY(qEnvironmentVariableIsEmpty("XDG_CURRENT_DESKTOP"));
        QTemporaryDir dir;
        QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(dir.filePath(QStringLiteral("a.png"))));
        QFile text(dir.filePath(QStringLiteral("note.txt")));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("some words\n") > 0);
        text.close();
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        const QIcon blank = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        QList<QImage> images{paintToImage(
            QSize(32, 32), [&](QPainter &p) { p.drawPixmap(0, 0, blank.pixmap(32, 32)); })};
        for (const char *name : {"a.png", "note.txt", "folder"}) {
            images.append(drawIcon(QSize(32, 32), dir.filePath(QLatin1String(name)),
                                   FileIcon::desktopProvider()));
        }
        for (int i = 0; i < images.size(); ++i) {
            QVERIFY(coveredPixels(images[i]) > 0);
            for (int j = i + 1; j < images.size(); ++j) {
                QVERIFY2(images[i] != images[j],
                         qPrintable(QStringLiteral("%1 = %2").arg(i).arg(j)));
            }
        }
    }
};

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
