// SPDX-License-Identifier: MIT
#pragma once

// Whether a window system can be reached. Without one Qt aborts with advice
// to reinstall the program, which sends the user the wrong way: say instead,
// on standard error, that it must run inside a desktop session. A platform
// chosen in QT_QPA_PLATFORM (offscreen, vnc) is the user's own call.
bool displayAvailableOrExplain();
