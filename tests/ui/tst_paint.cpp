// SPDX-License-Identifier: MIT
#include "airdropsvg.h"
#include "colorscheme.h"
#include "fileicon.h"
#include "glyph.h"
#include "snappybutton.h"
#include "ticker.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QPainter>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <latch>
#include <thread>

namespace {

QImage paintToImage(QSize size, const std::function<void(QPainter &)> &draw)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    draw(painter);
    return image;
}

// The smallest rectangle holding every pixel more opaque than `minAlpha`.
QRect coverage(const QImage &image, int minAlpha = 0)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > minAlpha)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

int coveredPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0;
    }
    return count;
}

// Every clearly painted pixel shows `colour`; antialiased edges round too
// coarsely to judge.
void expectOnlyColour(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = qUnpremultiply(image.pixel(x, y));
            QVERIFY2(qAlpha(pixel) < 32 || (qAbs(qRed(pixel) - colour.red()) <= 8 &&
                                            qAbs(qGreen(pixel) - colour.green()) <= 8 &&
                                            qAbs(qBlue(pixel) - colour.blue()) <= 8),
                     qPrintable(QStringLiteral("%1,%2 = %3").arg(x).arg(y).arg(pixel, 8, 16)));
        }
    }
}

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

class TestPaint final : public QObject {
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
        QTest::addColumn<QSize>("icon"); // empty: the service knows no icon
        QTest::addColumn<QRect>("painted");
        QTest::newRow("square") << QSize(32, 32) << QSize(32, 32) << QRect(0, 0, 32, 32);
        QTest::newRow("small icon grows") << QSize(32, 32) << QSize(16, 16) << QRect(0, 0, 32, 32);
        QTest::newRow("wide icon, letterboxed")
            << QSize(32, 32) << QSize(64, 32) << QRect(0, 8, 32, 16);
        QTest::newRow("wide frame, pillarboxed")
            << QSize(48, 32) << QSize(32, 32) << QRect(8, 0, 32, 32);
        QTest::newRow("tall frame") << QSize(20, 40) << QSize(32, 32) << QRect(0, 10, 20, 20);
        QTest::newRow("no icon: a document of the frame's height, centred")
            << QSize(32, 32) << QSize() << QRect();
    }
    void iconFitsFrameWithAspectKept()
    {
        QFETCH(QSize, frame);
        QFETCH(QSize, icon);
        QFETCH(QRect, painted);
        const QRect box =
            coverage(drawIcon(frame, QStringLiteral("/any/file.txt"), FixedIconService(icon)), 127);
        if (painted.isNull()) {
            QVERIFY(box.top() <= 1 && box.bottom() >= 30 && box.width() < box.height());
            QVERIFY(qAbs((box.left() + box.right()) - 31) <= 1);
        } else {
            QCOMPARE(box, painted);
        }
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

    void shareTemplateIsMadeOnceForAllThreads()
    {
        std::latch start(2);
        const QImage *seen[2] = {nullptr, nullptr};
        auto read = [&](int i) {
            start.arrive_and_wait();
            seen[i] = AirDropSVG::templateImage();
        };
        std::thread a(read, 0);
        std::thread b(read, 1);
        a.join();
        b.join();
        QVERIFY(seen[0]);
        QCOMPARE(seen[0], seen[1]);
        QCOMPARE(AirDropSVG::templateImage(), seen[0]);
    }

    // With no template the share glyph stands in, a symbol's size, centred.
    void shareTemplatePaintsCoverageInAnyColour_data()
    {
        QTest::addColumn<QByteArray>("svg");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("our glyph") << AirDropSVG::rawSVG().toByteArray() << true;
        QTest::newRow("a drawing that names red")
            << QByteArray("<svg version=\"1.1\" xmlns=\"http://www.w3.org/2000/svg\" "
                          "viewBox=\"0 0 10 10\"><path fill=\"#ff0000\" "
                          "d=\"M2,2C4,2 8,4 8,8C6,8 2,6 2,2\"/></svg>")
            << true;
        QTest::newRow("not svg") << QByteArray("this is not a drawing") << false;
        QTest::newRow("not utf-8")
            << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 10 10\">"
                          "<!-- \xff\xfe --><path d=\"M2,2L8,8L2,8Z\"/></svg>")
            << false;
    }
    void shareTemplatePaintsCoverageInAnyColour()
    {
        QFETCH(QByteArray, svg);
        QFETCH(bool, decodes);
        const std::optional<QImage> mask = AirDropSVG::makeTemplate(svg);
        QCOMPARE(bool(mask), decodes);
        const QSize size = mask ? QSize(56, 52) : QSize(40, 40);
        auto draw = [&](const QColor &c) {
            return paintToImage(size, [&](QPainter &p) {
                AirDropSVG::paint(p, QRectF(QPointF(), size), c, mask ? &*mask : nullptr);
            });
        };
        const QColor blue(0, 122, 255);
        const QColor orange(255, 149, 0);
        const QImage inBlue = draw(blue);
        const QImage inOrange = draw(orange);
        expectOnlyColour(inBlue, blue);
        expectOnlyColour(inOrange, orange);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x)
                QCOMPARE(qAlpha(inBlue.pixel(x, y)), qAlpha(inOrange.pixel(x, y)));
        }
        if (mask) {
            const int covered = coveredPixels(inBlue);
            QVERIFY2(covered > 56 * 52 / 10 && covered < 56 * 52 * 9 / 10,
                     qPrintable(QString::number(covered)));
            return;
        }
        const QImage sharing = paintToImage(size, [&](QPainter &p) {
            paintGlyph(p, Glyph::SharePlay, QRectF(13.5, 13.5, 13, 13), blue);
        });
        QCOMPARE(inBlue, sharing);
    }

    // A press shrinks and fades only the drawn label, moving no widget,
    // until released; the keyboard clicks the button too.
    void buttonPressesOnlyItsLabel()
    {
        Ticker ticker;
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *button = new SnappyButton(&window, &ticker);
        auto *neighbour = new SnappyButton(&window, &ticker);
        for (SnappyButton *each : {button, neighbour}) {
            each->setLabelSize(QSize(40, 20));
            layout->addWidget(each);
        }
        layout->addStretch();
        // A label that fills the whole button, so what the press does is visible.
        button->setLabelPainter(
            [](QPainter &p, const QRectF &frame) { p.fillRect(frame, Qt::black); });
        window.resize(200, 20);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage atRest = button->grab().toImage();
        QCOMPARE(coverage(atRest), QRect(0, 0, 40, 20));
        const QList<QRect> geometry{button->geometry(), neighbour->geometry()};
        const QSize hint = button->sizeHint();
        bool moved = false;
        const auto runFor = [&](double seconds) {
            for (double t = 0.0; t < seconds; t += 0.002) {
                ticker.advance(0.002);
                QCoreApplication::processEvents();
                moved = moved || button->sizeHint() != hint ||
                        geometry != QList<QRect>{button->geometry(), neighbour->geometry()};
            }
        };
        QTest::mousePress(button, Qt::LeftButton);
        runFor(2.0);
        const QImage pressed = button->grab().toImage();
        // 0.9 of 40 x 20 about the centre: 36 x 18 from (2, 1), at 0.75 opacity.
        QCOMPARE(coverage(pressed, 128), QRect(2, 1, 36, 18));
        QVERIFY(qAbs(qAlpha(pressed.pixel(20, 10)) - 191) <= 1);
        QTest::mouseRelease(button, Qt::LeftButton);
        runFor(1.0);
        QCOMPARE(button->grab().toImage(), atRest);
        QCOMPARE(neighbour->labelScale(), 1.0);
        QVERIFY(!moved);

        QVERIFY(button->focusPolicy() & Qt::TabFocus);
        button->setFocus();
        for (const int key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
            QSignalSpy clicks(button, &QAbstractButton::clicked);
            QSignalSpy presses(button, &QAbstractButton::pressed);
            QTest::keyClick(button, Qt::Key(key));
            QTRY_VERIFY2(clicks.count() == 1 && presses.count() == 1,
                         qPrintable(QString::number(key, 16)));
        }
    }
};

QTEST_MAIN(TestPaint)
#include "tst_paint.moc"
