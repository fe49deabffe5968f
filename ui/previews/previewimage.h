// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>

#include <filesystem>

// A small picture of an entry in place of its type icon. Slow (it reads
// files): for the pool, never the main thread.
namespace PreviewImage {

// The staged copy `staged` scaled to fit `logicalSize` device-independent pixels at `ratio`,
// upright as its EXIF orientation says, when Qt can read it as an image; else the desktop's
// thumbnail of `original` (the item that was added: the cache knows it, not our copy), when the
// shared thumbnail cache holds one made from this very version of it. Null when neither;
// never enlarged.
QImage make(const std::filesystem::path &staged, const std::filesystem::path &original,
            int logicalSize, qreal ratio);

// The URI the freedesktop thumbnail cache names `file` by (an absolute path),
// escaped as GLib escapes it, since GLib-based file managers fill that cache.
QByteArray thumbnailUri(const std::filesystem::path &file);

// `preview` (whose device pixel ratio says its scale) centred in a clear
// square of `side` device-independent pixels, its corners rounded by
// `radius`: drawn in place of the type icon as it is. Cheap: for the main thread.
QImage framed(const QImage &preview, double side, double radius);

} // namespace PreviewImage
