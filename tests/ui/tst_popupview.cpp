// SPDX-License-Identifier: MIT
#include "contentarea.h"
#include "dropintake.h"
#include "emptystateview.h"
#include "filerowview.h"
#include "notificationcenter.h"
#include "panelfixture.h"
#include "panelheader.h"
#include "snappybutton.h"
#include "visualeffectview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMimeData>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QtTest>

namespace {

double meanGray(const QImage &image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            sum += qGray(image.pixel(x, y));
        }
    }
    return sum / (image.width() * image.height());
}

// The whole panel, as it stands, paints in both schemes, and the dark one
// reads dark: its backdrop, not only the palette's text, follows the scheme.
void paintsInBothSchemes(PanelFixture &shelf)
{
    const double light = meanGray(shelf.render());
    shelf.setScheme(ColorScheme::Dark);
    const double dark = meanGray(shelf.render());
    shelf.setScheme(ColorScheme::Light);
    QVERIFY2(dark < light / 2, qPrintable(QStringLiteral("%1 vs %2").arg(dark).arg(light)));
}

// Collects what a widget is asked to repaint.
class PaintSpy final : public QObject {
public:
    explicit PaintSpy(QWidget *widget) { widget->installEventFilter(this); }
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent *>(event)->region();
        }
        return false;
    }
};

} // namespace

class TestPopupView final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void badgeColourMarksHowFullTheShelfIsAndMovesThereOnItsSpring()
    {
        for (const bool dark : {false, true}) {
            QCOMPARE(PanelHeader::badgeColorFor(3, dark), PanelHeader::badgeColorFor(4, dark));
            QVERIFY(PanelHeader::badgeColorFor(2, dark) != PanelHeader::badgeColorFor(3, dark));
            QVERIFY(PanelHeader::badgeColorFor(4, dark) != PanelHeader::badgeColorFor(5, dark));
            QVERIFY(PanelHeader::badgeColorFor(5, dark) != PanelHeader::badgeColorFor(5, !dark));
        }
        PanelFixture shelf;
        shelf.fill(2);
        QCOMPARE(shelf.panel->header()->badgeText(), QStringLiteral("2/5"));
        PanelFixture::settleAnimations();
        const QColor before = shelf.panel->header()->badgeColor();
        QCOMPARE(before, PanelHeader::badgeColorFor(2, false));
        shelf.manager->addFile(shelf.sample("third.txt"));
        shelf.settleWork();
        Ticker::shared().advance(0.05);
        const QColor midway = shelf.panel->header()->badgeColor();
        PanelFixture::settleAnimations();
        const QColor after = shelf.panel->header()->badgeColor();
        QCOMPARE(after, PanelHeader::badgeColorFor(3, false));
        QVERIFY(midway != before && midway != after);
        shelf.setScheme(ColorScheme::Dark);
        QCOMPARE(shelf.panel->header()->badgeColor(), PanelHeader::badgeColorFor(3, true));
    }

    void closeAndClearButtonsActOnePressAtATime()
    {
        PanelFixture shelf;
        shelf.fill(3);
        int posted = 0;
        const auto token = NotificationCenter::defaultCenter().observe(
            QStringLiteral("closePopover"), [&] { ++posted; });
        QTest::mouseClick(shelf.panel->header()->closeButton(), Qt::LeftButton);
        QTest::mouseClick(shelf.panel->header()->closeButton(), Qt::LeftButton);
        NotificationCenter::defaultCenter().unregister(token);
        QCOMPARE(posted, 2);

        // Hover changes the clear button's fill at once, with no animation to wait for.
        SnappyButton *clear = shelf.panel->clearButton();
        const QImage rest = clear->grab().toImage();
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(clear, &enter);
        QVERIFY(clear->grab().toImage() != rest);
        QVERIFY(!shelf.panel->isQuitHovered());

        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(shelf.rows().size(), 3); // the list changes a turn later
        QCoreApplication::sendPostedEvents();
        QVERIFY(shelf.manager->tempFiles().isEmpty());
        QVERIFY(shelf.rows().isEmpty());
        QVERIFY(!clear->isVisibleTo(shelf.panel.get()));
    }

    // Qt hands the focus of a button that goes to the next in the tab chain:
    // "Esci" after "Cancella Tutto", where Return then quits.
    void focusLeavesNoButtonAfterAClearOrARemoval_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::addColumn<bool>("byKeyboard");
        QTest::newRow("clear clicked") << true << false;
        QTest::newRow("clear by Return") << true << true;
        QTest::newRow("remove by Return") << false << true;
    }
    void focusLeavesNoButtonAfterAClearOrARemoval()
    {
        QFETCH(bool, clear);
        QFETCH(bool, byKeyboard);
        const int left = clear ? 0 : 1;
        PanelFixture shelf;
        shelf.fill(2);
        QVERIFY(shelf.showActive());
        QSignalSpy quit(shelf.panel.get(), &StashletPopupView::terminateRequested);
        QAbstractButton *button =
            clear ? shelf.panel->clearButton() : shelf.rows().first()->removeButton();
        if (byKeyboard) {
            button->setFocus(Qt::TabFocusReason);
            QTest::keyClick(button, Qt::Key_Return);
        } else {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QTRY_COMPARE(shelf.manager->tempFiles().size(), left);
        shelf.settleWork();
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus && !qobject_cast<QAbstractButton *>(focus));
        QTest::keyClick(focus, Qt::Key_Return);
        shelf.settleWork();
        QCOMPARE(quit.count(), 0);
        QCOMPARE(shelf.manager->tempFiles().size(), left);
    }

    void fileDragLightsUpTheContentAreaAndIsAlwaysCopied()
    {
        PanelFixture shelf;
        ContentArea *content = shelf.panel->contentArea();
        const auto source = shelf.sample("keep-me.txt");
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QString::fromStdString(source.native()))});
        QMimeData text;
        text.setText(QStringLiteral("just words"));
        const QPoint at = content->rect().center();
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent words(at, offered, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(content, &words);
        QVERIFY(!content->isDraggingOver());
        // A drag that can only move is not taken at all.
        QDragEnterEvent moveOnly(at, Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(content, &moveOnly);
        QVERIFY(!moveOnly.isAccepted() && !content->isDraggingOver());

        // Shift asks a file manager to move: the user's file must stay put.
        QDragEnterEvent enter(at, offered, &files, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(content, &enter);
        QVERIFY(enter.isAccepted() && content->isDraggingOver());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        PanelFixture::settleAnimations();
        QCOMPARE(content->highlightOpacity(), 1.0);
        QVERIFY(content->emptyState()->badgeScale() > 1.05);
        paintsInBothSchemes(shelf);
        QDragMoveEvent move(at, offered, &files, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(content, &move);
        QCOMPARE(move.dropAction(), Qt::CopyAction);
        QDropEvent drop(at, offered, &files, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(content, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
        QVERIFY(!content->isDraggingOver());
        QTRY_COMPARE(shelf.manager->tempFiles().size(), 1);
        QVERIFY(std::filesystem::exists(source));
        QVERIFY(!shelf.panel->header()->acceptDrops());
    }

    void closingThePanelTakesDownTheBannerAndItsTimer()
    {
        PanelFixture shelf;
        shelf.panel->show();
        shelf.fill(5);
        QCOMPARE(shelf.panel->header()->badgeText(), QStringLiteral("5/5"));
        DropIntake &intake = shelf.panel->contentArea()->dropIntake();
        intake.showError(QStringLiteral("Hai già raggiunto il limite di 5 file"));
        PanelFixture::settleAnimations();
        QCOMPARE(shelf.panel->contentArea()->bannerOpacity(), 1.0);
        paintsInBothSchemes(shelf);
        shelf.panel->hide();
        QVERIFY(!intake.errorMessage());
        QVERIFY(!intake.errorTimer()->isValid());
        QCOMPARE(shelf.panel->contentArea()->bannerOpacity(), 0.0);
    }

    void emptyStateBreathesOnEveryAppearanceRepaintingOnlyItsBadge()
    {
        PanelFixture shelf;
        shelf.panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(shelf.panel.get()));
        EmptyStateView *empty = shelf.panel->contentArea()->emptyState();
        PaintSpy spy(empty);
        QCoreApplication::processEvents();
        spy.painted = QRegion();
        for (int i = 0; i < 11; ++i) {
            Ticker::shared().advance(0.1);
            QCoreApplication::processEvents();
        }
        QVERIFY(empty->badgeScale() > 1.01);
        QVERIFY(!spy.painted.isEmpty());
        QVERIFY(empty->badgeArea().contains(spy.painted.boundingRect()));

        shelf.fill(1);
        QVERIFY(!empty->isVisible());
        shelf.manager->clearAll();
        QCoreApplication::sendPostedEvents();
        QVERIFY(empty->isVisible());
        Ticker::shared().advance(1.1);
        QVERIFY(empty->badgeScale() > 1.01); // breathing again
    }
    void schemeFollowsThePalette_data()
    {
        QTest::addColumn<QColor>("window");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<bool>("dark");
        QTest::newRow("deep blue window, white text")
            << QColor(0, 0, 255) << QColor(Qt::white) << true;
        QTest::newRow("yellow window, black text")
            << QColor(255, 255, 0) << QColor(Qt::black) << false;
        QTest::newRow("no contrast") << QColor(128, 128, 128) << QColor(128, 128, 128) << false;
    }
    void schemeFollowsThePalette()
    {
        QFETCH(QColor, window);
        QFETCH(QColor, text);
        QFETCH(bool, dark);
        QPalette palette;
        palette.setColor(QPalette::Window, window);
        palette.setColor(QPalette::WindowText, text);
        QCOMPARE(colorSchemeOf(palette), dark ? ColorScheme::Dark : ColorScheme::Light);
    }

    // Over sharp windows a translucent tint lets their text read through;
    // only a compositor that blurs on request earns the see-through one, and
    // only a compositor keeps the rounded corners clear.
    void backdropIsOpaqueUnlessBlurIsConfirmed_data()
    {
        QTest::addColumn<bool>("compositing");
        QTest::addColumn<bool>("blur");
        QTest::newRow("no compositor") << false << false;
        QTest::newRow("compositor without blur") << true << false;
        QTest::newRow("KWin's blur") << true << true;
    }
    void backdropIsOpaqueUnlessBlurIsConfirmed()
    {
        QFETCH(bool, compositing);
        QFETCH(bool, blur);
        PanelFixture shelf(ColorScheme::Dark);
        shelf.panel->findChild<VisualEffectView *>()->setWindowSupport({compositing, blur});
        const QImage image = shelf.render(1.0);
        // Beside the empty state's circle, below the header.
        QCOMPARE(qAlpha(image.pixel(16, image.height() / 2)) < 255, blur);
        QCOMPARE(qAlpha(image.pixel(0, 0)) == 0, compositing);
        QCOMPARE(qAlpha(image.pixel(image.width() - 1, image.height() - 1)) == 0, compositing);
    }
};

QTEST_MAIN(TestPopupView)
#include "tst_popupview.moc"
