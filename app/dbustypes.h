// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <tuple>

// What the StatusNotifierItem and com.canonical.dbusmenu interfaces put on the
// wire, in the shapes their hosts expect. Each struct with fields() is a D-Bus
// structure of the members it ties, in that order, for writing and reading alike.

// One image of an icon, (iiay): ARGB32 in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
    static auto fields(auto &self) { return std::tie(self.width, self.height, self.argb); }
};
using SniPixmapList = QList<SniPixmap>;

// (sa(iiay)ss): icon name, images, title, text.
struct SniToolTip {
    QString iconName;
    SniPixmapList pixmaps;
    QString title;
    QString text;
    static auto fields(auto &self)
    {
        return std::tie(self.iconName, self.pixmaps, self.title, self.text);
    }
};

// (ia{sv}av): an item, its properties and its children, each child a variant.
struct DBusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

// (ia{sv})
struct DBusMenuItem {
    int id = 0;
    QVariantMap properties;
    static auto fields(auto &self) { return std::tie(self.id, self.properties); }
};
using DBusMenuItemList = QList<DBusMenuItem>;

// (isvu): one click or hover the host reports.
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
    static auto fields(auto &self)
    {
        return std::tie(self.id, self.eventId, self.data, self.timestamp);
    }
};
using DBusMenuEventList = QList<DBusMenuEvent>;

template <typename T>
concept DBusStructure = requires(T &value)
{
    T::fields(value);
};

template <DBusStructure T> QDBusArgument &operator<<(QDBusArgument &argument, const T &value)
{
    argument.beginStructure();
    std::apply([&argument](const auto &...field) { (argument << ... << field); }, T::fields(value));
    argument.endStructure();
    return argument;
}

template <DBusStructure T> const QDBusArgument &operator>>(const QDBusArgument &argument, T &value)
{
    argument.beginStructure();
    std::apply([&argument](auto &...field) { (argument >> ... >> field); }, T::fields(value));
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayoutItem &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayoutItem &item);

// Once per process, before any of these crosses the bus.
void registerDBusTypes();
