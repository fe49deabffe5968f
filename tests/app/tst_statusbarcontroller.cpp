// SPDX-License-Identifier: MIT
#include "notificationcenter.h"
#include "popover.h"
#include "statusbarcontroller.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QtTest>

class TestStatusBarController final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void clicksMenuAndCloseNotificationsFollowTheStateTable()
    {
        Popover popover;
        StatusBarController controller(popover);
        auto closePosted = [] {
            NotificationCenter::defaultCenter().post(QStringLiteral("closePopover"));
        };

        closePosted(); // hidden: nothing
        QVERIFY(!popover.isShown());
        controller.togglePopover();
        QVERIFY(popover.isShown());
        closePosted(); // shown: hidden
        QVERIFY(!popover.isShown());

        // The menu's first item says what a click would do, and does it.
        const QList<QAction *> actions = controller.menu().actions();
        QVERIFY(std::any_of(actions.begin(), actions.end(),
                            [](QAction *a) { return a->text() == QStringLiteral("Esci"); }));
        Q_EMIT controller.menu().aboutToShow();
        QCOMPARE(actions.first()->text(), QStringLiteral("Mostra pannello"));
        actions.first()->trigger();
        QVERIFY(popover.isShown());
        Q_EMIT controller.menu().aboutToShow();
        QCOMPARE(actions.first()->text(), QStringLiteral("Nascondi pannello"));
        actions.first()->trigger();
        QVERIFY(!popover.isShown());
    }

    void panelIsMadeAtTheFirstOpeningOnly()
    {
        Popover popover;
        int made = 0;
        const auto make = [&made]() -> QWidget * {
            ++made;
            return new QWidget;
        };
        popover.setContent(make);
        StatusBarController controller(popover);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(made, 0);
        QVERIFY(popover.content() == nullptr);

        controller.togglePopover();
        QCOMPARE(made, 1);
        QVERIFY(popover.content() != nullptr);
        QCOMPARE(popover.content()->parentWidget(), &popover);
        controller.togglePopover();
        controller.togglePopover();
        QCOMPARE(made, 1);
        // A plain show() (a desktop restoring the window) also finds it made.
        Popover other;
        other.setContent(make);
        other.QWidget::show();
        QCOMPARE(made, 2);
        QVERIFY(other.content() != nullptr);
    }

    // An item without an icon still shows in the tray, as a blank that the
    // end-to-end cases click through without noticing.
    void trayItemGetsAnIcon()
    {
        Popover popover;
        StatusBarController controller(popover);
        QCoreApplication::sendPostedEvents();
        QVERIFY(!controller.statusItem().icon().isNull());
    }

    void trayIconTakesTheForegroundColour()
    {
        for (const QColor colour : {QColor(Qt::white), QColor(Qt::black)}) {
            const QImage image = StatusBarController::trayIcon(colour).pixmap(22, 22).toImage();
            int painted = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    if (pixel.alpha() == 255) {
                        ++painted;
                        QCOMPARE(pixel.rgb(), colour.rgb());
                    }
                }
            }
            QVERIFY(painted > 20);
        }
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
        QTest::newRow("pulled in from the left edge")
            << QRect(0, 0, 24, 24) << QPoint() << QRect(0, 28, 320, 420);
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
