// SPDX-License-Identifier: MIT
#pragma once

#include "backgroundpool.h"

#include <QObject>

#include <memory>

class Popover;
class StashletManager;
class StashletPopupView;
class StatusBarController;

// Builds the application's long-lived parts in order and clears the shelf at
// the end. Destroyed before the QApplication, to which its pool queues work.
class AppDelegate final : public QObject {
    Q_OBJECT

public:
    // Makes the popover and the store; the store empties the staging folder.
    AppDelegate();
    ~AppDelegate() override;

    // Once the event loop runs: the panel in the popover, then the tray icon
    // (or, while no tray is there, the panel as a window).
    void applicationDidFinishLaunching();
    // Whatever asked for the end: copies in flight stop, listed copies go.
    void applicationWillTerminate();

    StashletManager &manager() const { return *m_manager; }
    Popover &popover() const { return *m_popover; }
    // Made when the panel first opens.
    StashletPopupView *panel() const { return m_panel; }
    // Shows or hides the panel, as a click on the tray icon does.
    void togglePanel();
    // After termination: true when the background work stopped within `msecs`.
    bool waitForBackgroundWork(int msecs);

private:
    BackgroundPool m_pool;
    std::unique_ptr<StatusBarController> m_statusBarController;
    std::unique_ptr<Popover> m_popover;
    std::shared_ptr<StashletManager> m_manager;
    StashletPopupView *m_panel = nullptr;
};
