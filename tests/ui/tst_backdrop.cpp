// SPDX-License-Identifier: MIT
#include "colorscheme.h"
#include "visualeffectview.h"

#include <QPalette>
#include <QTest>

namespace {
QPalette paletteOf(QColor window, QColor text)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}
} // namespace

class TestBackdrop final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void schemeFollowsPalette_data()
    {
        QTest::addColumn<QColor>("window");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<ColorScheme>("scheme");
        QTest::newRow("light desktop")
            << QColor(239, 240, 241) << QColor(35, 38, 41) << ColorScheme::Light;
        QTest::newRow("dark desktop")
            << QColor(42, 46, 50) << QColor(252, 252, 252) << ColorScheme::Dark;
        QTest::newRow("deep blue window, white text")
            << QColor(0, 0, 255) << QColor(Qt::white) << ColorScheme::Dark;
        QTest::newRow("yellow window, black text")
            << QColor(255, 255, 0) << QColor(Qt::black) << ColorScheme::Light;
        QTest::newRow("no contrast")
            << QColor(128, 128, 128) << QColor(128, 128, 128) << ColorScheme::Light;
    }

    void schemeFollowsPalette()
    {
        QFETCH(QColor, window);
        QFETCH(QColor, text);
        QFETCH(ColorScheme, scheme);
        QCOMPARE(colorSchemeOf(paletteOf(window, text)), scheme);
    }

    void withoutCompositorMaterialIsOpaque_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<QColor>("tint");
        QTest::newRow("light") << paletteOf(QColor(240, 240, 240), Qt::black)
                               << QColor(246, 246, 246);
        QTest::newRow("dark") << paletteOf(QColor(30, 30, 30), Qt::white) << QColor(38, 38, 40);
    }

    void withoutCompositorMaterialIsOpaque()
    {
        QFETCH(QPalette, palette);
        QFETCH(QColor, tint);
        // The offscreen platform has no compositor, as a bare X server has none.
        VisualEffectView view;
        view.setPalette(palette);
        view.resize(40, 30);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(!view.isTranslucent());
        const QImage image = view.grab().toImage();
        QCOMPARE(image.pixelColor(0, 0), tint);
        QCOMPARE(image.pixelColor(39, 29), tint);
    }
};

QTEST_MAIN(TestBackdrop)
#include "tst_backdrop.moc"
