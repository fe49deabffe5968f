// SPDX-License-Identifier: MIT
#pragma once

// Names the program, its version and its desktop entry to Qt and the desktop.
// Call right after the QApplication exists: windows and tray items take these
// at creation.
void applyApplicationIdentity();

// Installs the translation for the first of the user's languages there is one
// for, unless Italian, the texts' own, comes first: qel-stashlet_<language>.qm
// in translations beside the program (a build tree) or in
// qel-stashlet/translations under a data directory. Call before any text is made.
void installTranslation();
