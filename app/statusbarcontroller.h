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

// The icon in the desktop's tray, and the showing and hiding of the panel.
// It follows the popover's own state and keeps none of its own. The user can
// always reach the panel: through an icon in whatever tray is there, or, when
// none has come within a grace period, through the panel as a window of its
// own, which gives way to an icon as soon as a tray appears.
class StatusBarController final : public QObject {
    Q_OBJECT

public:
    // Desktops start their panel alongside the session's autostart programs,
    // and the tray is up a moment after it: 0.1 s for trayer and 1.5 s for
    // xfce4-panel on a busy two-core machine, more for a heavy shell on a
    // slow login. The window opened once the grace period is over gives way
    // as soon as a tray appears, so a later tray costs a window for a while.
    static constexpr int kTrayGraceMs = 5000;

    // Serves the item over StatusNotifierItem while a watcher is on `bus`,
    // else through Qt's tray class (XEmbed) on X11.
    explicit StatusBarController(Popover &popover,
                                 const QDBusConnection &bus = QDBusConnection::sessionBus(),
                                 int trayGraceMs = kTrayGraceMs, QObject *parent = nullptr);
    ~StatusBarController() override;

    void togglePopover();
    void showPopover();
    void closePopover();
    // The panel asked to close; a hidden one stays hidden.
    void closePopoverIfShown();
    // Takes the icon off the tray at once, also the one served over D-Bus
    // (dropping its objects is what tells the host).
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
    // The present watcher's host would not keep the item; a new watcher
    // gets a new chance.
    bool m_notifierRejected = false;
    bool m_standalone = false;
    bool m_quitting = false;
    QAction *m_toggleAction;
    // Where the last click on the icon landed: the place to open at when the
    // tray tells no geometry (StatusNotifierItem hosts).
    QPoint m_lastClick;
    bool m_clickKnown = false;
    QColor m_glyphColour;
};
