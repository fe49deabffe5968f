// SPDX-License-Identifier: MIT
#pragma once

#include "privatebus.h"
#include "statusnotifieritem.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

#include <utility>

// A StatusNotifierWatcher with the habits of real hosts: one that keeps what
// it is given (and may drop it later, as GNOME losing a race does), one that
// knows only items registered by name, one that refuses outright.
class FakeWatcher final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    enum class Host { Keeps, TakesNamesOnly, Refuses };

    FakeWatcher(const PrivateBus &bus, Host host)
        : m_connectionName(QStringLiteral("watcher-%1").arg(++s_count))
        , m_bus(bus.connect(m_connectionName))
        , m_host(host)
    {
        m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                             QDBusConnection::ExportAllContents);
        m_bus.registerService(StatusNotifierItem::kWatcherService);
    }
    ~FakeWatcher() override
    {
        m_bus.unregisterService(StatusNotifierItem::kWatcherService);
        QDBusConnection::disconnectFromBus(m_connectionName);
    }

    QStringList items() const { return m_items; }
    int registrations() const { return m_registrations; }

    // As the host's own watcher announces an item it gave up on.
    void drop()
    {
        const QStringList dropped = std::exchange(m_items, {});
        for (const QString &item : dropped) {
            Q_EMIT StatusNotifierItemUnregistered(item);
        }
    }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &serviceOrPath)
    {
        ++m_registrations;
        if (m_host == Host::Refuses ||
            (m_host == Host::TakesNamesOnly && serviceOrPath.startsWith(u'/'))) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("not today"));
            return;
        }
        // Keyed as GNOME keys an item registered by path.
        const QString item = serviceOrPath.startsWith(u'/')
                                 ? message().service() + u'@' + serviceOrPath
                                 : serviceOrPath;
        if (!m_items.contains(item)) {
            m_items.append(item);
        }
        Q_EMIT StatusNotifierItemRegistered(item);
    }

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierItemUnregistered(const QString &item);

private:
    static inline int s_count = 0;
    QString m_connectionName;
    QDBusConnection m_bus;
    Host m_host;
    QStringList m_items;
    int m_registrations = 0;
};
