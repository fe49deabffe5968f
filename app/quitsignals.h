// SPDX-License-Identifier: MIT
#pragma once

class QObject;

namespace QuitSignals {

// Turns SIGTERM, SIGINT and SIGHUP into QCoreApplication::quit(), delivered
// by the event loop, so a logout or Ctrl+C takes the same path as "Esci"
// and the shelf is cleared. Call once, after the application object exists.
bool install(QObject *parent);

} // namespace QuitSignals
