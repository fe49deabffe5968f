// SPDX-License-Identifier: MIT
// Renders the whole panel in the states people meet, light and dark, to PNG
// files in the folder given as the first argument.
#include "contentarea.h"
#include "dropintake.h"
#include "filerowview.h"
#include "panelfixture.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QEnterEvent>
#include <QMimeData>

#include <cstdio>
#include <functional>

namespace {

bool save(const QString &folder, const QString &name, ColorScheme scheme, int rows,
          const std::function<void(PanelFixture &)> &arrange = {})
{
    PanelFixture shelf(scheme);
    shelf.panel->show();
    shelf.fill(rows);
    if (arrange) {
        arrange(shelf);
    }
    PanelFixture::settleAnimations();
    QImage image(shelf.panel->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    // Opaque desktop-like grey behind the translucent panel, as without a compositor.
    image.fill(scheme == ColorScheme::Dark ? QColor(20, 20, 22) : QColor(200, 200, 205));
    shelf.panel->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QString file =
        QStringLiteral("%1/panel-%2-%3.png")
            .arg(folder, name,
                 scheme == ColorScheme::Dark ? QStringLiteral("dark") : QStringLiteral("light"));
    const bool ok = image.save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    shelf.panel->hide();
    return ok;
}

void dragOver(PanelFixture &shelf)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(shelf.sample("drag.txt").native()))});
    ContentArea *content = shelf.panel->contentArea();
    QDragEnterEvent enter(content->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(content, &enter);
}

void hoverFirstRow(PanelFixture &shelf)
{
    QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), QPointF(20, 20));
    QCoreApplication::sendEvent(shelf.panel->contentArea()->rows().at(0), &enter);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery");
    QDir().mkpath(folder);
    bool ok = true;
    for (ColorScheme scheme : {ColorScheme::Light, ColorScheme::Dark}) {
        ok &= save(folder, QStringLiteral("empty"), scheme, 0);
        ok &= save(folder, QStringLiteral("three-rows"), scheme, 3);
        ok &= save(folder, QStringLiteral("five-rows-banner"), scheme, 5, [](PanelFixture &shelf) {
            shelf.panel->contentArea()->dropIntake().showError(
                QStringLiteral("Hai già raggiunto il limite di 5 file"));
        });
        ok &= save(folder, QStringLiteral("drag-over-rows"), scheme, 2, dragOver);
        ok &= save(folder, QStringLiteral("hovered-row"), scheme, 3, hoverFirstRow);
    }
    return ok ? 0 : 1;
}
