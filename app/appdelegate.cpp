// SPDX-License-Identifier: MIT
#include "appdelegate.h"

#include "popover.h"
#include "quitsignals.h"
#include "stashletmanager.h"
#include "stashletpopupview.h"
#include "statusbarcontroller.h"
#include "theme.h"
#include "ticker.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

namespace {

// Deleting what a crash left in the staging folder can take both cores for
// seconds: the tray and the window system get them first, so the icon docks fast.
constexpr int kLeftoverDeletionDelayMs = 500;

} // namespace

AppDelegate::AppDelegate()
    : m_popover(std::make_unique<Popover>())
    , m_manager(StashletManager::create(m_pool, StagingFolder(), StagingTrash::Deleting::Later))
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
    QTimer::singleShot(kLeftoverDeletionDelayMs, m_manager.get(),
                       [manager = m_manager.get()] { manager->deleteLeftovers(); });
    m_popover->setContentSize(theme::kPanelSize.toSize());
    m_popover->setContent([this]() -> QWidget * {
        // For the standalone window; looked up only now, as it costs
        // milliseconds that would delay the tray icon at start.
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(STASHLET_APP_ID)));
        m_panel = new StashletPopupView(*m_manager, m_pool);
        connect(m_panel, &StashletPopupView::terminateRequested, this,
                &QuitSignals::requestTermination);
        // Made when the controller first opens the popover, so it is there.
        connect(m_panel, &StashletPopupView::closeRequested, m_statusBarController.get(),
                &StatusBarController::closePopoverIfShown);
        return m_panel;
    });

    m_statusBarController = std::make_unique<StatusBarController>(*m_popover);
}

void AppDelegate::togglePanel()
{
    if (m_statusBarController) {
        m_statusBarController->togglePopover();
    }
}

bool AppDelegate::waitForBackgroundWork(int msecs)
{
    return m_pool.waitForDone(msecs);
}

void AppDelegate::applicationWillTerminate()
{
    // Deleting may take seconds: the program leaves the screen first, with one
    // more pass of the ended event loop to send the window system the requests.
    m_popover->hide();
    if (m_statusBarController) {
        m_statusBarController->hideStatusItem();
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_manager->shutdown();
}
