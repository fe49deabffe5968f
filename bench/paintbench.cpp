// SPDX-License-Identifier: MIT
// Paints the panel with five rows, offscreen at scale 1, while the rows'
// hover springs and the badge's colour spring keep moving, and prints how
// long one full paint takes.
#include "backgroundpool.h"
#include "contentarea.h"
#include "diagnostics.h"
#include "filerowview.h"
#include "panelheader.h"
#include "stashletmanager.h"
#include "stashletpopupview.h"
#include "ticker.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The staging folder, the samples and the store's lines stay in a folder of our own.
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    std::filesystem::create_directory(root / "tmp");
    std::filesystem::permissions(root / "tmp", std::filesystem::perms::owner_all);
    qputenv("TMPDIR", QByteArray::fromStdString((root / "tmp").native()));
    Diagnostics::setOutput(::open((root / "log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    BackgroundPool pool;
    const auto manager = StashletManager::create(pool);
    StashletPopupView panel(*manager, pool);
    panel.show();
    for (int i = 0; i < 5; ++i) {
        const auto sample = root / ("file-" + std::to_string(i) + ".txt");
        std::ofstream(sample) << std::string(size_t(1) << (10 + 3 * i), 's');
        manager->addFile(sample);
    }
    for (int round = 0; round < 3; ++round) {
        pool.waitForDone(-1);
        QCoreApplication::sendPostedEvents();
    }
    for (int i = 0; i < 100; ++i)
        Ticker::shared().advance(0.05); // every finite animation reaches its end

    QImage image(panel.size(), QImage::Format_ARGB32_Premultiplied);
    const QList<FileRowView *> rows = panel.contentArea()->rows();
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
            panel.header()->setEntryCount(frame % 40 == 0 ? 4 : 5);
        }
        Ticker::shared().advance(kFrameSeconds);
        image.fill(Qt::transparent);
        QElapsedTimer clock;
        clock.start();
        panel.render(&image);
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
    pool.waitForDone(-1);
    return 0;
}
