// SPDX-License-Identifier: MIT
#pragma once

#include "backgroundpool.h"
#include "colorscheme.h"
#include "diagnostics.h"
#include "filetree.h"
#include "schemepalette.h"
#include "stashletmanager.h"
#include "stashletpopupview.h"
#include "ticker.h"

#include <QCoreApplication>
#include <QImage>
#include <QPalette>
#include <QTemporaryDir>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

// A panel over a real store whose staging folder and sample files live in a
// temporary folder, for tests and benchmarks alike.
class PanelFixture final {
public:
    explicit PanelFixture(ColorScheme scheme = ColorScheme::Light)
        : m_savedTmp(qgetenv("TMPDIR"))
        , m_root(m_dir.path().toStdString())
    {
        std::filesystem::create_directories(m_root / "tmp");
        std::filesystem::permissions(m_root / "tmp", std::filesystem::perms::owner_all);
        qputenv("TMPDIR", QByteArray::fromStdString((m_root / "tmp").native()));
        m_logFd = ::open((m_root / "log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        Diagnostics::setOutput(m_logFd);
        manager = StashletManager::create(pool);
        panel = std::make_unique<StashletPopupView>(*manager, pool);
        setScheme(scheme);
    }
    ~PanelFixture()
    {
        panel.reset();
        manager.reset();
        pool.waitForDone(-1);
        Diagnostics::setOutput(1);
        ::close(m_logFd);
        FileTree::removeItem(m_root);
        if (m_savedTmp.isNull()) {
            qunsetenv("TMPDIR");
        } else {
            qputenv("TMPDIR", m_savedTmp);
        }
    }
    PanelFixture(const PanelFixture &) = delete;
    PanelFixture &operator=(const PanelFixture &) = delete;

    void setScheme(ColorScheme scheme) { panel->setPalette(schemePalette(scheme)); }

    // A sample file of `bytes` bytes named `name`, outside the staging folder.
    std::filesystem::path sample(const std::string &name, size_t bytes = 1000)
    {
        const auto path = m_root / "samples" / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << std::string(bytes, 's');
        return path;
    }

    // Puts `count` sample files on the shelf and waits until they are listed.
    void fill(int count)
    {
        static const char *const names[] = {"Relazione trimestrale 2026.pdf",
                                            "foto-vacanze.jpg",
                                            "presentazione.pptx",
                                            "note.txt",
                                            "archivio-progetto-finale-versione-definitiva.zip",
                                            "extra.bin"};
        for (int i = 0; i < count; ++i) {
            manager->addFile(sample(names[i], size_t(1) << (10 + 3 * i)));
        }
        settleWork();
    }

    // Runs background work dry and delivers what it queued to the main queue.
    void settleWork()
    {
        for (int round = 0; round < 3; ++round) {
            pool.waitForDone(-1);
            QCoreApplication::sendPostedEvents();
        }
    }

    // Lets every finite animation reach its end.
    static void settleAnimations()
    {
        for (int i = 0; i < 100; ++i) {
            Ticker::shared().advance(0.05);
        }
    }

    QImage render(double devicePixelRatio = 2.0)
    {
        QImage image(panel->size() * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(devicePixelRatio);
        image.fill(Qt::transparent);
        panel->render(&image);
        return image;
    }

    BackgroundPool pool;
    std::shared_ptr<StashletManager> manager;
    std::unique_ptr<StashletPopupView> panel;

private:
    QByteArray m_savedTmp;
    QTemporaryDir m_dir;
    std::filesystem::path m_root;
    int m_logFd = -1;
};
