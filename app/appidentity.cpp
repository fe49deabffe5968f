// SPDX-License-Identifier: MIT
#include "appidentity.h"

#include "texts.h"

#include <QApplication>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>

#include <memory>

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
    // Beside the program first, so a build tree speaks the translations it built.
    QStringList folders{QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    folders += QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                         QStringLiteral("qel-stashlet/translations"),
                                         QStandardPaths::LocateDirectory);
    // The first of the user's languages the program speaks. Italian is the
    // texts' own, so it ends the search untranslated, as the C locale does
    // (a script's LANG=C keeps the texts it knows, whatever LANGUAGE says).
    if (QLocale::system().language() == QLocale::C) {
        return;
    }
    auto translator = std::make_unique<QTranslator>();
    for (const QString &name : QLocale::system().uiLanguages()) {
        const QLocale language(name);
        if (language.language() == QLocale::Italian || language.language() == QLocale::C) {
            return;
        }
        for (const QString &folder : folders) {
            if (translator->load(language, QStringLiteral("qel-stashlet"), QStringLiteral("_"),
                                 folder)) {
                translator->setParent(QCoreApplication::instance());
                QCoreApplication::installTranslator(translator.release());
                return;
            }
        }
    }
}
