// SPDX-License-Identifier: MIT
#include "colorscheme.h"
#include "fileicon.h"
#include "snappybutton.h"
#include "ticker.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QPainter>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <functional>

namespace {

QImage paintToImage(QSize size, const std::function<void(QPainter &)> &draw)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    draw(painter);
    return image;
}

QRect coverage(const QImage &image, int minAlpha = 0)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > minAlpha)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

class TestPaint final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Run with no desktop named, as on i3, openbox or sway, where Qt's own
    // provider gives every file the style's blank page.
    void typesGetTheirOwnIconsWithoutADesktop()
    {
        QVERIFY(qEnvironmentVariableIsEmpty("XDG_CURRENT_DESKTOP"));
        QTemporaryDir dir;
        QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(dir.filePath(QStringLiteral("a.png"))));
        std::ofstream(dir.filePath(QStringLiteral("note.txt")).toStdString()) << "some words\n";
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        const QIcon blank = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        QList<QImage> images{paintToImage(
            QSize(32, 32), [&](QPainter &p) { p.drawPixmap(0, 0, blank.pixmap(32, 32)); })};
        for (const char *name : {"a.png", "note.txt", "folder"}) {
            images.append(paintToImage(QSize(32, 32), [&](QPainter &p) {
                FileIcon::paint(p, QRectF(0, 0, 32, 32), dir.filePath(QLatin1String(name)),
                                FileIcon::desktopProvider(), ColorScheme::Light);
            }));
        }
        for (int i = 0; i < images.size(); ++i) {
            QVERIFY(!coverage(images[i]).isEmpty());
            for (int j = i + 1; j < images.size(); ++j)
                QVERIFY2(images[i] != images[j],
                         qPrintable(QStringLiteral("%1 = %2").arg(i).arg(j)));
        }
    }

    // A press changes only the drawn label, moving no widget, until
    // released; the keyboard clicks the button too.
    void buttonPressesOnlyItsLabel()
    {
        Ticker ticker;
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *button = new SnappyButton(&window, &ticker);
        auto *neighbour = new SnappyButton(&window, &ticker);
        for (SnappyButton *each : {button, neighbour}) {
            each->setLabelSize(QSize(40, 20));
            layout->addWidget(each);
        }
        layout->addStretch();
        button->setLabelPainter(
            [](QPainter &p, const QRectF &frame) { p.fillRect(frame, Qt::black); });
        window.resize(200, 20);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage atRest = button->grab().toImage();
        const QList<QRect> geometry{button->geometry(), neighbour->geometry()};
        const auto settle = [&] {
            for (int i = 0; i < 100; ++i)
                ticker.advance(0.01);
        };
        QTest::mousePress(button, Qt::LeftButton);
        settle();
        const QRect pressed = coverage(button->grab().toImage(), 128);
        QVERIFY2(QRect(1, 1, 38, 18).contains(pressed) && pressed.width() > 30,
                 qPrintable(QStringLiteral("%1 x %2").arg(pressed.width()).arg(pressed.height())));
        QCOMPARE((QList<QRect>{button->geometry(), neighbour->geometry()}), geometry);
        QTest::mouseRelease(button, Qt::LeftButton);
        settle();
        QCOMPARE(button->grab().toImage(), atRest);

        QVERIFY(button->focusPolicy() & Qt::TabFocus);
        button->setFocus();
        for (const int key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
            QSignalSpy clicks(button, &QAbstractButton::clicked);
            QTest::keyClick(button, Qt::Key(key));
            QTRY_COMPARE(clicks.count(), 1);
        }
    }
};

QTEST_MAIN(TestPaint)
#include "tst_paint.moc"
