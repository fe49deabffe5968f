// SPDX-License-Identifier: MIT
#include "appdelegate.h"

#include "appidentity.h"
#include "popover.h"
#include "quitsignals.h"
#include "stashletmanager.h"
#include "stashletpopupview.h"
#include "statusbarcontroller.h"
#include "theme.h"
#include "ticker.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

// What a crash or a kill left in the staging folder is moved out of the way on
// the pool while the icon docks, but deleting a large tree takes both cores for
// seconds; the tray and the window system get them first, so the icon docks as
// fast as without it.
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
        applyApplicationWindowIcon();
        m_panel = new StashletPopupView(*m_manager, m_pool);
        connect(m_panel, &StashletPopupView::terminateRequested, this,
                &QuitSignals::requestTermination);
        // The panel is made when the popover first opens, which only the
        // controller does, so the controller is there by then.
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
    // What is left to delete may take seconds: the program leaves the screen
    // first. The event loop has ended, so one more pass sends the window
    // system the requests that take the panel and the icon away.
    m_popover->hide();
    if (m_statusBarController) {
        m_statusBarController->hideStatusItem();
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_manager->shutdown();
}
