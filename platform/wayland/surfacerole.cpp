// SPDX-License-Identifier: MIT
#include "surfacerole.h"

#include <QPlatformSurfaceEvent>

#ifdef STASHLET_HAVE_LAYER_SHELL
#include "waylandglobal.h"

#include <qpa/qplatformwindow.h>
#endif

SurfaceRole::~SurfaceRole()
{
    release();
}

void SurfaceRole::release()
{
    unfollowPlatformWindow();
    if (m_window != nullptr)
        m_window->removeEventFilter(this);
    m_window = nullptr;
}

void *SurfaceRole::surface() const
{
#ifdef STASHLET_HAVE_LAYER_SHELL
    if (m_window != nullptr && waylandglobal::native() != nullptr)
        return waylandglobal::native()->nativeResourceForWindow("surface", m_window);
#endif
    return nullptr;
}

void SurfaceRole::attachSurface()
{
    if (m_role == nullptr && surface() != nullptr)
        attach();
}

void SurfaceRole::detachSurface()
{
    m_role.reset();
}

void SurfaceRole::unfollowPlatformWindow()
{
    if (m_platformWindow != nullptr)
        disconnect(m_platformWindow, nullptr, this, nullptr);
    m_platformWindow = nullptr;
    detachSurface();
}

void SurfaceRole::follow([[maybe_unused]] QWindow *window)
{
#ifdef STASHLET_HAVE_LAYER_SHELL
    if (window != m_window) {
        release();
        m_window = window;
        // Qt's platform window goes, surface and all, when the window is
        // destroyed or its flags change.
        window->installEventFilter(this);
    }
    // Qt's Wayland window is a QObject that says when it makes and drops its
    // wl_surface; its class is private, its signals are not.
    auto *platformWindow = dynamic_cast<QObject *>(window->handle());
    if (platformWindow != m_platformWindow) {
        unfollowPlatformWindow();
        m_platformWindow = platformWindow;
        if (platformWindow != nullptr) {
            connect(platformWindow, SIGNAL(wlSurfaceCreated()), this, SLOT(attachSurface()));
            connect(platformWindow, SIGNAL(wlSurfaceDestroyed()), this, SLOT(detachSurface()));
        }
    }
    attachSurface();
#endif
}

bool SurfaceRole::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
        unfollowPlatformWindow();
    return QObject::eventFilter(watched, event);
}
