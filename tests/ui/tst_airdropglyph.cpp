// SPDX-License-Identifier: MIT
#include "airdroplogoview.h"
#include "airdropsvg.h"
#include "glyph.h"
#include "pixels.h"

#include <QTest>

#include <latch>
#include <thread>

namespace {
// Every clearly painted pixel shows `colour`, whatever its coverage.
void expectOnlyColour(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = qUnpremultiply(image.pixel(x, y));
            if (qAlpha(pixel) < 32)
                continue; // antialiased edges round too coarsely to judge
            QVERIFY2(
                qAbs(qRed(pixel) - colour.red()) <= 8 &&
                    qAbs(qGreen(pixel) - colour.green()) <= 8 &&
                    qAbs(qBlue(pixel) - colour.blue()) <= 8,
                qPrintable(QStringLiteral("pixel %1,%2 = %3").arg(x).arg(y).arg(pixel, 8, 16)));
        }
    }
}
} // namespace

class TestAirDropGlyph final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstReadFromTwoThreadsMakesOneImage()
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

    void paintsCoverageInAnyColour_data()
    {
        QTest::addColumn<QByteArray>("svg");
        QTest::newRow("our glyph") << AirDropSVG::rawSVG().toByteArray();
        QTest::newRow("a drawing that names red") << QByteArray(
            "<svg version=\"1.1\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 10 10\">"
            "<path fill=\"#ff0000\" d=\"M2,2C4,2 8,4 8,8C6,8 2,6 2,2\"/></svg>");
    }

    void paintsCoverageInAnyColour()
    {
        QFETCH(QByteArray, svg);
        const std::optional<QImage> mask = AirDropSVG::makeTemplate(svg);
        QVERIFY(mask);
        const QColor blue(0, 122, 255);
        const QColor orange(255, 149, 0);
        const QRectF frame(0, 0, 56, 52);
        auto draw = [&](const QColor &c) {
            return paintToImage(QSize(56, 52),
                                [&](QPainter &p) { AirDropSVG::paint(p, frame, c, &*mask); });
        };
        const QImage inBlue = draw(blue);
        const QImage inOrange = draw(orange);
        QVERIFY(coveredPixels(inBlue) > 56 * 52 / 10);
        for (int y = 0; y < 52; ++y) {
            for (int x = 0; x < 56; ++x)
                QCOMPARE(qAlpha(inBlue.pixel(x, y)), qAlpha(inOrange.pixel(x, y)));
        }
        expectOnlyColour(inBlue, blue);
        expectOnlyColour(inOrange, orange);
    }

    void undecodableSvgGivesNoImage_data()
    {
        QTest::addColumn<QByteArray>("svg");
        QTest::newRow("not svg") << QByteArray("this is not a drawing");
        QTest::newRow("not utf-8")
            << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\">\xff\xfe</svg>");
        QTest::newRow("empty") << QByteArray();
    }

    void undecodableSvgGivesNoImage()
    {
        QFETCH(QByteArray, svg);
        QVERIFY(!AirDropSVG::makeTemplate(svg));
    }

    void withoutImageShowsSharingGlyphInColour()
    {
        const QColor red(255, 59, 48);
        const QImage fallback = paintToImage(QSize(40, 40), [&](QPainter &p) {
            AirDropSVG::paint(p, QRectF(0, 0, 40, 40), red, nullptr);
        });
        const QImage sharing = paintToImage(QSize(40, 40), [&](QPainter &p) {
            paintGlyph(p, Glyph::SharePlay, QRectF(13.5, 13.5, 13, 13), red);
        });
        QCOMPARE(fallback, sharing);
        // Not stretched to the frame: it keeps a symbol's size, centred.
        const QRect box = coverage(fallback);
        QVERIFY(box.width() <= 14 && box.height() <= 14);
        QVERIFY(qAbs(box.center().x() - 20) <= 1);
        expectOnlyColour(fallback, red);
    }
};

QTEST_MAIN(TestAirDropGlyph)
#include "tst_airdropglyph.moc"
