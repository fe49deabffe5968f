// SPDX-License-Identifier: MIT
#include "notificationcenter.h"
#include "popover.h"
#include "statusbarcontroller.h"
#include "texts.h"
#include "trayglyph.h"

#include <QDBusConnection>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QtTest>

class TestStatusBarController final : public QObject {
    Q_OBJECT

    // No session bus, so no StatusNotifierWatcher: the XEmbed path.
    static QDBusConnection noBus() { return QDBusConnection(QStringLiteral("none")); }

private Q_SLOTS:
    void clicksMenuAndCloseNotificationsFollowTheStateTableAndMakeThePanelOnce()
    {
        Popover popover;
        int made = 0;
        const auto make = [&made]() -> QWidget * {
            ++made;
            return new QWidget;
        };
        popover.setContent(make);
        StatusBarController controller(popover, noBus());
        QCoreApplication::sendPostedEvents();
        // An item without an icon would show in the tray as a blank.
        QVERIFY(!controller.xembedItem()->icon().isNull());
        const auto closePosted = [] {
            NotificationCenter::defaultCenter().post(QStringLiteral("closePopover"));
        };
        closePosted(); // hidden: nothing
        QVERIFY(!popover.isShown());
        QCOMPARE(made, 0);

        controller.togglePopover();
        QVERIFY(popover.isShown());
        QCOMPARE(made, 1);
        QCOMPARE(popover.content()->parentWidget(), &popover);
        closePosted(); // shown: hidden
        QVERIFY(!popover.isShown());

        // The menu's first item says and does what a click would.
        QAction *toggle = controller.menu().actions().first();
        toggle->trigger();
        QVERIFY(popover.isShown());
        QCOMPARE(toggle->text(), Texts::hidePanel());
        toggle->trigger();
        QVERIFY(!popover.isShown());
        QCOMPARE(toggle->text(), Texts::showPanel());
        QCOMPARE(made, 1);
    }

    // The glyph drawn on a tray of each colour, read back the way the program
    // reads the tray: the corners of the icon's square give the background,
    // and the glyph colour chosen for it stands out at least 3:1.
    void glyphColourReadsOnTheTraysBackground_data()
    {
        QTest::addColumn<QColor>("tray");
        QTest::addColumn<QColor>("glyph");
        QTest::newRow("GNOME's black top bar") << QColor(0, 0, 0) << QColor(Qt::white);
        QTest::newRow("white panel") << QColor(255, 255, 255) << QColor(Qt::black);
        QTest::newRow("mid grey") << QColor(128, 128, 128) << QColor(Qt::black);
        QTest::newRow("saturated blue") << QColor(0, 60, 200) << QColor(Qt::white);
    }
    void glyphColourReadsOnTheTraysBackground()
    {
        QFETCH(QColor, tray);
        QFETCH(QColor, glyph);
        // What the tray shows of the icon: its glyph, in whatever colour it
        // had before, over the tray's background.
        QImage shown(22, 22, QImage::Format_RGB32);
        shown.fill(tray);
        QPainter painter(&shown);
        painter.drawPixmap(0, 0, trayglyph::icon(Qt::red).pixmap(22, 22));
        painter.end();

        const QColor background = trayglyph::backgroundOf(shown);
        QCOMPARE(background, tray);
        const QColor chosen = trayglyph::glyphColourOn(background);
        QCOMPARE(chosen, glyph);
        QVERIFY2(trayglyph::contrastRatio(chosen, tray) >= 3.0,
                 qPrintable(QString::number(trayglyph::contrastRatio(chosen, tray))));
        // The icon made for it is drawn in that colour.
        const QImage image = trayglyph::icon(chosen).pixmap(22, 22).toImage();
        int painted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y).alpha() == 255) {
                    ++painted;
                    QCOMPARE(image.pixelColor(x, y).rgb(), chosen.rgb());
                }
            }
        }
        QVERIFY(painted > 20);
    }

    void placementKeepsThePanelByTheIconAndOnScreen_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QPoint>("click");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("above an icon at the bottom")
            << QRect(600, 776, 24, 24) << QPoint() << QRect(451, 352, 320, 420);
        QTest::newRow("pulled in from the right edge")
            << QRect(1260, 0, 20, 24) << QPoint() << QRect(960, 28, 320, 420);
        QTest::newRow("no geometry: at the click")
            << QRect() << QPoint(700, 10) << QRect(540, 15, 320, 420);
        QTest::newRow("no geometry, bottom: above the click")
            << QRect() << QPoint(100, 790) << QRect(0, 366, 320, 420);
    }
    void placementKeepsThePanelByTheIconAndOnScreen()
    {
        QFETCH(QRect, anchor);
        QFETCH(QPoint, click);
        QFETCH(QRect, expected);
        QCOMPARE(Popover::placement(anchor, click, QSize(320, 420), QRect(0, 0, 1280, 800)),
                 expected);
    }
};

QTEST_MAIN(TestStatusBarController)
#include "tst_statusbarcontroller.moc"
