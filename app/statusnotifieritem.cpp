// SPDX-License-Identifier: MIT
#include "statusnotifieritem.h"

#include "dbusmenuexporter.h"
#include "texts.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QtEndian>

#include <cstdio>

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");
// Only the protocol's signals, not the Qt signal the controller listens to.
constexpr auto kExport = QDBusConnection::ExportAllSlots |
                         QDBusConnection::ExportScriptableSignals |
                         QDBusConnection::ExportAllProperties;

SniPixmapList pixmapsOf(const QIcon &icon)
{
    SniPixmapList pixmaps;
    for (const QSize &size : icon.availableSizes()) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.size() != size) {
            continue; // a 2x image of a size already listed
        }
        QByteArray argb(int(image.sizeInBytes()), Qt::Uninitialized);
        auto *out = reinterpret_cast<quint32 *>(argb.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                *out++ = qToBigEndian(line[x]);
            }
        }
        pixmaps.append({image.width(), image.height(), argb});
    }
    return pixmaps;
}

} // namespace

StatusNotifierItem::StatusNotifierItem(QMenu &menu, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_menu(menu)
{
    registerDBusTypes();
    // The name the protocol asks for; the counter keeps two items of one
    // process apart.
    static int counter = 0;
    m_service = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(++counter);
    m_menuExporter = new DBusMenuExporter(menu, this);
    m_bus.registerObject(kItemPath, this, kExport);
    m_bus.registerObject(kMenuPath, m_menuExporter, kExport);
    m_bus.registerService(m_service);

    // A watcher that restarts (a panel restarting, the shell reloading its
    // extensions) has forgotten every item.
    m_watcherWatcher = new QDBusServiceWatcher(kWatcherService, m_bus,
                                               QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_watcherWatcher, &QDBusServiceWatcher::serviceRegistered, this,
            &StatusNotifierItem::registerWithWatcher);
    registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem()
{
    m_bus.unregisterService(m_service);
    m_bus.unregisterObject(kMenuPath);
    m_bus.unregisterObject(kItemPath);
}

bool StatusNotifierItem::watcherPresent(const QDBusConnection &bus)
{
    return bus.isConnected() && bus.interface() != nullptr &&
           bus.interface()->isServiceRegistered(kWatcherService).value();
}

void StatusNotifierItem::registerWithWatcher()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        kWatcherService, QStringLiteral("/StatusNotifierWatcher"), kWatcherService,
        QStringLiteral("RegisterStatusNotifierItem"));
    call << m_service;
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher *w) {
        if (w->isError()) {
            std::printf("The tray did not take the icon: %s\n", qPrintable(w->error().message()));
            std::fflush(stdout);
        }
        w->deleteLater();
    });
}

void StatusNotifierItem::setIcon(const QString &name, const QIcon &images)
{
    m_iconName = name;
    m_pixmaps = pixmapsOf(images);
    Q_EMIT NewIcon();
}

QString StatusNotifierItem::id() const
{
    return QStringLiteral(STASHLET_APP_ID);
}

QString StatusNotifierItem::title() const
{
    return Texts::appName();
}

QString StatusNotifierItem::iconThemePath() const
{
    // Run from the build tree, the icon is not installed yet; the build lays
    // it out as a theme beside the program.
    const QString themes =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../dist/icons");
    const QString svg =
        QStringLiteral("/hicolor/scalable/apps/") + m_iconName + QStringLiteral(".svg");
    return QFileInfo::exists(themes + svg) ? QDir::cleanPath(themes) : QString();
}

SniToolTip StatusNotifierItem::toolTip() const
{
    return {QString(), {}, title(), QString()};
}

QDBusObjectPath StatusNotifierItem::menuPath() const
{
    return QDBusObjectPath(kMenuPath);
}

void StatusNotifierItem::Activate(int x, int y)
{
    Q_EMIT activated(QPoint(x, y));
}

void StatusNotifierItem::SecondaryActivate(int x, int y)
{
    Q_EMIT activated(QPoint(x, y));
}

void StatusNotifierItem::ContextMenu(int x, int y)
{
    // After the reply, as a host waits for it before its next click.
    QTimer::singleShot(0, &m_menu, [this, x, y] { m_menu.popup(QPoint(x, y)); });
}

void StatusNotifierItem::Scroll(int, const QString &) {}
