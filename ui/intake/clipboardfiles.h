// SPDX-License-Identifier: MIT
#pragma once

#include "tempfile.h"

#include <QList>
#include <QUrl>

#include <memory>

class QMimeData;

// The clipboard as file managers use it, without any widget: what a paste
// offers the shelf, and what the shelf offers for a file manager to paste.
namespace ClipboardFiles {

struct Paste {
    // A text/uri-list of the local files offered, in order, for
    // itemProvidersFromMimeData() and so the same intake as a drop; null when none.
    std::unique_ptr<QMimeData> files;
    // What was offered but is not a local file (another scheme, another
    // host): never staged, for the panel to say so.
    QList<QUrl> refused;
};

// Reads the copied files from clipboard data: the file managers' own
// x-special/gnome-copied-files (GNOME, Thunar, PCManFM; a "cut" is taken as
// a copy, since the shelf never moves a file), Nautilus' text/plain variant
// of it, else text/uri-list (KDE's, and everyone's) or KDE 4's list.
Paste fromClipboard(const QMimeData &data);

// The staged copies of `files` as a copy that file managers paste:
// x-special/gnome-copied-files, text/uri-list, and their paths as text.
std::unique_ptr<QMimeData> forCopy(const QList<TempFile> &files);

} // namespace ClipboardFiles
