// SPDX-License-Identifier: MIT
#include "appidentity.h"

#include "texts.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>

void applyApplicationIdentity()
{
    QApplication::setApplicationName(QStringLiteral("qel-stashlet"));
    QApplication::setApplicationDisplayName(Texts::appName());
    QApplication::setApplicationVersion(QStringLiteral(STASHLET_VERSION));
    // Wayland's app id and the docks' match to the installed entry.
    QGuiApplication::setDesktopFileName(QStringLiteral(STASHLET_APP_ID));
}

void installTranslation()
{
    const QString folder = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                  QStringLiteral("qel-stashlet/translations"),
                                                  QStandardPaths::LocateDirectory);
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (folder.isEmpty() ||
        !translator->load(QLocale(), QStringLiteral("qel-stashlet"), QStringLiteral("_"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
    }
}

void applyApplicationWindowIcon()
{
    // The standalone window shows it where there is no tray.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(STASHLET_APP_ID)));
}
