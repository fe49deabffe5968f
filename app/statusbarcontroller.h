// SPDX-License-Identifier: MIT
#pragma once

#include "notificationcenter.h"

#include <QMenu>
#include <QObject>
#include <QPoint>

#include <memory>

class Popover;
class QAction;
class QSystemTrayIcon;

// The icon in the desktop's tray, and the showing and hiding of the panel.
// It follows the popover's own state and keeps none of its own.
class StatusBarController final : public QObject {
    Q_OBJECT

public:
    explicit StatusBarController(Popover &popover, QObject *parent = nullptr);
    ~StatusBarController() override;

    void togglePopover();
    void showPopover();
    void closePopover();
    void handleCloseNotification();

    QSystemTrayIcon &statusItem() const { return *m_statusItem; }
    QMenu &menu() { return m_menu; }

    // The tray glyph drawn in `foreground`, at the sizes trays ask for.
    static QIcon trayIcon(const QColor &foreground);

private:
    void updateStatusItem();

    Popover &m_popover;
    QMenu m_menu; // before the item, which points to it until it goes
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    QAction *m_toggleAction;
    NotificationCenter::Token m_closeObserver = 0;
    // Where the last click on the icon landed: the place to open at when the
    // tray tells no geometry (StatusNotifierItem hosts).
    QPoint m_lastClick;
};
