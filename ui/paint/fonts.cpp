// SPDX-License-Identifier: MIT
#include "fonts.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>

namespace {

// The rounded family in use, or an empty string when none is installed.
QString roundedFamily()
{
    // Looked up once: a running panel would not follow a change of fonts anyway.
    static const QString family = [] {
        const QStringList candidates = {
            QStringLiteral("SF Pro Rounded"), QStringLiteral("Nunito"),
            QStringLiteral("Varela Round"),   QStringLiteral("M PLUS Rounded 1c"),
            QStringLiteral("Quicksand"),      QStringLiteral("Comfortaa"),
        };
        const QStringList installed = QFontDatabase::families();
        for (const QString &name : candidates) {
            if (installed.contains(name, Qt::CaseInsensitive))
                return name;
        }
        return QString();
    }();
    return family;
}

} // namespace

QFont systemFont(int pixelSize, QFont::Weight weight, FontDesign design)
{
    QFont font = QGuiApplication::font();
    if (design == FontDesign::Rounded && !roundedFamily().isEmpty())
        font.setFamilies({roundedFamily()});
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}
