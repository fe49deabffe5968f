// SPDX-License-Identifier: MIT
#pragma once

#include "dbustypes.h"
#include "texts.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QTimer>

class QMenu;

// The tray item as org.kde.StatusNotifierItem. Qt's own tray class drops the
// point a host passes with a click (in the compositor's global space), the
// only place to open the panel where the tray tells no geometry.
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

    // Serves the item and `menu` on `bus`, registered with the watcher now
    // there and checked that its host keeps it.
    StatusNotifierItem(QMenu &menu, const QDBusConnection &bus, QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    // The named icon hosts recolour, and the images for hosts that cannot.
    void setIcon(const QString &name, const QIcon &images);
    // Whether `entry`, as a watcher lists or announces items, is this one.
    bool isNamedBy(const QString &entry) const;

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const;
    QString title() const { return Texts::appName(); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconThemePath() const;
    QString iconName() const { return m_iconName; }
    SniPixmapList iconPixmap() const { return m_pixmaps; }
    QString emptyName() const { return {}; }
    SniPixmapList noPixmaps() const { return {}; }
    SniToolTip toolTip() const { return {QString(), {}, title(), QString()}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menuPath() const { return QDBusObjectPath(QStringLiteral("/MenuBar")); }

public Q_SLOTS:
    void Activate(int x, int y) { Q_EMIT activated(QPoint(x, y)); }
    void SecondaryActivate(int x, int y) { Q_EMIT activated(QPoint(x, y)); }
    void ContextMenu(int x, int y);
    void Scroll(int, const QString &) {}

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
    QString m_iconName;
    SniPixmapList m_pixmaps;
    // Offers since the host last kept the item a while: a few, then give up.
    int m_attempts = 0;
    bool m_givenUp = false;
    bool m_byName = false;
    QString m_service; // owned only once a host is offered the item by name
    QTimer m_retryTimer;
    QTimer m_confirmTimer;
    QTimer m_settledTimer;
};
