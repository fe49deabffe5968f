// SPDX-License-Identifier: MIT
#include "contentarea.h"
#include "dropintake.h"
#include "filerowview.h"
#include "panelfixture.h"
#include "panelheader.h"
#include "snappybutton.h"
#include "theme.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMimeData>
#include <QToolTip>
#include <QtTest>

namespace {

// Stands in for the desktop's opener.
class OpenedUrls final : public QObject {
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace

class TestKeyboard final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Tab walks the buttons and cards in order, the arrows enter the list
    // and stop at its ends. The ring, the theme's blue around the card,
    // shows where the keyboard moved the focus, not after a click.
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
        const QImage ringed = rows[0]->grab().toImage();
        const QColor blue = theme::kFocusRing.color(ColorScheme::Light);
        int changed = 0, bluish = 0;
        for (int i = 0; i < plain.width() * plain.height(); ++i) {
            const QPoint at(i % plain.width(), i / plain.width());
            const QColor c = ringed.pixelColor(at);
            const bool differs = plain.pixel(at) != ringed.pixel(at);
            changed += differs;
            bluish += differs && c.blue() > c.red() + 60 && qAbs(c.hue() - blue.hue()) < 10;
        }
        QVERIFY2(changed > 2 * (rows[0]->width() + rows[0]->height()),
                 qPrintable(QString::number(changed)));
        QVERIFY2(bluish > changed / 2,
                 qPrintable(QStringLiteral("%1 of %2").arg(bluish).arg(changed)));
        QTest::mouseClick(rows[1], Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), rows[1]);
        QVERIFY(!rows[1]->showsFocusRing());
    }

    void deleteRemovesTheFocusedCardAndTheFocusMovesOn_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("next"); // the card focused after, -1 for the panel
        QTest::newRow("Delete, first") << int(Qt::Key_Delete) << 0 << 0;
        QTest::newRow("BackSpace, last") << int(Qt::Key_Backspace) << 2 << 1;
        QTest::newRow("clicked card, Delete") << int(Qt::Key_Delete) << -1 << -1;
    }
    void deleteRemovesTheFocusedCardAndTheFocusMovesOn()
    {
        QFETCH(int, key);
        QFETCH(int, index);
        QFETCH(int, next);
        PanelFixture shelf;
        shelf.fill(3);
        QVERIFY(shelf.showActive());
        QList<TempFile> left = shelf.manager->tempFiles();
        if (index >= 0) {
            shelf.panel->contentArea()->focusRow(index, Qt::TabFocusReason);
        } else {
            index = 1;
            QTest::mouseClick(shelf.rows()[index], Qt::LeftButton);
        }
        left.removeAt(index);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        shelf.settleWork();
        QCOMPARE(shelf.manager->tempFiles(), left);
        // After a click the keyboard goes back to the panel: Enter then
        // opens nothing the user did not choose.
        QWidget *expected =
            next < 0 ? static_cast<QWidget *>(shelf.panel.get()) : shelf.rows()[next];
        QCOMPARE(QApplication::focusWidget(), expected);
        if (next >= 0)
            QVERIFY(shelf.rows()[next]->showsFocusRing());
    }

    void enterAndDoubleClickOpenTheStagedCopy_data()
    {
        QTest::addColumn<int>("key"); // 0 for a double click, -1 for a single one
        QTest::addColumn<bool>("opens");
        QTest::newRow("Return") << int(Qt::Key_Return) << true;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true;
        QTest::newRow("double click") << 0 << true;
        QTest::newRow("single click") << -1 << false;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
    }
    void enterAndDoubleClickOpenTheStagedCopy()
    {
        QFETCH(int, key);
        QFETCH(bool, opens);
        PanelFixture shelf;
        shelf.fill(2);
        QVERIFY(shelf.showActive());
        OpenedUrls opened;
        FileRowView *row = shelf.rows()[1];
        row->setFocus(Qt::TabFocusReason);
        if (key == 0) {
            QTest::mouseDClick(row, Qt::LeftButton);
        } else if (key < 0) {
            QTest::mouseClick(row, Qt::LeftButton);
        } else {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(row, &press);
            // What the card does not take goes on to the window: Escape closes it.
            QCOMPARE(press.isAccepted(), opens);
        }
        QCOMPARE(opened.urls, opens ? QList<QUrl>{row->file().url()} : QList<QUrl>{});
        QCOMPARE(shelf.manager->tempFiles().size(), 2);
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

    void screenReadersNameCardsAndTheBanner()
    {
        PanelFixture shelf;
        shelf.manager->addFile(shelf.sample("appunti.txt", 4000));
        shelf.settleWork();
        QAccessibleInterface *card = QAccessible::queryAccessibleInterface(shelf.rows()[0]);
        QCOMPARE(card->role(), QAccessible::ListItem);
        QCOMPARE(card->text(QAccessible::Name), QStringLiteral("appunti.txt, 4 kB"));

        ContentArea *content = shelf.panel->contentArea();
        QAccessibleInterface *banner = QAccessible::queryAccessibleInterface(content->banner());
        QCOMPARE(banner->role(), QAccessible::AlertMessage);
        QVERIFY(banner->state().invisible);
        content->dropIntake().showError(QStringLiteral("Puoi aggiungere solo altri 4 file"));
        QCOMPARE(banner->text(QAccessible::Name),
                 QStringLiteral("Puoi aggiungere solo altri 4 file"));
        QVERIFY(!banner->state().invisible);
        content->dropIntake().dismissError();
        QVERIFY(banner->state().invisible);
    }

    // Ctrl+V stages what a file manager copied; Ctrl+C on the focused card
    // offers that card's staged copy, not the first one's.
    void pasteStagesAndCopyOffersTheFocusedCard()
    {
        PanelFixture shelf;
        const auto uri = [&](const char *name) {
            return QUrl::fromLocalFile(QString::fromStdString(shelf.sample(name).native()))
                .toEncoded();
        };
        auto *copied = new QMimeData;
        copied->setData(QStringLiteral("x-special/gnome-copied-files"),
                        "copy\n" + uri("uno.txt") + "\n" + uri("due.txt"));
        QGuiApplication::clipboard()->setMimeData(copied);
        QVERIFY(shelf.showActive());
        QTest::keyClick(shelf.panel.get(), Qt::Key_V, Qt::ControlModifier);
        shelf.settleWork();
        QCOMPARE(shelf.manager->tempFiles().size(), 2);

        FileRowView *second = shelf.rows().value(1);
        QVERIFY(second != nullptr);
        second->setFocus(Qt::TabFocusReason);
        QTest::keyClick(second, Qt::Key_C, Qt::ControlModifier);
        const QByteArray offered = QGuiApplication::clipboard()->mimeData()->data(
            QStringLiteral("x-special/gnome-copied-files"));
        QCOMPARE(offered, "copy\n" + second->file().url().toEncoded());
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
