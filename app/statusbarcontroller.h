// SPDX-License-Identifier: MIT
#pragma once

#include "xembedtraywatch.h"

#include <QColor>
#include <QDBusConnection>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QTimer>

#include <memory>

class Popover;
class QAction;
class QDBusServiceWatcher;
class QSystemTrayIcon;
class StatusNotifierItem;

// The tray icon, and the showing and hiding of the panel, following the
// popover's own state. The user can always reach the panel: through an icon in
// whatever tray is there, or, when none came within a grace period, through
// the panel as a window of its own until a tray appears.
class StatusBarController final : public QObject {
    Q_OBJECT

public:
    // A session's tray is up a moment after its autostart programs start:
    // 0.1 s for trayer, 1.5 s for xfce4-panel on a busy two-core machine, more
    // for a heavy shell. A later tray costs a window for a while.
    static constexpr int kTrayGraceMs = 5000;

    // Serves the item over StatusNotifierItem while a watcher is on `bus`,
    // else through Qt's tray class (XEmbed) on X11.
    explicit StatusBarController(Popover &popover,
                                 const QDBusConnection &bus = QDBusConnection::sessionBus(),
                                 int trayGraceMs = kTrayGraceMs, QObject *parent = nullptr);
    ~StatusBarController() override;

    void togglePopover();
    // The panel asked to close; a hidden one stays hidden.
    void closePopoverIfShown();
    // Takes the icon off the tray at once (over D-Bus, dropping its objects
    // is what tells the host).
    void hideStatusItem();

    // Set while the icon is offered over StatusNotifierItem.
    StatusNotifierItem *notifierItem() const { return m_notifierItem.get(); }
    QMenu &menu() { return m_menu; }
    // The panel stands in for a missing tray as an ordinary window.
    bool standsInForTray() const { return m_standalone; }

private:
    // Picks the icon, or the window, for the trays there are now.
    void settle();
    void showNotifierItem();
    void showXembedItem();
    void recolourXembedItem();
    void recolourOnceEmbedded();
    void openWindow();
    void leaveWindow();

    Popover &m_popover;
    QDBusConnection m_bus;
    QMenu m_menu; // before the items, which point to it until they go
    std::unique_ptr<QSystemTrayIcon> m_xembedItem;
    std::unique_ptr<StatusNotifierItem> m_notifierItem;
    QDBusServiceWatcher *m_watcherWatch = nullptr;
    XembedTrayWatch m_xembedWatch;
    QTimer m_graceTimer;
    bool m_watcherPresent = false;
    // The present watcher's host would not keep the item; a new one may.
    bool m_notifierRejected = false;
    bool m_standalone = false;
    bool m_quitting = false;
    QAction *m_toggleAction;
    // Where to open when the tray tells no geometry (StatusNotifierItem hosts).
    QPoint m_lastClick;
    bool m_clickKnown = false;
    QColor m_glyphColour;
};
