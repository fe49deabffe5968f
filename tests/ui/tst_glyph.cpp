// SPDX-License-Identifier: MIT
#include "glyph.h"
#include "pixels.h"

#include <QTest>

Q_DECLARE_METATYPE(Glyph)

class TestGlyph final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everySymbolHasAGlyphThatFitsItsFrame_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        const char *names[] = {"tray.and.arrow.down",
                               "tray.and.arrow.down.fill",
                               "paperclip",
                               "multiply",
                               "xmark",
                               "square.and.arrow.down.fill",
                               "doc.fill",
                               "shareplay"};
        for (const char *name : names) {
            for (int size : {10, 30})
                QTest::addRow("%s at %d", name, size) << QString::fromLatin1(name) << size;
        }
    }

    void everySymbolHasAGlyphThatFitsItsFrame()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        const std::optional<Glyph> glyph = glyphNamed(name);
        QVERIFY(glyph);
        const QSize canvas(size + 10, size + 10);
        const QRectF frame(5, 5, size, size);
        auto draw = [&](const QBrush &brush) {
            return paintToImage(canvas, [&](QPainter &p) { paintGlyph(p, *glyph, frame, brush); });
        };
        const QImage black = draw(Qt::black);
        const QImage gradient = draw(QLinearGradient(frame.topLeft(), frame.bottomRight()));
        const QRect box = coverage(black);
        // Inside the frame, touching it on at least one axis, centred.
        QVERIFY(frame.toAlignedRect().contains(box));
        QVERIFY(box.width() >= size - 1 || box.height() >= size - 1);
        QVERIFY(qAbs(box.center().x() - (5 + size / 2.0)) <= 1.0);
        QVERIFY(qAbs(box.center().y() - (5 + size / 2.0)) <= 1.0);
        // A mark, not a blot: some of the frame stays empty even at 10 px.
        const int covered = coveredPixels(black);
        QVERIFY(covered > size * size / 8);
        QVERIFY(covered < box.width() * box.height());
        QCOMPARE(coveredPixels(gradient), covered);
    }

    void unknownSymbolHasNoGlyph()
    {
        QVERIFY(!glyphNamed(u"tray.and.arrow.up"));
        QVERIFY(!glyphNamed(u""));
    }
};

QTEST_MAIN(TestGlyph)
#include "tst_glyph.moc"
