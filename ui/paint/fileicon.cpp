// SPDX-License-Identifier: MIT
#include "fileicon.h"

#include "glyph.h"
#include "theme.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QPaintDevice>
#include <QPainter>
#include <QStandardPaths>

namespace {

// Themes that carry file-type icons, most widely installed first: GTK
// desktops ship Adwaita, Plasma Breeze.
const char *const kCommonThemes[] = {"Adwaita", "breeze", "Tango"};

// Where freedesktop icon themes live (XDG_DATA_DIRS/icons). Qt takes them from the platform
// theme, and some platforms (offscreen, minimal) name none.
void searchXdgIconFolders()
{
    QStringList paths = QIcon::themeSearchPaths();
    QStringList folders{QDir::homePath() + QLatin1String("/.icons")};
    folders += QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                         QStringLiteral("icons"), QStandardPaths::LocateDirectory);
    for (const QString &folder : std::as_const(folders)) {
        if (!paths.contains(folder) && QFileInfo(folder).isDir())
            paths.append(folder);
    }
    if (paths != QIcon::themeSearchPaths())
        QIcon::setThemeSearchPaths(paths);
}

QString installedCommonTheme()
{
    for (const char *theme : kCommonThemes) {
        for (const QString &base : QIcon::themeSearchPaths()) {
            if (QFileInfo::exists(base + QLatin1Char('/') + QLatin1String(theme) +
                                  QLatin1String("/index.theme")))
                return QLatin1String(theme);
        }
    }
    return {};
}

bool isBare(const QString &theme)
{
    return theme.isEmpty() || theme == QLatin1String("hicolor");
}

// A file's icon by its MIME type, from the icon theme. Qt's own provider leaves that to the
// desktop's platform theme; where no desktop is named (i3, openbox, sway) the theme is bare
// hicolor, which holds no file-type icons, and every file gets the style's blank page.
class MimeIconProvider final : public QAbstractFileIconProvider {
public:
    // Picks a common icon theme when the desktop names none, or only
    // hicolor: for the whole application, before its first icon.
    MimeIconProvider()
    {
        if (!isBare(QIcon::themeName()) && !isBare(QIcon::fallbackThemeName()))
            return;
        searchXdgIconFolders();
        const QString common = installedCommonTheme();
        if (common.isEmpty())
            return;
        // hicolor stays below it, so icons installed there are still found.
        if (isBare(QIcon::themeName()))
            QIcon::setThemeName(common);
        // A named theme without file-type icons of its own borrows them.
        if (isBare(QIcon::fallbackThemeName()))
            QIcon::setFallbackThemeName(common);
    }

    QIcon icon(IconType type) const override { return m_desktop.icon(type); }

    QIcon icon(const QFileInfo &info) const override
    {
        QStringList names;
        if (info.isDir())
            names.append(QStringLiteral("folder"));
        const QMimeType type = m_mimeTypes.mimeTypeForFile(info);
        names << type.iconName() << type.genericIconName();
        for (const QString &name : std::as_const(names)) {
            const QIcon icon = QIcon::fromTheme(name);
            if (!icon.isNull())
                return icon;
        }
        return m_desktop.icon(info);
    }

private:
    QMimeDatabase m_mimeTypes;
    QFileIconProvider m_desktop;
};

} // namespace

const QAbstractFileIconProvider &FileIcon::desktopProvider()
{
    static const MimeIconProvider provider;
    return provider;
}

void FileIcon::paint(QPainter &painter, const QRectF &frame, const QString &path,
                     const QAbstractFileIconProvider &provider, ColorScheme scheme)
{
    if (frame.isEmpty())
        return;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize want = frame.size().toSize().expandedTo(QSize(1, 1));
    const QIcon icon = provider.icon(QFileInfo(path));
    const QPixmap pixmap = icon.isNull() ? QPixmap() : icon.pixmap(want, dpr);
    const QSizeF natural = pixmap.deviceIndependentSize();
    if (natural.isEmpty()) {
        paintGlyph(painter, Glyph::DocFill, frame, theme::kBlue.color(scheme));
        return;
    }
    // A theme may hand back a smaller or oddly shaped pixmap: stretch it
    // whole to fit, never crop.
    const QSizeF fitted = natural.scaled(frame.size(), Qt::KeepAspectRatio);
    const QRectF target(frame.center() - QPointF(fitted.width(), fitted.height()) / 2, fitted);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, pixmap, pixmap.rect());
    painter.restore();
}
