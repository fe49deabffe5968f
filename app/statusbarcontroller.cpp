// SPDX-License-Identifier: MIT
#include "statusbarcontroller.h"

#include "glyph.h"
#include "mainqueue.h"
#include "popover.h"
#include "quitsignals.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QSystemTrayIcon>

StatusBarController::StatusBarController(Popover &popover, QObject *parent)
    : QObject(parent)
    , m_popover(popover)
    , m_statusItem(std::make_unique<QSystemTrayIcon>())
{
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A quick second click arrives as a double click; it still
                // means "toggle", not "ignore".
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    m_lastClick = QCursor::pos();
                    togglePopover();
                }
            });

    // Some hosts (GNOME's AppIndicator) open the menu on a left click, so the
    // menu must be able to do what the click does.
    m_toggleAction = m_menu.addAction(QString(), this, [this] {
        m_lastClick = QCursor::pos();
        togglePopover();
    });
    m_menu.addSeparator();
    m_menu.addAction(QStringLiteral("Esci"), this, &QuitSignals::requestTermination);
    connect(&m_menu, &QMenu::aboutToShow, this, [this] {
        m_toggleAction->setText(m_popover.isShown() ? QStringLiteral("Nascondi pannello")
                                                    : QStringLiteral("Mostra pannello"));
    });
    m_statusItem->setContextMenu(&m_menu);

    updateStatusItem();

    m_closeObserver = NotificationCenter::defaultCenter().observe(
        QStringLiteral("closePopover"), [this] { handleCloseNotification(); });
    // The icon is drawn in the tray's foreground colour and follows it.
    connect(&m_popover, &Popover::paletteChanged, this, [this] {
        if (!m_statusItem->icon().isNull()) {
            m_statusItem->setIcon(trayIcon(QGuiApplication::palette().color(QPalette::WindowText)));
        }
    });
}

StatusBarController::~StatusBarController()
{
    NotificationCenter::defaultCenter().unregister(m_closeObserver);
}

QIcon StatusBarController::trayIcon(const QColor &foreground)
{
    std::optional<Glyph> glyph = glyphNamed(u"tray.and.arrow.down");
    if (!glyph) {
        glyph = glyphNamed(u"paperclip");
    }
    if (!glyph) {
        return {};
    }
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64}) {
        for (qreal dpr : {1.0, 2.0}) {
            QPixmap pixmap(QSize(side, side) * dpr);
            pixmap.setDevicePixelRatio(dpr);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            // A little air around the glyph, as tray icons have.
            const qreal margin = side / 8.0;
            paintGlyph(painter, *glyph,
                       QRectF(margin, margin, side - 2 * margin, side - 2 * margin), foreground);
            painter.end();
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}

void StatusBarController::updateStatusItem()
{
    MainQueue::async([self = QPointer<StatusBarController>(this)] {
        if (!self) {
            return;
        }
        self->m_statusItem->setIcon(
            trayIcon(QGuiApplication::palette().color(QPalette::WindowText)));
        // A tray item without an icon is refused, so it appears only now.
        self->m_statusItem->show();
    });
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
    m_popover.show(m_statusItem->geometry(), m_lastClick);
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
