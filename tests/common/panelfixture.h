// SPDX-License-Identifier: MIT
#pragma once

#include "backgroundpool.h"
#include "colorscheme.h"
#include "contentarea.h"
#include "filerowview.h"
#include "shelftestenv.h"
#include "stashletmanager.h"
#include "stashletpopupview.h"
#include "ticker.h"

#include <QCoreApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPalette>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>

// A panel over a real store whose staging folder and sample files live in a
// private ShelfTestEnv.
class PanelFixture final {
public:
    explicit PanelFixture(ColorScheme scheme = ColorScheme::Light) { setScheme(scheme); }
    ~PanelFixture()
    {
        panel.reset();
        manager.reset();
        pool.waitForDone(-1);
    }
    PanelFixture(const PanelFixture &) = delete;
    PanelFixture &operator=(const PanelFixture &) = delete;

    // A palette that reads as the light or the dark scheme, as a desktop's would.
    void setScheme(ColorScheme scheme)
    {
        const bool dark = scheme == ColorScheme::Dark;
        QPalette palette;
        palette.setColor(QPalette::Window, dark ? QColor(38, 38, 40) : QColor(246, 246, 246));
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(role, dark ? Qt::white : Qt::black);
        panel->setPalette(palette);
    }
    QList<FileRowView *> rows() const { return panel->contentArea()->rows(); }

    // Shows the panel as the tray opens it: active, the focus on no button.
    bool showActive()
    {
        panel->show();
        panel->activateWindow();
        const bool active = QTest::qWaitForWindowActive(panel.get());
        panel->setFocus(Qt::PopupFocusReason);
        return active;
    }

    std::filesystem::path sample(const std::string &name, size_t bytes = 1000)
    {
        return env.file(std::filesystem::path("samples") / name, std::string(bytes, 's'));
    }

    void fill(int count)
    {
        static const char *const names[] = {"Relazione trimestrale 2026.pdf", "foto-vacanze.jpg",
                                            "presentazione.pptx", "note.txt",
                                            "archivio-progetto-finale-versione-definitiva.zip"};
        for (int i = 0; i < count; ++i)
            manager->addFile(sample(names[i], size_t(1) << (10 + 3 * i)));
        settleWork();
    }

    void settleWork() { settle(pool); }

    static void settleAnimations()
    {
        for (int i = 0; i < 100; ++i)
            Ticker::shared().advance(0.05);
    }

    QImage render(double devicePixelRatio = 2.0)
    {
        QImage image(panel->size() * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(devicePixelRatio);
        image.fill(Qt::transparent);
        panel->render(&image);
        return image;
    }

    ShelfTestEnv env;
    BackgroundPool pool;
    std::shared_ptr<StashletManager> manager = StashletManager::create(pool);
    std::unique_ptr<StashletPopupView> panel = std::make_unique<StashletPopupView>(*manager, pool);
};

class PaintSpy final : public QObject {
public:
    explicit PaintSpy(QWidget *widget) { widget->installEventFilter(this); }
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};
