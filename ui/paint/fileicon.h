// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"

#include <QString>

class QAbstractFileIconProvider;
class QPainter;
class QRectF;

// The file-type icon of a file, as large as fits, aspect ratio kept,
// centred; the blue document glyph where no icon can be had.
class FileIcon final {
public:
    static void paint(QPainter &painter, const QRectF &frame, const QString &path,
                      const QAbstractFileIconProvider &provider, ColorScheme scheme);
    // Icons by MIME type from the icon theme, else the desktop's; shared by every view.
    static const QAbstractFileIconProvider &desktopProvider();
};
