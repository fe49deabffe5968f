// SPDX-License-Identifier: MIT
#pragma once

#include "tempfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QMimeData;

// The clipboard as file managers use it, without any widget: what a paste
// offers the shelf, and what the shelf offers for a file manager to paste.
namespace ClipboardFiles {

// The copied files' URI lines, left in the data they came in (a list may be large).
struct Offered {
    QByteArray data;
    qsizetype start = 0;
    QByteArrayView uriList() const { return QByteArrayView(data).sliced(start); }
};

// Reads the copied files from clipboard data: the file managers' own
// x-special/gnome-copied-files (GNOME, Thunar, PCManFM; a "cut" is taken as
// a copy, since the shelf never moves a file), else text/uri-list (KDE's,
// and everyone's), KDE 4's list, or Nautilus' text/plain variant of the
// first. Another program answers each ask of its clipboard in its own time,
// if ever: this asks the formats once and reads one of them once.
Offered fromClipboard(const QMimeData &data);

// The two halves of fromClipboard, for a reader that gets the formats and the
// data at different times: the format read (none when none carries files),
// and what `data` of that format offers.
QString chosenFormat(const QStringList &formats);
Offered fromData(const QString &format, QByteArray data);

// The staged copies of `files` as a copy that file managers paste:
// x-special/gnome-copied-files and text/uri-list with the paths' exact
// bytes, and the paths as text, each quoted as a shell reads it when it
// holds a control character or a byte that is not UTF-8.
std::unique_ptr<QMimeData> forCopy(const QList<TempFile> &files);

} // namespace ClipboardFiles
