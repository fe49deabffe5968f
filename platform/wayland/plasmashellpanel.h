// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

class QWindow;
struct org_kde_plasma_surface;

// What a tray's panel is on X11, asked of KWin's Wayland session through
// org_kde_plasma_shell: opened where the program says, kept above other
// windows, out of the task bar and the switcher. Where the compositor does
// not offer the interface (other compositors, X11) nothing is asked.
class PlasmaShellPanel final : public QObject {
    Q_OBJECT

public:
    explicit PlasmaShellPanel(QObject *parent = nullptr);
    ~PlasmaShellPanel() override;

    // Whether the compositor the application runs on offers the interface.
    static bool offered();
    // `window` opens with its top-left at `topLeft` (global coordinates):
    // moved there now if it is shown, and set up again on every surface Qt
    // makes for it later (it makes a new one each time the window is shown).
    void place(QWindow *window, const QPoint &topLeft);
    // The window is an ordinary one again from its next surface on.
    void release();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void attachSurface();
    void detachSurface();

private:
    void follow(QWindow *window);

    QPointer<QWindow> m_window;
    QPointer<QObject> m_platformWindow;
    org_kde_plasma_surface *m_surface = nullptr;
    QPoint m_topLeft;
};
