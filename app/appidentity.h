// SPDX-License-Identifier: MIT
#pragma once

// Names the program to Qt and to the desktop: the display name, the version and
// the desktop entry it belongs to. Call right after the QApplication exists,
// before any window or tray item is made, since they take these at creation.
void applyApplicationIdentity();

// Installs the interface's translation for the first of the user's languages
// it has one for, unless Italian, the texts' own, comes first:
// qel-stashlet_<language>.qm in translations beside the program (a build tree)
// or in qel-stashlet/translations under a data directory (/usr/share,
// ~/.local/share). Call before any text is made.
void installTranslation();

// Gives the windows the desktop entry's icon from the icon theme. Looking it
// up costs milliseconds that would otherwise delay the tray icon at start, so
// it is done once the first window is about to show.
void applyApplicationWindowIcon();
