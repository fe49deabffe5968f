// SPDX-License-Identifier: MIT
// Paints the panel with five rows, offscreen at scale 1, while the rows'
// hover springs and the badge's colour spring keep moving, and prints how
// long one full paint takes.
#include "contentarea.h"
#include "filerowview.h"
#include "panelfixture.h"
#include "panelheader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PanelFixture shelf;
    shelf.panel->show();
    shelf.fill(5);
    PanelFixture::settleAnimations();

    QImage image(shelf.panel->size(), QImage::Format_ARGB32_Premultiplied);
    const QList<FileRowView *> rows = shelf.panel->contentArea()->rows();
    constexpr int kWarmUp = 60;
    constexpr int kFrames = 1200;
    constexpr double kFrameSeconds = 1.0 / 60;
    std::vector<double> samples;
    samples.reserve(kFrames);
    for (int frame = 0; frame < kWarmUp + kFrames; ++frame) {
        // Every 20 frames the pointer moves to another row and the badge
        // changes colour, so springs are always in flight.
        if (frame % 20 == 0) {
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(rows.at((frame / 20 + 4) % 5), &leave);
            QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), QPointF(20, 20));
            QCoreApplication::sendEvent(rows.at((frame / 20) % 5), &enter);
            shelf.panel->header()->setEntryCount(frame % 40 == 0 ? 4 : 5);
        }
        Ticker::shared().advance(kFrameSeconds);
        image.fill(Qt::transparent);
        QElapsedTimer clock;
        clock.start();
        shelf.panel->render(&image);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (frame >= kWarmUp) {
            samples.push_back(ms);
        }
    }
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[size_t(q * double(samples.size() - 1))]; };
    std::printf(
        "QEL Stashlet paint benchmark: 320 x 420 panel, 5 rows, springs running, %d frames\n",
        kFrames);
    std::printf("min %.3f ms  p90 %.3f ms  max %.3f ms\n", samples.front(), at(0.9),
                samples.back());
    std::printf("paint-ms-median %.3f\n", at(0.5));
    return 0;
}
