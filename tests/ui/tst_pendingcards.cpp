// SPDX-License-Identifier: MIT
#include "contentarea.h"
#include "emptystateview.h"
#include "filerowview.h"
#include "panelfixture.h"
#include "pendingrowview.h"
#include "theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScopeGuard>
#include <QSemaphore>
#include <QtTest>

namespace fs = std::filesystem;

class TestPendingCards final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A copy shows no card before the delay, one after it (with no progress
    // to wake the panel: the copy waits its turn), and the card leaves as
    // the entry arrives, or at once with nothing staged when cancelled.
    void cardWaitsThenTurnsIntoTheEntryOrCancels_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("whole") << false;
        QTest::newRow("cancelled") << true;
    }
    void cardWaitsThenTurnsIntoTheEntryOrCancels()
    {
        QFETCH(bool, cancel);
        PanelFixture shelf;
        QSemaphore gate;
        const auto open = qScopeGuard([&] { gate.release(64); });
        for (int i = 0; i < 8; ++i)
            shelf.pool.async([&](const CancelToken &) { gate.acquire(); });
        shelf.manager->addFile(shelf.sample("grande.bin", 1 << 20));
        ContentArea *area = shelf.panel->contentArea();
        QCoreApplication::processEvents();
        QVERIFY(area->pendingRows().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(area->pendingRows().size(), 1, 2000);
        QVERIFY(area->emptyState()->isHidden());
        if (cancel) {
            area->pendingRows().at(0)->cancelButton()->click();
            QVERIFY(area->pendingRows().isEmpty());
        }
        gate.release(8);
        shelf.settleWork();
        QVERIFY(area->pendingRows().isEmpty());
        QCOMPARE(area->rows().size(), cancel ? 0 : 1);
        QCOMPARE(area->emptyState()->isHidden(), !cancel);
        const fs::path staging = fs::path(qgetenv("TMPDIR").toStdString()) / "QELStashlet";
        QCOMPARE(fs::exists(staging) && !fs::is_empty(staging), !cancel);
    }

    // The bar fills as far as the bytes copied; with no total yet a segment
    // sweeps along it.
    void barShowsTheBytesCopied_data()
    {
        QTest::addColumn<quint64>("done");
        QTest::addColumn<quint64>("total");
        QTest::addColumn<double>("filled");
        QTest::newRow("none yet") << quint64(0) << quint64(1000) << 0.0;
        QTest::newRow("a quarter") << quint64(250) << quint64(1000) << 0.25;
        QTest::newRow("whole") << quint64(4000) << quint64(4000) << 1.0;
        QTest::newRow("total unknown")
            << quint64(500) << quint64(0) << theme::kProgressSweepFraction;
    }
    void barShowsTheBytesCopied()
    {
        QFETCH(quint64, done);
        QFETCH(quint64, total);
        QFETCH(double, filled);
        using namespace std::chrono;
        // Half a sweep in: the segment lies wholly inside the bar.
        const auto started =
            steady_clock::now() - duration_cast<steady_clock::duration>(
                                      duration<double>(theme::kProgressSweepPeriod / 2));
        PendingRowView row(PendingCopy{1, "grande.bin", done, total, started});
        row.resize(300, row.sizeHint().height());
        QImage image(row.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        row.render(&image);
        const QRectF bar = row.barRect();
        const int y = int(bar.center().y());
        int accent = 0;
        for (int x = int(bar.left()); x < int(bar.right()); ++x) {
            const QRgb pixel = image.pixel(x, y); // the accent blue
            accent += qBlue(pixel) > 200 && qRed(pixel) < 90 && qGreen(pixel) < 170;
        }
        QVERIFY2(std::abs(accent / bar.width() - filled) < 0.03,
                 qPrintable(QStringLiteral("%1 of %2 px filled").arg(accent).arg(bar.width())));
    }

    // A PNG's card shows the picture where the type icon was.
    void previewTakesTheIconsPlace()
    {
        PanelFixture shelf;
        const fs::path png = shelf.sample("foto.png");
        QImage picture(60, 40, QImage::Format_RGB32);
        picture.fill(QColor(220, 30, 40));
        QVERIFY(picture.save(QString::fromStdString(png.native()), "PNG"));
        shelf.manager->addFile(png);
        shelf.settleWork();
        FileRowView *row = shelf.panel->contentArea()->rows().value(0);
        QVERIFY(row != nullptr);
        QTRY_VERIFY(row->showsPreview());
        shelf.panel->show();
        QCoreApplication::processEvents();
        const QRect card = row->contentsRect();
        const QPoint icon(card.left() + int(theme::kRowInsetX + theme::kFileIconFrame.width() / 2),
                          card.center().y());
        const QImage image = shelf.render(2.0);
        const QPoint at = row->mapTo(shelf.panel.get(), icon) * 2;
        QCOMPARE(QColor(image.pixel(at)).name(), QColor(220, 30, 40).name());
    }

    // Ctrl+V stages what a file manager copied; Ctrl+C on the focused card
    // offers that card's staged copy, not the first one's.
    void pasteStagesAndCopyOffersTheFocusedCard()
    {
        PanelFixture shelf;
        auto *copied = new QMimeData;
        copied->setData(
            QStringLiteral("x-special/gnome-copied-files"),
            "copy\n" +
                QUrl::fromLocalFile(QString::fromStdString(shelf.sample("uno.txt").native()))
                    .toEncoded() +
                "\n" +
                QUrl::fromLocalFile(QString::fromStdString(shelf.sample("due.txt").native()))
                    .toEncoded());
        QGuiApplication::clipboard()->setMimeData(copied);
        shelf.panel->show();
        QApplication::setActiveWindow(shelf.panel.get());
        QTest::keyClick(shelf.panel.get(), Qt::Key_V, Qt::ControlModifier);
        shelf.settleWork();
        QCOMPARE(shelf.manager->tempFiles().size(), 2);

        FileRowView *second = shelf.panel->contentArea()->rows().value(1);
        QVERIFY(second != nullptr);
        second->setFocus(Qt::TabFocusReason);
        QTest::keyClick(second, Qt::Key_C, Qt::ControlModifier);
        const QByteArray offered = QGuiApplication::clipboard()->mimeData()->data(
            QStringLiteral("x-special/gnome-copied-files"));
        QCOMPARE(offered, "copy\n" + second->file().url().toEncoded());
    }
};

QTEST_MAIN(TestPendingCards)
#include "tst_pendingcards.moc"
