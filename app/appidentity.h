// SPDX-License-Identifier: MIT
#pragma once

// Names the program to Qt and to the desktop: the display name, the version,
// the desktop entry it belongs to and that entry's icon. Call right after the
// QApplication exists, before any window or tray item is made, since they
// take these at creation.
void applyApplicationIdentity();
