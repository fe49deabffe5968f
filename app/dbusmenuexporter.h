// SPDX-License-Identifier: MIT
#pragma once

#include "dbustypes.h"

#include <QDBusContext>
#include <QDBusVariant>
#include <QObject>
#include <QTimer>

class QAction;
class QMenu;

// A QMenu's actions as com.canonical.dbusmenu, one level deep, for hosts that
// draw the menu themselves (GNOME's AppIndicator extension, waybar). Item n is
// the menu's n-th action; 0 is the root.
class DBusMenuExporter final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    DBusMenuExporter(QMenu &menu, QObject *parent = nullptr);

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                   DBusMenuLayoutItem &layout);
    DBusMenuItemList GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames);
    QDBusVariant GetProperty(int id, const QString &name);
    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp);
    QList<int> EventGroup(const DBusMenuEventList &events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors);

Q_SIGNALS:
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);

private:
    QVariantMap propertiesOf(int id) const;
    QAction *actionOf(int id) const;

    QMenu &m_menu;
    uint m_revision = 1;
    QTimer m_layoutUpdate;
};
