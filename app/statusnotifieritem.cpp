// SPDX-License-Identifier: MIT
#include "statusnotifieritem.h"

#include "dbusmenuexporter.h"
#include "diagnostics.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QtEndian>

#include <algorithm>

namespace {

const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
// Only the protocol's signals, not the Qt signals the controller listens to.
constexpr auto kExport = QDBusConnection::ExportAllSlots |
                         QDBusConnection::ExportScriptableSignals |
                         QDBusConnection::ExportAllProperties;

// GNOME's extension may drop an item a second after taking it, when its first
// property reads race: the list is read once that has had time to happen.
constexpr int kConfirmDelayMs = 2500;
// Offers after the first wait 0.5, 1, 2 and 4 s: a host refusing for some
// 10 s will not change its mind, and the user needs the window instead.
constexpr int kMaxAttempts = 5;
constexpr int kFirstRetryMs = 500;
// Kept this long, the item was taken; a later drop starts a fresh allowance.
constexpr int kSettledMs = 30000;

SniPixmapList pixmapsOf(const QIcon &icon)
{
    SniPixmapList pixmaps;
    for (const QSize &size : icon.availableSizes()) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.size() != size) {
            continue; // a 2x image of a size already listed
        }
        // A 32-bit image's lines have no padding: its pixels are one array.
        QByteArray argb(int(image.sizeInBytes()), Qt::Uninitialized);
        qToBigEndian<quint32>(image.constBits(), image.width() * image.height(), argb.data());
        pixmaps.append({image.width(), image.height(), argb});
    }
    return pixmaps;
}

} // namespace

const QString StatusNotifierItem::kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

StatusNotifierItem::StatusNotifierItem(QMenu &menu, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_menu(menu)
{
    registerDBusTypes();
    m_bus.registerObject(kItemPath, this, kExport);
    m_bus.registerObject(menuPath().path(), new DBusMenuExporter(menu, this), kExport);

    m_retryTimer.setSingleShot(true);
    m_confirmTimer.setSingleShot(true);
    m_settledTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &StatusNotifierItem::registerWithWatcher);
    connect(&m_confirmTimer, &QTimer::timeout, this, &StatusNotifierItem::confirmRegistration);
    connect(&m_settledTimer, &QTimer::timeout, this, [this] { m_attempts = 0; });
    m_bus.connect(kWatcherService, kWatcherPath, kWatcherService,
                  QStringLiteral("StatusNotifierItemUnregistered"), this,
                  SLOT(handleItemUnregistered(QString)));
    registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem()
{
    m_bus.disconnect(kWatcherService, kWatcherPath, kWatcherService,
                     QStringLiteral("StatusNotifierItemUnregistered"), this,
                     SLOT(handleItemUnregistered(QString)));
    if (!m_service.isEmpty()) {
        m_bus.unregisterService(m_service);
    }
    m_bus.unregisterObject(menuPath().path());
    m_bus.unregisterObject(kItemPath);
}

bool StatusNotifierItem::isNamedBy(const QString &entry) const
{
    // Registered by path, the item is listed under the connection's unique
    // name, with the path after "/" (KDE, xfce4-panel, waybar) or "@" (GNOME);
    // registered by name, under that name.
    for (const QString &name : {m_bus.baseService(), m_service}) {
        if (name.isEmpty() || !entry.startsWith(name)) {
            continue;
        }
        const QStringView rest = QStringView(entry).mid(name.size());
        if (rest.isEmpty() || rest.startsWith(u'/') || rest.startsWith(u'@')) {
            return true;
        }
    }
    return false;
}

void StatusNotifierItem::registerWithWatcher()
{
    m_confirmTimer.stop();
    m_settledTimer.stop();
    ++m_attempts;
    // By path, not by a name of the item's own: GNOME's extension watches
    // such a name, and when that watch reports in after the properties came
    // it drops them and the icon. By path it keys the item on the connection,
    // as for libappindicator's items. A host that refuses a path gets the name.
    QDBusMessage call =
        QDBusMessage::createMethodCall(kWatcherService, kWatcherPath, kWatcherService,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    if (m_byName && m_service.isEmpty()) {
        // The name the protocol once asked items to own; the counter keeps
        // two items of one process apart.
        static int counter = 0;
        m_service = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(++counter);
        m_bus.registerService(m_service);
    }
    call << (m_byName ? m_service : kItemPath);
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (w->isError()) {
            m_byName = !m_byName;
            retryLater(w->error().message());
            return;
        }
        Q_EMIT registered();
        m_confirmTimer.start(kConfirmDelayMs);
    });
}

void StatusNotifierItem::confirmRegistration()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    call << kWatcherService << QStringLiteral("RegisteredStatusNotifierItems");
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *w;
        // A watcher that keeps no readable list has only its answer to go by.
        const QStringList listed =
            reply.isError() ? QStringList() : reply.value().variant().toStringList();
        const bool kept = reply.isError() ||
                          std::any_of(listed.cbegin(), listed.cend(),
                                      [this](const QString &entry) { return isNamedBy(entry); });
        if (kept) {
            m_settledTimer.start(kSettledMs);
        } else {
            m_byName = !m_byName;
            retryLater(QStringLiteral("the tray does not list it"));
        }
    });
}

void StatusNotifierItem::handleItemUnregistered(const QString &entry)
{
    if (isNamedBy(entry)) {
        retryLater(QStringLiteral("the tray dropped it"));
    }
}

void StatusNotifierItem::retryLater(const QString &why)
{
    m_confirmTimer.stop();
    m_settledTimer.stop();
    if (m_givenUp || m_retryTimer.isActive()) {
        return;
    }
    if (m_attempts >= kMaxAttempts) {
        m_givenUp = true;
        Diagnostics::writeLine("The tray did not take the icon: ", why.toStdString());
        Q_EMIT rejected();
        return;
    }
    m_retryTimer.start(kFirstRetryMs << (m_attempts - 1));
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

QString StatusNotifierItem::iconThemePath() const
{
    // Run from the build tree, the icon is in a theme the build lays out beside it.
    const QString themes =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../dist/icons");
    const QString svg =
        QStringLiteral("/hicolor/scalable/apps/") + m_iconName + QStringLiteral(".svg");
    return QFileInfo::exists(themes + svg) ? QDir::cleanPath(themes) : QString();
}

void StatusNotifierItem::ContextMenu(int x, int y)
{
    // After the reply, as a host waits for it before its next click.
    QTimer::singleShot(0, &m_menu, [this, x, y] { m_menu.popup(QPoint(x, y)); });
}
