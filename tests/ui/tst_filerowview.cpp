// SPDX-License-Identifier: MIT
#include "contentarea.h"
#include "filerowview.h"
#include "panelfixture.h"
#include "snappybutton.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

namespace fs = std::filesystem;

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

int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    }
    return count;
}

} // namespace

class TestFileRowView final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The entry neither first nor last, its name not UTF-8: share and drag
    // carry its staged copy byte for byte, and a drag nothing once it is gone.
    void shareAndDragCarryExactlyThisEntrysStagedCopy()
    {
        PanelFixture shelf;
        for (const char *name : {"first.txt", "slides \xe9.pdf", "last.txt"}) {
            shelf.manager->addFile(shelf.sample(name));
            shelf.settleWork();
        }
        const fs::path received = shelf.env.fakeShareHandler();
        const std::string staged = (shelf.env.staging() / "slides \xe9.pdf").native();
        shelf.panel->show();
        FileRowView *middle = shelf.rows().value(1);
        QVERIFY(middle);
        const std::unique_ptr<QMimeData> data = middle->mimeDataForDrag();
        QCOMPARE(data->urls().size(), 1);
        QCOMPARE(
            QByteArray::fromPercentEncoding(data->urls().at(0).path(QUrl::FullyEncoded).toLatin1()),
            QByteArray::fromStdString(staged));
        QTest::mouseClick(middle->airDropButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(fs::exists(received), 10'000);
        QCOMPARE(readAll(received), staged);
        shelf.settleWork();
        QCOMPARE(shelf.manager->tempFiles().size(), 3);
        QVERIFY(shelf.env.lines().isEmpty());
        fs::remove(middle->file().path());
        QVERIFY(!middle->mimeDataForDrag()->hasUrls());
    }

    // Over a clear background, so that only the card's own painting counts.
    void cardPaintsItsSchemeAndHoverAndIsNamedForScreenReaders()
    {
        PanelFixture shelf;
        shelf.manager->addFile(shelf.sample("appunti.txt", 4000));
        shelf.settleWork();
        fs::create_directory(shelf.env.root() / "cartella");
        shelf.manager->addFile(shelf.env.root() / "cartella");
        shelf.settleWork();
        shelf.panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(shelf.panel.get()));
        FileRowView *row = shelf.rows().value(0);
        QVERIFY(row);
        const auto name = [](QWidget *widget) {
            return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        };
        QCOMPARE(QAccessible::queryAccessibleInterface(row)->role(), QAccessible::ListItem);
        QCOMPARE(name(row), QStringLiteral("appunti.txt, 4 kB"));
        QCOMPARE(name(shelf.rows().value(1)), QStringLiteral("cartella, Dimensione sconosciuta"));
        QVERIFY(!name(row->removeButton()).isEmpty());
        // What the share button does here, not a service Linux has not got.
        QCOMPARE(name(row->airDropButton()), QStringLiteral("Invia a un dispositivo"));
        QCOMPARE(row->airDropButton()->toolTip(), name(row->airDropButton()));

        const auto render = [&](ColorScheme scheme) {
            shelf.setScheme(scheme);
            QImage image(row->size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            row->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            return image;
        };
        const QImage rest = render(ColorScheme::Light);
        const int area = rest.width() * rest.height();
        QImage blank(rest.size(), rest.format());
        blank.fill(Qt::transparent);
        QVERIFY(differingPixels(rest, blank) > area / 4);
        QVERIFY(differingPixels(render(ColorScheme::Dark), rest) > area / 2);
        QCOMPARE(differingPixels(render(ColorScheme::Light), rest), 0);
        // The card itself, not only a button, answers the pointer.
        QTest::mouseMove(row, QPoint(30, row->height() / 2));
        QTRY_VERIFY(row->isHovered());
        PanelFixture::settleAnimations();
        QVERIFY(differingPixels(render(ColorScheme::Light), rest) > area / 4);
    }

    void aFileNoApplicationOpensIsNamedAfterTheText()
    {
        PanelFixture shelf;
        shelf.fill(1);
        QVERIFY(shelf.showActive());
        // No handler of the program's and no desktop opener on PATH.
        qputenv("PATH", QByteArray::fromStdString((shelf.env.root() / "nobin").native()));
        FileRowView *row = shelf.rows()[0];
        row->setFocus(Qt::TabFocusReason);
        QTest::keyClick(row, Qt::Key_Return);
        QCOMPARE(shelf.env.lines(),
                 QStringList{QStringLiteral("No application opens the staged file: ") +
                             QString::fromStdString(row->file().path().native())});
    }

    // What leaves with the focus hands it to the card now in its place when
    // the keyboard had it there, so Delete can go on; else to the panel, so
    // that Return acts on nothing the user did not choose. Qt would pass it
    // along the tab chain: "Esci" after "Cancella Tutto", where Return quits.
    void focusMovesOnFromWhatLeaves_data()
    {
        QTest::addColumn<QString>("target"); // the card, its remove button, "Cancella Tutto"
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("key");  // pressed on it once focused; 0: it is clicked
        QTest::addColumn<int>("next"); // the card focused after, -1 for the panel
        QTest::newRow("Delete, first card") << "card" << 0 << int(Qt::Key_Delete) << 0;
        QTest::newRow("BackSpace, last card") << "card" << 2 << int(Qt::Key_Backspace) << 1;
        QTest::newRow("Delete, clicked card") << "clicked card" << 1 << int(Qt::Key_Delete) << -1;
        QTest::newRow("remove by Return") << "remove" << 0 << int(Qt::Key_Return) << -1;
        QTest::newRow("clear by Return") << "clear" << -1 << int(Qt::Key_Return) << -1;
        QTest::newRow("clear clicked") << "clear" << -1 << 0 << -1;
    }
    void focusMovesOnFromWhatLeaves()
    {
        QFETCH(QString, target);
        QFETCH(int, index);
        QFETCH(int, key);
        QFETCH(int, next);
        PanelFixture shelf;
        shelf.fill(3);
        QVERIFY(shelf.showActive());
        QSignalSpy quit(shelf.panel.get(), &StashletPopupView::terminateRequested);
        QList<TempFile> left = shelf.manager->tempFiles();
        QWidget *widget = shelf.panel->clearButton();
        if (index >= 0) {
            FileRowView *row = shelf.rows()[index];
            widget = target == u"remove" ? static_cast<QWidget *>(row->removeButton()) : row;
        }
        if (key == 0 || target == u"clicked card")
            QTest::mouseClick(widget, Qt::LeftButton);
        else
            widget->setFocus(Qt::TabFocusReason);
        if (key != 0)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        if (index < 0)
            left.clear();
        else
            left.removeAt(index);
        QTRY_COMPARE(shelf.manager->tempFiles(), left);
        shelf.settleWork();
        QWidget *expected =
            next < 0 ? static_cast<QWidget *>(shelf.panel.get()) : shelf.rows()[next];
        QCOMPARE(QApplication::focusWidget(), expected);
        if (next >= 0) {
            QVERIFY(shelf.rows()[next]->showsFocusRing());
            return;
        }
        QTest::keyClick(expected, Qt::Key_Return);
        shelf.settleWork();
        QCOMPARE(quit.count(), 0);
        QCOMPARE(shelf.manager->tempFiles(), left);
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
};

QTEST_MAIN(TestFileRowView)
#include "tst_filerowview.moc"
