// SPDX-License-Identifier: MIT
#pragma once

#include "notificationcenter.h"

#include <QColor>
#include <QDBusConnection>
#include <QMenu>
#include <QObject>
#include <QPoint>

#include <memory>

class Popover;
class QAction;
class QSystemTrayIcon;
class StatusNotifierItem;

// The icon in the desktop's tray, and the showing and hiding of the panel.
// It follows the popover's own state and keeps none of its own.
class StatusBarController final : public QObject {
    Q_OBJECT

public:
    // Serves the item over StatusNotifierItem when a watcher is on `bus`,
    // else through Qt's tray class (XEmbed).
    explicit StatusBarController(Popover &popover,
                                 const QDBusConnection &bus = QDBusConnection::sessionBus(),
                                 QObject *parent = nullptr);
    ~StatusBarController() override;

    void togglePopover();
    void showPopover();
    void closePopover();
    void handleCloseNotification();
    // Takes the icon off the tray at once, also the one served over D-Bus
    // (releasing its bus name is what tells the host).
    void hideStatusItem();

    // One of the two is set.
    QSystemTrayIcon *xembedItem() const { return m_xembedItem.get(); }
    StatusNotifierItem *notifierItem() const { return m_notifierItem.get(); }
    QMenu &menu() { return m_menu; }

private:
    void showXembedItem();
    void recolourXembedItem();

    Popover &m_popover;
    QMenu m_menu; // before the items, which point to it until they go
    std::unique_ptr<QSystemTrayIcon> m_xembedItem;
    std::unique_ptr<StatusNotifierItem> m_notifierItem;
    QAction *m_toggleAction;
    NotificationCenter::Token m_closeObserver = 0;
    // Where the last click on the icon landed: the place to open at when the
    // tray tells no geometry (StatusNotifierItem hosts).
    QPoint m_lastClick;
    bool m_clickKnown = false;
    QColor m_glyphColour;
};
