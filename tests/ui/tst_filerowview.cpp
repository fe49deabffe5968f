// SPDX-License-Identifier: MIT
#include "filerowview.h"
#include "pixels.h"
#include "rowcolors.h"
#include "schemepalette.h"
#include "shelftestenv.h"
#include "stashletmanager.h"
#include "ticker.h"

#include <QAbstractButton>
#include <QMimeData>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr int kListWidth = 296; // the panel's width less the list's padding

void runFor(double seconds)
{
    for (double t = 0.0; t < seconds; t += 0.004)
        Ticker::shared().advance(0.004);
}

// The row in a window of the list's width, as the panel would hold it.
struct Host {
    QWidget window;
    FileRowView *row;

    Host(const TempFile &file, StashletManager &manager, ColorScheme scheme = ColorScheme::Light)
    {
        window.setPalette(schemePalette(scheme));
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        row = new FileRowView(file, manager, &window);
        layout->addWidget(row);
        layout->addStretch();
        window.resize(kListWidth, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
};

QImage render(FileRowView &row, ColorScheme scheme)
{
    QImage image(row.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(schemePalette(scheme).color(QPalette::Window));
    row.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    }
    return count;
}

QPoint centreOf(const QWidget *widget, const QWidget *in)
{
    return widget->mapTo(in, widget->rect().center());
}

} // namespace

class TestFileRowView final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cardAndButtonHoverTogether_data()
    {
        QTest::addColumn<bool>("airDrop");
        QTest::newRow("AirDrop button") << true;
        QTest::newRow("remove button") << false;
    }

    void cardAndButtonHoverTogether()
    {
        QFETCH(bool, airDrop);
        TestShelf shelf;
        Host host(shelf.stage("a.txt"), *shelf.manager);
        const TempFile second = shelf.stage("b.txt");
        FileRowView &row = *host.row;
        QAbstractButton *button = airDrop ? row.airDropButton() : row.removeButton();
        auto buttonFlag = [&] { return airDrop ? row.isAirDropHovered() : row.isDeleteHovered(); };
        auto otherFlag = [&] { return airDrop ? row.isDeleteHovered() : row.isAirDropHovered(); };

        const QRect geometry = row.geometry();
        QTest::mouseMove(&host.window, QPoint(30, row.height() / 2));
        QTRY_VERIFY(row.isHovered());
        QVERIFY(!row.isAirDropHovered() && !row.isDeleteHovered());
        runFor(0.03);
        // Moving, not a jump. A slow machine may already see the spring past
        // its target (it overshoots), so only "not at rest" is asked.
        QVERIFY2(row.cardScale() > 1.0 && !qFuzzyCompare(row.cardScale(), 1.015),
                 qPrintable(QString::number(row.cardScale())));
        runFor(1.0);
        QCOMPARE(row.cardScale(), 1.015);
        QCOMPARE(row.geometry(), geometry); // drawing only

        QTest::mouseMove(&host.window, centreOf(button, &host.window));
        QTRY_VERIFY(buttonFlag());
        QVERIFY(row.isHovered());
        QVERIFY(!otherFlag());
        // A row given a new entry under the pointer keeps its hover state.
        row.setFile(second);
        QCOMPARE(row.shownName(), QStringLiteral("b.txt"));
        QVERIFY(row.isHovered() && buttonFlag());

        QTest::mouseMove(&host.window, QPoint(30, row.height() / 2));
        QTRY_VERIFY(!buttonFlag());
        QVERIFY(row.isHovered());

        QTest::mouseMove(&host.window, QPoint(30, row.height() + 30)); // below the row
        QTRY_VERIFY(!row.isHovered());
        QVERIFY(!row.isAirDropHovered() && !row.isDeleteHovered());
        runFor(1.0);
        QCOMPARE(row.cardScale(), 1.0);
    }

    void marginsHoldTheShadowOutsideTheCard()
    {
        TestShelf shelf;
        Host host(shelf.stage("a.txt"), *shelf.manager, ColorScheme::Dark);
        FileRowView &row = *host.row;
        const QMargins margins = FileRowView::overflowMargins();
        row.setContentsMargins(margins);
        QTRY_COMPARE(row.height(), 52 + margins.top() + margins.bottom());

        // The pointer over the shadow is not over the card.
        QTest::mouseMove(&host.window, QPoint(30, row.height() / 2));
        QTRY_VERIFY(row.isHovered());
        QTest::mouseMove(&host.window, QPoint(30, row.height() - margins.bottom() / 2));
        QTRY_VERIFY(!row.isHovered());

        runFor(1.0);
        // On white, where the faint shadow of a translucent card shows best.
        QImage image(row.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        row.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const int cardBottom = row.height() - margins.bottom();
        const int x = row.width() / 2;
        const int nearCard = qGray(image.pixel(x, cardBottom + 1));
        const int edge = qGray(image.pixel(x, row.height() - 1));
        QVERIFY2(nearCard < 251, qPrintable(QString::number(nearCard))); // the shadow shows
        QVERIFY2(edge >= 253 && edge > nearCard,
                 qPrintable(QString::number(edge))); // and fades out
    }

    void removeTakesOutExactlyThisEntry()
    {
        TestShelf shelf;
        const TempFile first = shelf.stage("first.txt");
        const TempFile middle = shelf.stage("middle.txt");
        const TempFile last = shelf.stage("last.txt");
        Host host(middle, *shelf.manager);

        QTest::mouseClick(host.row->removeButton(), Qt::LeftButton);
        settle(shelf.pool);
        QCOMPARE(shelf.manager->tempFiles(), (QList<TempFile>{first, last}));
    }

    void shareHandsOverTheStagedCopy()
    {
        TestShelf shelf;
        shelf.stage("other.txt");
        const TempFile entry = shelf.stage("slides \xe9.pdf");
        const fs::path received = shelf.env.fakeShareHandler();
        Host host(entry, *shelf.manager);

        const QList<TempFile> before = shelf.manager->tempFiles();
        QTest::mouseClick(host.row->airDropButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(fs::exists(received), 10'000);
        QCOMPARE(readAll(received), entry.path().native());
        settle(shelf.pool);
        QCOMPARE(shelf.manager->tempFiles(), before);
        QVERIFY(shelf.env.lines().isEmpty());
    }

    void dragCarriesTheStagedCopyByteForByteAndNothingOnceItIsGone()
    {
        TestShelf shelf;
        const TempFile entry = shelf.stage("report \xe9.txt", "bytes");
        FileRowView row(entry, *shelf.manager);

        const std::unique_ptr<QMimeData> data = row.mimeDataForDrag();
        QCOMPARE(data->urls(), QList<QUrl>{entry.url()});
        // The URL names the staged copy, byte for byte, not the dropped source.
        QCOMPARE(
            QByteArray::fromPercentEncoding(data->urls().at(0).path(QUrl::FullyEncoded).toLatin1()),
            QByteArray::fromStdString(entry.path().native()));
        QVERIFY(entry.path().native().starts_with(shelf.env.staging().native()));

        // A copy gone from the disk is not offered as if it were there.
        fs::remove(entry.path());
        QVERIFY(!row.mimeDataForDrag()->hasUrls());
    }

    void longNameKeepsStartAndExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("report") << QStringLiteral(
                                       "a-very-long-report-name-that-cannot-fit-2026-final.pdf")
                                << QStringLiteral("a-very") << QStringLiteral(".pdf");
        QTest::newRow("no spaces to break at")
            << QString(200, QLatin1Char('x')) + QStringLiteral(".tar.gz") << QStringLiteral("xxx")
            << QStringLiteral(".tar.gz");
    }

    void longNameKeepsStartAndExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, start);
        QFETCH(QString, end);
        TestShelf shelf;
        Host host(shelf.stage(name.toStdString()), *shelf.manager);
        const QString shown = host.row->shownName();
        QVERIFY2(shown.startsWith(start), qPrintable(shown));
        QVERIFY2(shown.endsWith(end), qPrintable(shown));
        QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
        QVERIFY(shown.size() < name.size());

        // Given room, the whole name shows.
        host.window.resize(2000, 120);
        QTRY_COMPARE(host.row->shownName(), name);
    }

    void hoverStrengthensEveryButtonColourAndTheCardTint()
    {
        for (const ColorScheme scheme : {ColorScheme::Light, ColorScheme::Dark}) {
            const RowColors rest = RowColors::of(scheme, false);
            const RowColors hover = RowColors::of(scheme, true);
            for (QColor RowColors::*stronger :
                 {&RowColors::deleteDisc, &RowColors::deleteRing, &RowColors::airDropDisc,
                  &RowColors::airDropGlyph, &RowColors::cardTint}) {
                QVERIFY((hover.*stronger).alphaF() > (rest.*stronger).alphaF());
            }
        }
    }

    void fadingInFromClearKeepsTheTintsHue()
    {
        const RowColors rest = RowColors::of(ColorScheme::Dark, false);
        const RowColors hover = RowColors::of(ColorScheme::Dark, true);
        const QColor half = blendColors(rest.cardTint, hover.cardTint, 0.5);
        QCOMPARE(half.rgb(), hover.cardTint.rgb()); // white, not a grey on the way
        QVERIFY(qAbs(half.alphaF() - hover.cardTint.alphaF() / 2) < 0.002f);
        // A spring past its target does not push the colour past the table's.
        QCOMPARE(blendColors(rest.deleteDisc, hover.deleteDisc, 1.2), hover.deleteDisc);
        QCOMPARE(blendColors(rest.deleteDisc, hover.deleteDisc, -0.2), rest.deleteDisc);
    }

    void renderedRowShowsHoverAndScheme()
    {
        TestShelf shelf;
        Host host(shelf.stage("a.txt", "hello"), *shelf.manager, ColorScheme::Light);
        FileRowView &row = *host.row;
        const QImage blank = [&] {
            QImage image(row.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(schemePalette(ColorScheme::Light).color(QPalette::Window));
            return image;
        }();
        const QImage rest = render(row, ColorScheme::Light);
        QVERIFY(differingPixels(rest, blank) > rest.width() * rest.height() / 4);

        // The scheme follows the palette, there and back.
        host.window.setPalette(schemePalette(ColorScheme::Dark));
        const QImage dark = render(row, ColorScheme::Dark);
        host.window.setPalette(schemePalette(ColorScheme::Light));
        QCOMPARE(differingPixels(render(row, ColorScheme::Light), rest), 0);
        QVERIFY(differingPixels(dark, rest) > rest.width() * rest.height() / 2);

        QTest::mouseMove(&host.window, centreOf(row.removeButton(), &host.window));
        QTRY_VERIFY(row.isDeleteHovered());
        runFor(1.0);
        const QImage hovered = render(row, ColorScheme::Light);
        QVERIFY(differingPixels(hovered, rest) > 100);
    }
};

QTEST_MAIN(TestFileRowView)
#include "tst_filerowview.moc"
