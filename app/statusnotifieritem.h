// SPDX-License-Identifier: MIT
#pragma once

#include "dbustypes.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>
#include <QPoint>

class DBusMenuExporter;
class QDBusServiceWatcher;
class QMenu;

// The tray item served over D-Bus as org.kde.StatusNotifierItem. Qt's own
// tray class speaks the same protocol but drops the point the host passes
// with a click, and that point is the only place to open the panel at where
// the tray tells no geometry (every StatusNotifierItem host, and any Wayland
// session). The host's coordinates are in the compositor's global space.
class StatusNotifierItem final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(SniPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(SniPixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(SniPixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menuPath)

public:
    // Serves the item on `bus` and registers it with the watcher, again
    // whenever a watcher (re)appears. `menu` is what the host shows.
    StatusNotifierItem(QMenu &menu, const QDBusConnection &bus, QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    // A watcher is on `bus`: there is a tray to serve the item to.
    static bool watcherPresent(const QDBusConnection &bus);

    // The named icon hosts recolour, and the images for hosts that cannot.
    void setIcon(const QString &name, const QIcon &images);
    QString serviceName() const { return m_service; }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const;
    QString title() const;
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconThemePath() const;
    QString iconName() const { return m_iconName; }
    SniPixmapList iconPixmap() const { return m_pixmaps; }
    QString emptyName() const { return {}; }
    SniPixmapList noPixmaps() const { return {}; }
    SniToolTip toolTip() const;
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menuPath() const;

public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString &orientation);

Q_SIGNALS:
    // A click on the item, at that point of the screen.
    void activated(const QPoint &point);

    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString &status);

private:
    void registerWithWatcher();

    QDBusConnection m_bus;
    QMenu &m_menu;
    QString m_service;
    DBusMenuExporter *m_menuExporter;
    QDBusServiceWatcher *m_watcherWatcher;
    QString m_iconName;
    SniPixmapList m_pixmaps;
};
