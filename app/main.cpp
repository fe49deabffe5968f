// SPDX-License-Identifier: MIT
#include "appdelegate.h"
#include "appidentity.h"
#include "diagnostics.h"
#include "quitsignals.h"
#include "singleinstance.h"

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include <unistd.h>

namespace {

constexpr const char *kUsage =
    "Usage: qel-stashlet [--help] [--version]\n"
    "\n"
    "A shelf in the system tray for up to five files: drop files on its panel,\n"
    "drag them out again to any application. The shelf is cleared at quit.\n"
    "Starting it again while it runs shows or hides the running one's panel.\n";

// The exit status once an option is answered: before any window system is
// touched, so they work without a display.
std::optional<int> handleOptions(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("qel-stashlet %s\n", STASHLET_VERSION);
            return 0;
        }
        std::fprintf(stderr, "qel-stashlet: unknown option '%s'\n\n%s", argv[i], kUsage);
        return 2;
    }
    return std::nullopt;
}

// Without a window system Qt aborts with advice to reinstall the program,
// which sends the user the wrong way. A platform chosen in QT_QPA_PLATFORM
// (offscreen, vnc) is the user's own call.
bool displayAvailableOrExplain()
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        return true;
    }
    std::fputs("qel-stashlet: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
               "run it inside a desktop session\n",
               stderr);
    return false;
}

// A Wayland client, not an XWayland one, where Qt's Wayland plugin is there:
// drags from XWayland to native Wayland applications arrive nowhere under
// Mutter, KWin and sway alike, and no compositor lets an X11 window be placed
// by the icon either. Qt picks Wayland only by XDG_SESSION_TYPE, which a
// session started without a login manager leaves unset.
void preferWaylandOnWaylandSessions()
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    }
    // Lets the panel, the one window with Qt::BypassWindowManagerHint, be a
    // layer surface on wlroots compositors: Qt then gives it no shell role.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
}

} // namespace

int main(int argc, char **argv)
{
    // A diagnostic line to a pipe whose reader has gone (`| head`) must fail
    // quietly, not end the program with the shelf's copies still on disk.
    std::signal(SIGPIPE, SIG_IGN);
    if (const std::optional<int> status = handleOptions(argc, argv)) {
        return *status;
    }
    if (!displayAvailableOrExplain()) {
        return 1;
    }

    preferWaylandOnWaylandSessions();
    QApplication app(argc, argv);
    applyApplicationIdentity();
    installTranslation();
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    switch (instance.claim()) {
    case SingleInstance::Claim::First:
        if (!instance.listening()) {
            std::fprintf(stderr, "qel-stashlet: %s; starting it again will not reach this one\n",
                         qPrintable(instance.errorString()));
        }
        break;
    case SingleInstance::Claim::Later:
        if (!instance.askFirstToToggle()) {
            std::fputs("qel-stashlet: already running, but the running one does not answer\n",
                       stderr);
            return 1;
        }
        return 0;
    case SingleInstance::Claim::Failed:
        std::fprintf(stderr, "qel-stashlet: %s\n", qPrintable(instance.errorString()));
        return 1;
    }
    QuitSignals::install(&app);

    AppDelegate delegate;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
    QObject::connect(&instance, &SingleInstance::toggleRequested, &delegate,
                     &AppDelegate::togglePanel);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    const int status = QApplication::exec();
    // The shelf is cleared by now. A copy stuck in a read of a dead mount
    // keeps the process and its descriptors alive past _exit: the claim goes
    // first, or the next start would find it held by one that cannot answer.
    instance.release();
    // The last lines reach a reader that keeps up; a stuck one cannot hold the exit.
    Diagnostics::flush(std::chrono::milliseconds(500));
    // A copy stuck in a slow read would hold up the pool's destructor, and
    // quitting never waits for a copy: leave without unwinding then.
    if (!delegate.waitForBackgroundWork(50)) {
        std::fflush(nullptr);
        ::_exit(status);
    }
    return status;
}
