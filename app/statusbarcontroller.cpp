// SPDX-License-Identifier: MIT
#include "statusbarcontroller.h"

#include "autostartentry.h"
#include "displayserver.h"
#include "popover.h"
#include "quitsignals.h"
#include "statusnotifieritem.h"
#include "texts.h"
#include "trayglyph.h"

#include <QCursor>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// Hosts that find it (installed, or by the item's theme path) recolour it.
const QString kSymbolicIcon = QStringLiteral(STASHLET_APP_ID "-symbolic");

QColor paletteForeground()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
}

// Where a click from the menu most likely came from: the pointer, where X11
// knows it; else the top right corner, where GNOME (whose host opens the menu
// on a left click) keeps tray icons.
QPoint guessedClickPoint()
{
    if (displayserver::isNativeX11()) {
        return QCursor::pos();
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry().topRight() : QPoint();
}

// waybar before 0.9.23 (Debian 12 ships 0.9.17) passes Activate a point inside
// the icon: a Wayland click that close to the top left corner, where no bar
// puts its tray by default, is one. Its height is right for waybar's top bar.
bool clickInsideIcon(const QPoint &point)
{
    constexpr int kLargestIcon = 64;
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !displayserver::isX11() &&
           point.x() >= 0 && point.y() >= 0 && point.x() < kLargestIcon && point.y() < kLargestIcon;
}

} // namespace

StatusBarController::StatusBarController(Popover &popover, const QDBusConnection &bus,
                                         int trayGraceMs, QObject *parent)
    : QObject(parent)
    , m_popover(popover)
    , m_bus(bus)
{
    // Some hosts (GNOME's AppIndicator) open the menu on a left click.
    m_toggleAction = m_menu.addAction(Texts::showPanel(), this, [this] {
        if (m_xembedItem || !m_clickKnown) {
            m_lastClick = guessedClickPoint();
        }
        togglePopover();
    });
    m_menu.addSeparator();
    // Read whenever the menu opens, so a file removed by hand is seen.
    QAction *autostart = m_menu.addAction(Texts::startAtLogin());
    autostart->setCheckable(true);
    connect(autostart, &QAction::triggered, this, [autostart](bool checked) {
        const AutostartEntry entry;
        entry.setEnabled(checked);
        autostart->setChecked(entry.isEnabled());
    });
    connect(&m_menu, &QMenu::aboutToShow, autostart,
            [autostart] { autostart->setChecked(AutostartEntry().isEnabled()); });
    m_menu.addAction(Texts::quit(), this, &QuitSignals::requestTermination);
    const auto relabel = [this] {
        m_toggleAction->setText(m_popover.isShown() ? Texts::hidePanel() : Texts::showPanel());
    };
    connect(&m_menu, &QMenu::aboutToShow, this, relabel);
    // Hosts that draw the menu themselves read the labels ahead of time.
    connect(&m_popover, &Popover::shownChanged, this, relabel);
    connect(&m_popover, &Popover::paletteChanged, this, &StatusBarController::recolourXembedItem);

    m_graceTimer.setSingleShot(true);
    m_graceTimer.setInterval(trayGraceMs);
    connect(&m_graceTimer, &QTimer::timeout, this, &StatusBarController::openWindow);

    if (m_bus.isConnected()) {
        m_watcherPresent =
            m_bus.interface() != nullptr &&
            m_bus.interface()->isServiceRegistered(StatusNotifierItem::kWatcherService).value();
        // A watcher that starts late, restarts (a panel, a shell) or goes away.
        m_watcherWatch = new QDBusServiceWatcher(StatusNotifierItem::kWatcherService, m_bus,
                                                 QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_watcherWatch, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &, const QString &, const QString &newOwner) {
                    m_watcherPresent = !newOwner.isEmpty();
                    // A new watcher knows nothing of the item: offer a new one.
                    m_notifierRejected = false;
                    m_notifierItem.reset();
                    settle();
                });
    }
    connect(&m_xembedWatch, &XembedTrayWatch::trayChanged, this, [this](bool present) {
        settle();
        if (present) {
            recolourOnceEmbedded();
        }
    });

    settle();
}

StatusBarController::~StatusBarController() = default;

void StatusBarController::settle()
{
    if (m_quitting) {
        return;
    }
    if (m_watcherPresent && !m_notifierRejected) {
        m_xembedItem.reset();
        if (!m_notifierItem) {
            showNotifierItem();
        }
        // The window goes once the watcher has answered.
        m_graceTimer.stop();
        return;
    }
    m_notifierItem.reset();
    // Shown even with no tray there: Qt docks it into one that starts later.
    if (m_xembedWatch.onX11() && !m_xembedItem) {
        showXembedItem();
    }
    if (m_xembedWatch.trayPresent()) {
        m_graceTimer.stop();
        leaveWindow();
    } else if (m_notifierRejected) {
        openWindow();
    } else if (!m_standalone && !m_graceTimer.isActive()) {
        m_graceTimer.start();
    }
}

void StatusBarController::showNotifierItem()
{
    m_notifierItem = std::make_unique<StatusNotifierItem>(m_menu, m_bus);
    m_notifierItem->setIcon(kSymbolicIcon, trayglyph::icon(Qt::white, Qt::black));
    connect(m_notifierItem.get(), &StatusNotifierItem::activated, this,
            [this](const QPoint &point) {
                m_clickKnown = !clickInsideIcon(point);
                m_lastClick = m_clickKnown ? point : QPoint(guessedClickPoint().x(), point.y());
                togglePopover();
            });
    connect(m_notifierItem.get(), &StatusNotifierItem::registered, this,
            &StatusBarController::leaveWindow);
    connect(m_notifierItem.get(), &StatusNotifierItem::rejected, this, [this] {
        m_notifierRejected = true;
        // Not from inside the item's own call.
        QTimer::singleShot(0, this, &StatusBarController::settle);
    });
}

void StatusBarController::showXembedItem()
{
    m_xembedItem = std::make_unique<QSystemTrayIcon>();
    connect(m_xembedItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A quick second click arrives as a double click: still a toggle.
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    m_lastClick = QCursor::pos();
                    recolourXembedItem();
                    togglePopover();
                }
            });
    m_xembedItem->setContextMenu(&m_menu);
    m_glyphColour = paletteForeground();
    // A tray item without an icon is refused, so it is shown only now.
    m_xembedItem->setIcon(trayglyph::icon(m_glyphColour));
    m_xembedItem->show();
    recolourOnceEmbedded();
}

void StatusBarController::recolourOnceEmbedded()
{
    // Only once the tray embeds the icon is there a background behind it.
    for (int delay : {200, 700, 1500}) {
        QTimer::singleShot(delay, this, &StatusBarController::recolourXembedItem);
    }
}

void StatusBarController::recolourXembedItem()
{
    if (!m_xembedItem || m_xembedItem->geometry().isEmpty()) {
        return;
    }
    const QColor colour =
        trayglyph::glyphColourAt(m_xembedItem->geometry()).value_or(paletteForeground());
    if (colour != m_glyphColour) {
        m_glyphColour = colour;
        m_xembedItem->setIcon(trayglyph::icon(colour));
    }
}

void StatusBarController::openWindow()
{
    if (m_standalone || m_quitting) {
        return;
    }
    m_standalone = true;
    m_popover.hide();
    m_popover.setStandalone(true);
    m_popover.show(QRect(), QPoint());
}

void StatusBarController::leaveWindow()
{
    if (!m_standalone) {
        return;
    }
    m_standalone = false;
    m_popover.hide();
    m_popover.setStandalone(false);
}

void StatusBarController::togglePopover()
{
    if (m_standalone) {
        // The window is the only way in: bring it forward, never away.
        m_popover.showNormal();
        m_popover.raise();
        m_popover.activateWindow();
    } else if (m_popover.isShown()) {
        m_popover.performClose();
    } else {
        m_popover.show(m_xembedItem ? m_xembedItem->geometry() : QRect(), m_lastClick);
    }
}

void StatusBarController::closePopoverIfShown()
{
    if (m_popover.isShown()) {
        m_popover.performClose();
    }
}

void StatusBarController::hideStatusItem()
{
    m_quitting = true;
    m_graceTimer.stop();
    if (m_xembedItem) {
        m_xembedItem->hide();
    }
    m_notifierItem.reset();
}
