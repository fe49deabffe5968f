// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>
#include <QWindow>

#include <memory>

// A role a compositor's protocol gives a window's wl_surface, kept across
// the surfaces Qt makes for the window (a new one each time it is shown, or
// when its flags change), and dropped before each goes: a request on a role
// whose surface is gone ends the connection.
class SurfaceRole : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~SurfaceRole() override;

    // The window is left to Qt from its next surface on.
    void release();

protected:
    // The role is made on `window`'s surface now if Qt has made one (before
    // the window first maps), and on every later one.
    void follow(QWindow *window);
    // The window's wl_surface now, or none.
    void *surface() const;
    void *role() const { return m_role.get(); }

    // Makes the role on surface() and hands it over with setRole().
    virtual void attach() = 0;
    void setRole(void *role, void (*destroy)(void *)) { m_role = Role(role, destroy); }

    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void attachSurface();
    void detachSurface();

private:
    using Role = std::unique_ptr<void, void (*)(void *)>;

    void unfollowPlatformWindow();

    QPointer<QWindow> m_window;
    QPointer<QObject> m_platformWindow;
    Role m_role{nullptr, nullptr};
};
