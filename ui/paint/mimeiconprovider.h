// SPDX-License-Identifier: MIT
#pragma once

#include <QFileIconProvider>
#include <QMimeDatabase>

// A file's icon by its MIME type, from the icon theme. Qt's own provider
// leaves that to the desktop's platform theme; where no desktop is named
// (i3, openbox, sway) the theme is bare hicolor, which holds no file-type
// icons, and every file gets the style's blank page.
class MimeIconProvider final : public QAbstractFileIconProvider {
public:
    // Picks a common icon theme when the desktop names none, or only
    // hicolor: for the whole application, before its first icon.
    MimeIconProvider();

    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo &info) const override;

private:
    QMimeDatabase m_mimeTypes;
    QFileIconProvider m_desktop;
};
