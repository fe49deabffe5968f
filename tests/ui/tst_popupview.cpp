// SPDX-License-Identifier: MIT
#include "contentarea.h"
#include "contentoverlay.h"
#include "dropintake.h"
#include "droppedmimedata.h"
#include "emptystateview.h"
#include "filerowview.h"
#include "panelfixture.h"
#include "panelheader.h"
#include "snappybutton.h"
#include "visualeffectview.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QToolTip>
#include <QtTest>

class TestPopupView final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fileDragLightsUpTheContentAreaAndIsAlwaysCopied()
    {
        PanelFixture shelf;
        ContentArea *content = shelf.panel->contentArea();
        // The file manager the drag comes from has the keyboard, and keeps it.
        shelf.panel->show();
        QWidget fileManager;
        fileManager.show();
        fileManager.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&fileManager));
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
        QCOMPARE(content->overlay()->highlightOpacity(), 1.0);
        QVERIFY(content->emptyState()->badgeScale() > 1.05);
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
        QCOMPARE(QApplication::activeWindow(), &fileManager);
    }

    // The banner is named for screen readers while it shows, and closing the
    // panel takes it and its timer down.
    void bannerIsAnnouncedAndLeavesWithThePanel()
    {
        PanelFixture shelf;
        shelf.panel->show();
        shelf.fill(5);
        QCOMPARE(shelf.panel->header()->badgeText(), QStringLiteral("5/5"));
        ContentArea *content = shelf.panel->contentArea();
        QAccessibleInterface *banner = QAccessible::queryAccessibleInterface(content->overlay());
        QCOMPARE(banner->role(), QAccessible::AlertMessage);
        QVERIFY(banner->state().invisible);
        DropIntake &intake = content->dropIntake();
        const QString full = QStringLiteral("Hai già raggiunto il limite di 5 file");
        intake.showError(full);
        QCOMPARE(banner->text(QAccessible::Name), full);
        QVERIFY(!banner->state().invisible);
        PanelFixture::settleAnimations();
        QCOMPARE(content->overlay()->bannerOpacity(), 1.0);
        shelf.panel->hide();
        QVERIFY(!intake.errorMessage());
        QVERIFY(!intake.errorTimer().isActive());
        QCOMPARE(content->overlay()->bannerOpacity(), 0.0);
        QVERIFY(banner->state().invisible);
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
    void schemeFollowsThePalette()
    {
        const auto scheme = [](const QColor &window, const QColor &text) {
            QPalette palette;
            palette.setColor(QPalette::Window, window);
            palette.setColor(QPalette::WindowText, text);
            return colorSchemeOf(palette);
        };
        QCOMPARE(scheme(QColor(0, 0, 255), Qt::white), ColorScheme::Dark);
        QCOMPARE(scheme(QColor(255, 255, 0), Qt::black), ColorScheme::Light);
        QCOMPARE(scheme(Qt::gray, Qt::gray), ColorScheme::Light); // no contrast
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
        const QPoint backdrop(16, image.height() / 2);
        QCOMPARE(qAlpha(image.pixel(backdrop)) < 255, blur);
        QCOMPARE(qAlpha(image.pixel(0, 0)) == 0, compositing);
        QCOMPARE(qAlpha(image.pixel(image.width() - 1, image.height() - 1)) == 0, compositing);
        // The backdrop, not only the palette's text, follows the scheme.
        const int dark = qGray(image.pixel(backdrop));
        shelf.setScheme(ColorScheme::Light);
        const int light = qGray(shelf.render(1.0).pixel(backdrop));
        QVERIFY2(dark < light / 2, qPrintable(QStringLiteral("%1 vs %2").arg(dark).arg(light)));
    }

    // Tab walks the buttons and cards in order, the arrows enter the list
    // and stop at its ends. The ring shows where the keyboard moved the
    // focus, not after a click.
    void keysWalkTheCardsInOrderShowingTheRing()
    {
        PanelFixture shelf;
        shelf.fill(2);
        QVERIFY(shelf.showActive());
        const QList<FileRowView *> rows = shelf.rows();
        const QImage plain = rows[0]->grab().toImage();
        QList<QWidget *> tabs{shelf.panel->header()->closeButton()};
        for (FileRowView *row : rows)
            tabs << row << row->airDropButton() << row->removeButton();
        for (QWidget *next : tabs << shelf.panel->clearButton() << shelf.panel->quitButton()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        shelf.panel->setFocus(Qt::PopupFocusReason);
        const int focused[] = {0, 1, 1, 0, 0};
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), i < 3 ? Qt::Key_Down : Qt::Key_Up);
            QCOMPARE(QApplication::focusWidget(), rows[focused[i]]);
        }

        QVERIFY(rows[0]->showsFocusRing());
        QVERIFY(rows[0]->grab().toImage() != plain);
        QTest::mouseClick(rows[1], Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), rows[1]);
        QVERIFY(!rows[1]->showsFocusRing());
    }

    void badgeDragsEveryStagedFile()
    {
        PanelFixture shelf;
        shelf.panel->show();
        PanelHeader *header = shelf.panel->header();
        QVERIFY(!header->mimeDataForDrag());
        const QPoint badge = header->badgeRect().center().toPoint();
        QHelpEvent empty(QEvent::ToolTip, badge, header->mapToGlobal(badge));
        QApplication::sendEvent(header, &empty);
        QVERIFY(!QToolTip::isVisible());

        shelf.fill(3);
        QList<QUrl> all;
        for (const TempFile &file : shelf.manager->tempFiles())
            all.append(file.url());
        QCOMPARE(header->mimeDataForDrag()->urls(), all);
        QHelpEvent help(QEvent::ToolTip, badge, header->mapToGlobal(badge));
        QApplication::sendEvent(header, &help);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("Trascina tutti i file"));
        QToolTip::hideText();
    }

    // Ctrl+V asks the clipboard as the reader does (once each), and stages
    // what it names or says there is nothing to paste.
    void pasteAsksTheClipboardOnce_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<int>("reads");
        QTest::addColumn<int>("staged");
        QTest::newRow("copied files")
            << QStringLiteral("x-special/gnome-copied-files") << QByteArray("copy\n") << 1 << 2;
        QTest::newRow("an image") << QStringLiteral("image/png") << QByteArray() << 0 << 0;
    }
    void pasteAsksTheClipboardOnce()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, prefix);
        QFETCH(int, reads);
        QFETCH(int, staged);
        PanelFixture shelf;
        QByteArray list = prefix;
        for (const char *name : {"uno.txt", "due.txt"})
            list += QUrl::fromLocalFile(QString::fromStdString(shelf.sample(name).native()))
                        .toEncoded() +
                    "\n";
        auto *offered = new DroppedMimeData(list, format);
        QGuiApplication::clipboard()->setMimeData(offered);
        offered->formatsAsked = offered->dataRead = 0;
        QVERIFY(shelf.showActive());
        QTest::keyClick(shelf.panel.get(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(offered->formatsAsked, 1);
        QCOMPARE(offered->dataRead, reads);
        shelf.settleWork();
        QCOMPARE(shelf.manager->tempFiles().size(), staged);
        QCOMPARE(shelf.panel->contentArea()->overlay()->bannerText().isEmpty(), staged > 0);
    }

    // The clipboard never offers a staged path whose entry is gone: a later
    // file of the same name would take that path.
    void copiedEntryLeavesTheClipboardWithIt_data()
    {
        QTest::addColumn<int>("copied");
        QTest::addColumn<QString>("how");   // the copied card removed, another one, all cleared
        QTest::addColumn<bool>("replaced"); // another program took the clipboard since
        QTest::addColumn<bool>("offered");  // the copy is still on the clipboard after
        QTest::newRow("copied card removed") << 1 << QStringLiteral("remove 1") << false << false;
        QTest::newRow("another card removed") << 1 << QStringLiteral("remove 0") << false << true;
        QTest::newRow("all cleared") << 0 << QStringLiteral("clear") << false << false;
        QTest::newRow("replaced since") << 1 << QStringLiteral("remove 1") << true << false;
    }
    void copiedEntryLeavesTheClipboardWithIt()
    {
        QFETCH(int, copied);
        QFETCH(QString, how);
        QFETCH(bool, replaced);
        QFETCH(bool, offered);
        const QString gnome = QStringLiteral("x-special/gnome-copied-files");
        PanelFixture shelf;
        shelf.fill(2);
        QVERIFY(shelf.showActive());
        FileRowView *row = shelf.rows().value(copied);
        row->setFocus(Qt::TabFocusReason);
        QTest::keyClick(row, Qt::Key_C, Qt::ControlModifier);
        const QByteArray copy = "copy\n" + row->file().url().toEncoded();
        const QString path = QString::fromStdString(row->file().path().native());
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(gnome), copy);
        if (replaced) {
            auto *other = new QMimeData;
            other->setText(QStringLiteral("from another program"));
            QGuiApplication::clipboard()->setMimeData(other);
        }
        if (how == u"clear")
            shelf.manager->clearAll();
        else
            shelf.manager->removeFile(shelf.manager->tempFiles().at(how.back().digitValue()));
        shelf.settleWork();
        // A cleared clipboard may offer no data at all.
        const QMimeData *now = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(now ? now->data(gnome) : QByteArray(), offered ? copy : QByteArray());
        QCOMPARE(now ? now->text() : QString(), replaced  ? QStringLiteral("from another program")
                                                : offered ? path
                                                          : QString());
    }
};

QTEST_MAIN(TestPopupView)
#include "tst_popupview.moc"
