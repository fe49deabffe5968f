// SPDX-License-Identifier: MIT
#pragma once

class QObject;

namespace QuitSignals {

// The one way the program ends ("Esci", the tray menu, the signals). It leaves
// the event loop outright: quit() would first ask every window to close, and
// the panel, which refuses the window manager's close, would cancel it.
void requestTermination();

// Turns SIGTERM, SIGINT and SIGHUP into requestTermination() from the event
// loop, so a logout or Ctrl+C clears the shelf too. Call once, after the
// application object exists.
bool install(QObject *parent);

} // namespace QuitSignals
