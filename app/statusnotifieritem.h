// SPDX-License-Identifier: MIT
#pragma once

#include "dbustypes.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QTimer>

class DBusMenuExporter;
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
    // The watcher's bus name: a tray is there when somebody owns it.
    static const QString kWatcherService;

    // Serves the item on `bus` and registers it with the watcher now there,
    // checking that the host keeps it. `menu` is what the host shows.
    StatusNotifierItem(QMenu &menu, const QDBusConnection &bus, QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    // A watcher is on `bus`: there is a tray to serve the item to.
    static bool watcherPresent(const QDBusConnection &bus);

    // The named icon hosts recolour, and the images for hosts that cannot.
    void setIcon(const QString &name, const QIcon &images);
    // Whether `entry`, as a watcher lists or announces items, is this one.
    bool isNamedBy(const QString &entry) const;

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
    // The watcher answered the registration: the icon is in the tray.
    void registered();
    // The host dropped or refused the item every time it was offered.
    void rejected();

    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString &status);

private Q_SLOTS:
    // Private, so not exported: the watcher's signal naming a dropped item.
    void handleItemUnregistered(const QString &entry);

private:
    void registerWithWatcher();
    void confirmRegistration();
    void retryLater(const QString &why);

    QDBusConnection m_bus;
    QMenu &m_menu;
    DBusMenuExporter *m_menuExporter;
    QString m_iconName;
    SniPixmapList m_pixmaps;
    // Registrations made since the host last kept the item for a while; a
    // host that drops it every time is given up on after a few.
    int m_attempts = 0;
    bool m_givenUp = false;
    bool m_byName = false;
    QString m_service; // owned only once a host is offered the item by name
    QTimer m_retryTimer;
    QTimer m_confirmTimer;
    QTimer m_settledTimer;
};
