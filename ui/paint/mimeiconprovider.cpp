// SPDX-License-Identifier: MIT
#include "mimeiconprovider.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QStandardPaths>

namespace {

// Themes that carry file-type icons, most widely installed first: GTK
// desktops ship Adwaita, Plasma Breeze.
const char *const kCommonThemes[] = {"Adwaita", "breeze", "Tango"};

// Where freedesktop icon themes live (XDG_DATA_DIRS/icons). Qt takes
// them from the platform theme, and some platforms (offscreen, minimal)
// name none.
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

} // namespace

MimeIconProvider::MimeIconProvider()
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

QIcon MimeIconProvider::icon(IconType type) const
{
    return m_desktop.icon(type);
}

QIcon MimeIconProvider::icon(const QFileInfo &info) const
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
