// SPDX-License-Identifier: MIT
#include "appidentity.h"

#include <QApplication>
#include <QIcon>

void applyApplicationIdentity()
{
    QApplication::setApplicationName(QStringLiteral("qel-stashlet"));
    QApplication::setApplicationDisplayName(QStringLiteral("QEL Stashlet"));
    QApplication::setApplicationVersion(QStringLiteral(STASHLET_VERSION));
    // Wayland's app id and the docks' match to the installed entry.
    QGuiApplication::setDesktopFileName(QStringLiteral(STASHLET_APP_ID));
}

void applyApplicationWindowIcon()
{
    // The standalone window shows it where there is no tray.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(STASHLET_APP_ID)));
}
