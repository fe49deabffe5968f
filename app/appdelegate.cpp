// SPDX-License-Identifier: MIT
#include "appdelegate.h"

#include "notificationcenter.h"
#include "popover.h"
#include "stashletmanager.h"
#include "stashletpopupview.h"
#include "statusbarcontroller.h"
#include "theme.h"
#include "ticker.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>

AppDelegate::AppDelegate()
    : m_popover(std::make_unique<Popover>())
    , m_manager(StashletManager::create(m_pool))
{
    // Nothing is on screen yet, so nothing may tick.
    Ticker::shared().setPanelVisible(false);
}

AppDelegate::~AppDelegate()
{
    m_statusBarController.reset();
    m_popover.reset();
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_panel = new StashletPopupView(*m_manager, m_pool);
    connect(m_panel, &StashletPopupView::terminateRequested, qApp, &QCoreApplication::quit);
    m_popover->setContentSize(theme::kPanelSize.toSize());
    m_popover->setContent(m_panel);

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        m_windowMode = true;
        m_popover->setWindowFlags(Qt::Window);
        m_popover->setAttribute(Qt::WA_TranslucentBackground, false);
        // With no icon to bring it back, closing would lose the program:
        // the window goes to the task bar instead.
        NotificationCenter::defaultCenter().observe(QStringLiteral("closePopover"),
                                                    [this] { m_popover->showMinimized(); });
        m_popover->QWidget::show();
        return;
    }
    m_statusBarController = std::make_unique<StatusBarController>(*m_popover);
}

void AppDelegate::togglePanel()
{
    if (m_statusBarController) {
        m_statusBarController->togglePopover();
    } else if (m_windowMode) {
        m_popover->showNormal();
        m_popover->raise();
        m_popover->activateWindow();
    }
}

void AppDelegate::applicationWillTerminate()
{
    m_manager->cancelCopies();
    m_manager->clearAll();
}
