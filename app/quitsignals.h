// SPDX-License-Identifier: MIT
#pragma once

class QObject;

namespace QuitSignals {

// The one way the program ends: "Esci", the tray menu and the signals all
// come here. It leaves the event loop outright: quit() would first ask every
// window to close, and the panel, which refuses to be closed by the window
// manager, would cancel the quit.
void requestTermination();

// Turns SIGTERM, SIGINT and SIGHUP into requestTermination(), delivered by
// the event loop, so a logout or Ctrl+C takes the same path as "Esci"
// and the shelf is cleared. Call once, after the application object exists.
bool install(QObject *parent);

} // namespace QuitSignals
