// SPDX-License-Identifier: MIT
#include "statusbarcontroller.h"

#include "autostartentry.h"
#include "mainqueue.h"
#include "popover.h"
#include "quitsignals.h"
#include "statusnotifieritem.h"
#include "texts.h"
#include "trayglyph.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// Hosts that find it (installed, or through the item's theme path) draw this
// one in their own foreground colour.
const QString kSymbolicIcon = QStringLiteral(STASHLET_APP_ID "-symbolic");

QColor paletteForeground()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
}

// Where a click from the menu most likely came from when the host never said:
// the pointer, where X11 knows it; else the top right corner, where GNOME (the
// host that opens the menu on a left click) keeps tray icons.
QPoint guessedClickPoint()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return QCursor::pos();
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry().topRight() : QPoint();
}

} // namespace

StatusBarController::StatusBarController(Popover &popover, const QDBusConnection &bus,
                                         QObject *parent)
    : QObject(parent)
    , m_popover(popover)
{
    // Some hosts (GNOME's AppIndicator) open the menu on a left click, so the
    // menu must be able to do what the click does.
    m_toggleAction = m_menu.addAction(Texts::showPanel(), this, [this] {
        if (m_xembedItem || !m_clickKnown) {
            m_lastClick = guessedClickPoint();
        }
        togglePopover();
    });
    m_menu.addSeparator();
    // The entry's presence is the setting: the mark is read from it whenever
    // the menu opens, so removing the file by hand is seen.
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

    if (StatusNotifierItem::watcherPresent(bus)) {
        m_notifierItem = std::make_unique<StatusNotifierItem>(m_menu, bus);
        m_notifierItem->setIcon(kSymbolicIcon, trayglyph::icon(Qt::white, Qt::black));
        connect(m_notifierItem.get(), &StatusNotifierItem::activated, this,
                [this](const QPoint &point) {
                    m_lastClick = point;
                    m_clickKnown = true;
                    togglePopover();
                });
    } else {
        showXembedItem();
    }

    m_closeObserver = NotificationCenter::defaultCenter().observe(
        notification::kClosePopover, [this] { handleCloseNotification(); });
}

StatusBarController::~StatusBarController()
{
    NotificationCenter::defaultCenter().unregister(m_closeObserver);
}

void StatusBarController::showXembedItem()
{
    m_xembedItem = std::make_unique<QSystemTrayIcon>();
    connect(m_xembedItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A quick second click arrives as a double click; it still
                // means "toggle", not "ignore".
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    m_lastClick = QCursor::pos();
                    recolourXembedItem();
                    togglePopover();
                }
            });
    m_xembedItem->setContextMenu(&m_menu);
    connect(&m_popover, &Popover::paletteChanged, this, &StatusBarController::recolourXembedItem);

    MainQueue::async([self = QPointer<StatusBarController>(this)] {
        if (!self) {
            return;
        }
        self->m_glyphColour = paletteForeground();
        self->m_xembedItem->setIcon(trayglyph::icon(self->m_glyphColour));
        // A tray item without an icon is refused, so it appears only now.
        self->m_xembedItem->show();
        // The tray embeds the icon a moment later; only then is there a
        // background behind it to read.
        for (int delay : {200, 700, 1500}) {
            QTimer::singleShot(delay, self.data(), &StatusBarController::recolourXembedItem);
        }
    });
}

void StatusBarController::recolourXembedItem()
{
    if (!m_xembedItem || m_xembedItem->icon().isNull()) {
        return;
    }
    const QColor colour =
        trayglyph::glyphColourAt(m_xembedItem->geometry()).value_or(paletteForeground());
    if (colour != m_glyphColour) {
        m_glyphColour = colour;
        m_xembedItem->setIcon(trayglyph::icon(colour));
    }
}

void StatusBarController::togglePopover()
{
    if (m_popover.isShown()) {
        closePopover();
    } else {
        showPopover();
    }
}

void StatusBarController::showPopover()
{
    m_popover.show(m_xembedItem ? m_xembedItem->geometry() : QRect(), m_lastClick);
}

void StatusBarController::closePopover()
{
    m_popover.performClose();
}

void StatusBarController::handleCloseNotification()
{
    if (m_popover.isShown()) {
        closePopover();
    }
}

void StatusBarController::hideStatusItem()
{
    if (m_xembedItem) {
        m_xembedItem->hide();
    }
    m_notifierItem.reset();
}
