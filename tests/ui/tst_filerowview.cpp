// SPDX-License-Identifier: MIT
#include "filerowview.h"
#include "rowcolors.h"
#include "schemepalette.h"
#include "shelftestenv.h"
#include "ticker.h"

#include <QAbstractButton>
#include <QMimeData>
#include <QVBoxLayout>
#include <QtTest>

namespace fs = std::filesystem;

namespace {

void runFor(double seconds)
{
    for (double t = 0.0; t < seconds; t += 0.004) {
        Ticker::shared().advance(0.004);
    }
}

// The row in a window of the list's width, as the panel would hold it.
struct Host {
    QWidget window;
    FileRowView *row;

    Host(const TempFile &file, StashletManager &manager)
    {
        window.setPalette(schemePalette(ColorScheme::Light));
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        row = new FileRowView(file, manager, &window);
        layout->addWidget(row);
        layout->addStretch();
        window.resize(296, 120); // the panel's width less the list's padding
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    void pointAt(const QWidget *widget)
    {
        QTest::mouseMove(&window, widget->mapTo(&window, widget->rect().center()));
    }
    void pointAt(int y) { QTest::mouseMove(&window, QPoint(30, y)); }
    QImage render(ColorScheme scheme)
    {
        window.setPalette(schemePalette(scheme));
        QImage image(row->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        row->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }
};

int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            count += a.pixel(x, y) != b.pixel(x, y);
        }
    }
    return count;
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
        const auto hovered = [&] {
            return QList<bool>{row.isHovered(), row.isAirDropHovered(), row.isDeleteHovered()};
        };
        const QList<bool> onButton{true, airDrop, !airDrop};
        const QRect geometry = row.geometry();
        host.pointAt(row.height() / 2);
        QTRY_COMPARE(hovered(), (QList<bool>{true, false, false}));
        runFor(0.03);
        // Moving, not a jump; a slow machine may see the spring past its target.
        QVERIFY(row.cardScale() > 1.0 && !qFuzzyCompare(row.cardScale(), 1.015));
        runFor(1.0);
        QCOMPARE(row.cardScale(), 1.015);
        QCOMPARE(row.geometry(), geometry); // drawing only

        host.pointAt(button);
        QTRY_COMPARE(hovered(), onButton);
        // A row given a new entry under the pointer keeps its hover state.
        row.setFile(second);
        QCOMPARE(row.shownName(), QStringLiteral("b.txt"));
        QCOMPARE(hovered(), onButton);
        host.pointAt(row.height() / 2);
        QTRY_COMPARE(hovered(), (QList<bool>{true, false, false}));
        host.pointAt(row.height() + 30); // below the row
        QTRY_COMPARE(hovered(), (QList<bool>{false, false, false}));
        runFor(1.0);
        QCOMPARE(row.cardScale(), 1.0);
    }

    void shareButtonSharesExactlyThisEntry()
    {
        TestShelf shelf;
        shelf.stage("first.txt");
        const TempFile middle = shelf.stage("slides \xe9.pdf");
        shelf.stage("last.txt");
        const fs::path received = shelf.env.fakeShareHandler();
        Host host(middle, *shelf.manager);
        QTest::mouseClick(host.row->airDropButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(fs::exists(received), 10'000);
        QCOMPARE(readAll(received), middle.path().native());
        settle(shelf.pool);
        QCOMPARE(shelf.manager->tempFiles().size(), 3);
        QVERIFY(shelf.env.lines().isEmpty());
    }

    void dragCarriesTheStagedCopyByteForByteAndNothingOnceItIsGone()
    {
        TestShelf shelf;
        const TempFile entry = shelf.stage("report \xe9.txt", "bytes");
        FileRowView row(entry, *shelf.manager);
        const std::unique_ptr<QMimeData> data = row.mimeDataForDrag();
        QCOMPARE(data->urls().size(), 1);
        // The URL names the staged copy, byte for byte, not the dropped source.
        QCOMPARE(
            QByteArray::fromPercentEncoding(data->urls().at(0).path(QUrl::FullyEncoded).toLatin1()),
            QByteArray::fromStdString((shelf.env.staging() / "report \xe9.txt").native()));
        fs::remove(entry.path());
        QVERIFY(!row.mimeDataForDrag()->hasUrls());
    }

    void longNameKeepsStartAndExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("end");
        QTest::newRow("report") << QStringLiteral(
                                       "a-very-long-report-name-that-cannot-fit-2026.pdf")
                                << QStringLiteral(".pdf");
        QTest::newRow("no spaces to break at")
            << QString(200, QLatin1Char('x')) + QStringLiteral(".tar.gz")
            << QStringLiteral(".tar.gz");
    }
    void longNameKeepsStartAndExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, end);
        TestShelf shelf;
        Host host(shelf.stage(name.toStdString()), *shelf.manager);
        const QString shown = host.row->shownName();
        QVERIFY2(shown.startsWith(name.left(3)) && shown.endsWith(end) &&
                     shown.contains(QChar(0x2026)) && shown.size() < name.size(),
                 qPrintable(shown));
        host.window.resize(2000, 120); // given room, the whole name shows
        QTRY_COMPARE(host.row->shownName(), name);
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

    // Over a clear background, so that only the row's own painting counts.
    void renderedRowShowsHoverAndScheme()
    {
        TestShelf shelf;
        Host host(shelf.stage("a.txt", "hello"), *shelf.manager);
        QImage blank(host.row->size(), QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        const QImage rest = host.render(ColorScheme::Light);
        const int area = rest.width() * rest.height();
        QVERIFY(differingPixels(rest, blank) > area / 4);
        // The scheme follows the palette, there and back.
        QVERIFY(differingPixels(host.render(ColorScheme::Dark), rest) > area / 2);
        QCOMPARE(differingPixels(host.render(ColorScheme::Light), rest), 0);
        host.pointAt(host.row->removeButton());
        QTRY_VERIFY(host.row->isDeleteHovered());
        runFor(1.0);
        QVERIFY(differingPixels(host.render(ColorScheme::Light), rest) > 100);
    }
};

QTEST_MAIN(TestFileRowView)
#include "tst_filerowview.moc"
