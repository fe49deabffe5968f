// SPDX-License-Identifier: MIT
#include "colorscheme.h"
#include "panelfixture.h"
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

    // Over sharp windows a translucent tint lets their text read through;
    // only a compositor that blurs on request earns the see-through one.
    void backdropIsOpaqueUnlessBlurIsConfirmed_data()
    {
        QTest::addColumn<ColorScheme>("scheme");
        QTest::addColumn<bool>("compositing");
        QTest::addColumn<bool>("blur");
        QTest::addColumn<QColor>("backdrop");
        QTest::addColumn<bool>("rounded");
        QTest::newRow("no compositor, light")
            << ColorScheme::Light << false << false << QColor(246, 246, 246) << false;
        QTest::newRow("compositor without blur, light")
            << ColorScheme::Light << true << false << QColor(246, 246, 246) << true;
        QTest::newRow("compositor without blur, dark")
            << ColorScheme::Dark << true << false << QColor(38, 38, 40) << true;
        QTest::newRow("KWin's blur, dark")
            << ColorScheme::Dark << true << true << QColor(38, 38, 40, 199) << true;
    }

    void backdropIsOpaqueUnlessBlurIsConfirmed()
    {
        QFETCH(ColorScheme, scheme);
        QFETCH(bool, compositing);
        QFETCH(bool, blur);
        QFETCH(QColor, backdrop);
        QFETCH(bool, rounded);
        PanelFixture shelf(scheme);
        auto *view = shelf.panel->findChild<VisualEffectView *>();
        QVERIFY(view);
        view->setWindowSupport({compositing, blur});
        const QImage image = shelf.render(1.0);
        // Beside the empty state's circle, below the header.
        const QColor empty = image.pixelColor(16, image.height() / 2);
        QCOMPARE(empty.alpha(), backdrop.alpha());
        // Premultiplied storage rounds a translucent tint by a level.
        QVERIFY2(qAbs(empty.red() - backdrop.red()) <= 1 &&
                     qAbs(empty.blue() - backdrop.blue()) <= 1,
                 qPrintable(empty.name(QColor::HexArgb)));
        QCOMPARE(qAlpha(image.pixel(0, 0)) == 0, rounded);
        QCOMPARE(qAlpha(image.pixel(image.width() - 1, image.height() - 1)) == 0, rounded);
    }
};

QTEST_MAIN(TestBackdrop)
#include "tst_backdrop.moc"
