// SPDX-License-Identifier: MIT
#include "contentarea.h"
#include "dropintake.h"
#include "emptystateview.h"
#include "filerowview.h"
#include "notificationcenter.h"
#include "panelfixture.h"
#include "panelheader.h"
#include "snappybutton.h"
#include "theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMimeData>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QtTest>

namespace fs = std::filesystem;

namespace {

void dragEnter(QWidget *target, const QMimeData *data)
{
    QDragEnterEvent event(target->rect().center(), Qt::CopyAction | Qt::MoveAction, data,
                          Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

bool near(const QColor &a, const QColor &b)
{
    return std::abs(a.redF() - b.redF()) < 0.01 && std::abs(a.greenF() - b.greenF()) < 0.01 &&
           std::abs(a.blueF() - b.blueF()) < 0.01 && std::abs(a.alphaF() - b.alphaF()) < 0.01;
}

double meanGray(const QImage &image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
    }
    return sum / (image.width() * image.height());
}

// The whole panel, as it stands, paints in both schemes, and the dark one
// reads dark: its backdrop, not only the palette's text, follows the scheme.
void paintsInBothSchemes(PanelFixture &shelf)
{
    shelf.setScheme(ColorScheme::Light);
    const double light = meanGray(shelf.render());
    shelf.setScheme(ColorScheme::Dark);
    const double dark = meanGray(shelf.render());
    shelf.setScheme(ColorScheme::Light);
    QVERIFY2(dark < light / 2, qPrintable(QStringLiteral("%1 vs %2").arg(dark).arg(light)));
}

} // namespace

namespace {
// Collects what a widget is asked to repaint.
class PaintSpy final : public QObject {
public:
    PaintSpy(QWidget *widget, QRegion &painted)
        : m_painted(painted)
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }

private:
    QRegion &m_painted;
};
} // namespace

class TestPopupView final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void badgeCountsAndColoursTheShelf_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QColor>("light");
        QTest::addColumn<QColor>("dark");
        const QColor blue = theme::kBlue.light.color(), orange = theme::kOrange.light.color();
        const QColor red = theme::kRed.light.color(), empty = theme::kWhite.at(0.2).color();
        QTest::newRow("empty") << 0 << empty << empty;
        QTest::newRow("two") << 2 << blue << theme::kBlue.dark.color();
        QTest::newRow("three") << 3 << orange << theme::kOrange.dark.color();
        QTest::newRow("four") << 4 << orange << theme::kOrange.dark.color();
        QTest::newRow("full") << 5 << red << theme::kRed.dark.color();
    }
    void badgeCountsAndColoursTheShelf()
    {
        QFETCH(int, count);
        QFETCH(QColor, light);
        QFETCH(QColor, dark);
        PanelFixture shelf;
        shelf.fill(count);
        PanelHeader *header = shelf.panel->header();
        QCOMPARE(header->badgeText(), QStringLiteral("%1/5").arg(count));
        PanelFixture::settleAnimations();
        QVERIFY2(near(header->badgeColor(), light),
                 qPrintable(header->badgeColor().name(QColor::HexArgb)));
        shelf.setScheme(ColorScheme::Dark);
        QVERIFY(near(header->badgeColor(), dark));
        // The clear button is there exactly while something is listed.
        QCOMPARE(shelf.panel->clearButton()->isVisibleTo(shelf.panel.get()), count > 0);
        QCOMPARE(shelf.panel->contentArea()->emptyState()->isVisibleTo(shelf.panel.get()),
                 count == 0);
        QCOMPARE(shelf.panel->contentArea()->rows().size(), count);
    }

    void badgeColourMovesOnItsSpringWithoutJumping()
    {
        PanelFixture shelf;
        shelf.fill(2);
        PanelFixture::settleAnimations();
        const QColor blue = shelf.panel->header()->badgeColor();
        shelf.manager->addFile(shelf.sample("third.txt"));
        shelf.settleWork();
        Ticker::shared().advance(0.05);
        const QColor midway = shelf.panel->header()->badgeColor();
        QVERIFY(!near(midway, blue));
        QVERIFY(!near(midway, theme::kOrange.light.color()));
        PanelFixture::settleAnimations();
        QVERIFY(near(shelf.panel->header()->badgeColor(), theme::kOrange.light.color()));
    }

    void closeButtonPostsOneNotificationPerPress()
    {
        PanelFixture shelf;
        int posted = 0;
        const auto token = NotificationCenter::defaultCenter().observe(
            QStringLiteral("closePopover"), [&] { ++posted; });
        SnappyButton *close = shelf.panel->header()->closeButton();
        QTest::mouseClick(close, Qt::LeftButton);
        QCOMPARE(posted, 1);
        QTest::mouseClick(close, Qt::LeftButton);
        QCOMPARE(posted, 2);
        NotificationCenter::defaultCenter().unregister(token);
    }

    void clearButtonEmptiesTheListOnTheNextTurn()
    {
        PanelFixture shelf;
        shelf.fill(3);
        QTest::mouseClick(shelf.panel->clearButton(), Qt::LeftButton);
        QCOMPARE(shelf.panel->contentArea()->rows().size(), 3);
        QCoreApplication::sendPostedEvents();
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        QVERIFY(shelf.panel->contentArea()->rows().isEmpty());
        QVERIFY(!shelf.panel->clearButton()->isVisibleTo(shelf.panel.get()));
        QCOMPARE(shelf.panel->header()->badgeText(), QStringLiteral("0/5"));
    }

    // Qt hands the focus of a button that goes to the next in the tab chain:
    // "Esci" after "Cancella Tutto", where Return then quits.
    void focusLeavesNoButtonAfterAClearOrARemoval_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::addColumn<bool>("byKeyboard");
        QTest::addColumn<int>("left");
        QTest::newRow("Cancella Tutto clicked") << true << false << 0;
        QTest::newRow("Cancella Tutto by Return") << true << true << 0;
        QTest::newRow("Rimuovi by Return") << false << true << 1;
    }

    void focusLeavesNoButtonAfterAClearOrARemoval()
    {
        QFETCH(bool, clear);
        QFETCH(bool, byKeyboard);
        QFETCH(int, left);
        PanelFixture shelf;
        shelf.fill(2);
        shelf.panel->show();
        shelf.panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(shelf.panel.get()));
        shelf.panel->setFocus(Qt::PopupFocusReason);
        QSignalSpy quit(shelf.panel.get(), &StashletPopupView::terminateRequested);
        QAbstractButton *button = clear
                                      ? shelf.panel->clearButton()
                                      : shelf.panel->contentArea()->rows().first()->removeButton();
        if (byKeyboard) {
            button->setFocus(Qt::TabFocusReason);
            QTest::keyClick(button, Qt::Key_Return);
        } else {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QTRY_COMPARE(shelf.manager->tempFiles().size(), left);
        shelf.settleWork();
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        QVERIFY2(!qobject_cast<QAbstractButton *>(focus), qPrintable(focus->accessibleName()));
        QTest::keyClick(focus, Qt::Key_Return);
        shelf.settleWork();
        QCOMPARE(quit.count(), 0);
        QCOMPARE(shelf.manager->tempFiles().size(), left);
        shelf.panel->hide();
    }

    void footerHoverChangesTheFillAtOnce()
    {
        PanelFixture shelf;
        shelf.fill(1);
        SnappyButton *clear = shelf.panel->clearButton();
        const QImage before = clear->grab().toImage();
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(clear, &enter);
        QVERIFY(!shelf.panel->isQuitHovered());
        QVERIFY(clear->grab().toImage() != before); // no animation to wait for
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(clear, &leave);
        QCOMPARE(clear->grab().toImage(), before);
    }

    void fileDragLightsUpTheContentAreaOnly()
    {
        PanelFixture shelf;
        ContentArea *content = shelf.panel->contentArea();
        QMimeData files;
        files.setUrls(
            {QUrl::fromLocalFile(QString::fromStdString(shelf.sample("a.txt").native()))});
        QMimeData text;
        text.setText(QStringLiteral("just words"));

        dragEnter(content, &text);
        QVERIFY(!content->isDraggingOver());

        dragEnter(content, &files);
        QVERIFY(content->isDraggingOver());
        QCOMPARE(content->emptyState()->badgeScale(), 1.1);
        PanelFixture::settleAnimations();
        QCOMPARE(content->highlightOpacity(), 1.0);
        QCOMPARE(content->highlightRect(), QRectF(content->rect()).adjusted(8, 8, -8, -8));
        paintsInBothSchemes(shelf);

        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(content, &leave);
        QVERIFY(!content->isDraggingOver());
        QVERIFY(content->emptyState()->badgeScale() < 1.06);

        QVERIFY(!shelf.panel->header()->acceptDrops());
    }

    void dropsAlwaysCopyEvenWhenTheUserAsksToMove()
    {
        // Shift asks a file manager to move: the user's file must stay put.
        PanelFixture shelf;
        const fs::path source = shelf.sample("keep-me.txt");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(source.native()))});
        ContentArea *content = shelf.panel->contentArea();
        const QPoint at = content->rect().center();
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(content, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QDragMoveEvent move(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(content, &move);
        QCOMPARE(move.dropAction(), Qt::CopyAction);
        QDropEvent drop(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(content, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
        QVERIFY(!content->isDraggingOver());

        // A drag that can only move is not taken at all.
        QDragEnterEvent moveOnly(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(content, &moveOnly);
        QVERIFY(!moveOnly.isAccepted());
        QTRY_COMPARE(shelf.manager->tempFiles().size(), 1);
        QVERIFY(fs::exists(source));
    }

    void closingThePanelTakesDownTheBannerAndItsTimer()
    {
        PanelFixture shelf;
        shelf.panel->show();
        shelf.fill(5);
        DropIntake &intake = shelf.panel->contentArea()->dropIntake();
        intake.showError(QStringLiteral("Hai già raggiunto il limite di 5 file"));
        QVERIFY(intake.errorTimer()->isValid());
        PanelFixture::settleAnimations();
        QCOMPARE(shelf.panel->contentArea()->bannerOpacity(), 1.0);
        paintsInBothSchemes(shelf);
        shelf.panel->hide();
        QVERIFY(!intake.errorMessage());
        QVERIFY(!intake.errorTimer()->isValid());
        QCOMPARE(shelf.panel->contentArea()->bannerOpacity(), 0.0);
    }

    void emptyStateBreathesOnEveryAppearance()
    {
        PanelFixture shelf;
        shelf.panel->show();
        EmptyStateView *empty = shelf.panel->contentArea()->emptyState();
        Ticker::shared().advance(1.1);
        QVERIFY(empty->badgeScale() > 1.01);

        shelf.fill(1);
        QVERIFY(!empty->isVisible());
        shelf.manager->clearAll();
        QCoreApplication::sendPostedEvents();
        QVERIFY(empty->isVisible());
        Ticker::shared().advance(1.1);
        QVERIFY(empty->badgeScale() > 1.01); // breathing again
        shelf.panel->hide();
    }

    void breathingRepaintsOnlyTheBadge()
    {
        PanelFixture shelf;
        shelf.panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(shelf.panel.get()));
        EmptyStateView *empty = shelf.panel->contentArea()->emptyState();
        QRegion painted;
        PaintSpy spy(empty, painted);
        QCoreApplication::processEvents();
        painted = QRegion();
        for (int i = 0; i < 10; ++i) {
            Ticker::shared().advance(0.1);
            QCoreApplication::processEvents();
        }
        QVERIFY(!painted.isEmpty());
        QVERIFY2(empty->badgeArea().contains(painted.boundingRect()),
                 qPrintable(QStringLiteral("repainted %1,%2 %3x%4")
                                .arg(painted.boundingRect().x())
                                .arg(painted.boundingRect().y())
                                .arg(painted.boundingRect().width())
                                .arg(painted.boundingRect().height())));
        shelf.panel->hide();
    }
};

QTEST_MAIN(TestPopupView)
#include "tst_popupview.moc"
