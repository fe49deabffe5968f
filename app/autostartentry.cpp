// SPDX-License-Identifier: MIT
#include "autostartentry.h"

#include "diagnostics.h"
#include "texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <utility>

namespace {

// Characters that make the Desktop Entry rules quote an argument.
const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");

QString configHome()
{
    // Qt 6.4's GenericConfigLocation passes a relative value through, which
    // the base directory rules say to ignore.
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(configured) ? configured
                                            : QDir::homePath() + QStringLiteral("/.config");
}

void report(const char *what, const QString &detail)
{
    Diagnostics::writeLine(what, detail.toStdString());
}

// `program` as the Exec key's value holds it.
QString execValue(QString program)
{
    program.replace(u'%', QStringLiteral("%%"));
    if (std::any_of(program.cbegin(), program.cend(),
                    [](QChar c) { return kReserved.contains(c); })) {
        static const QRegularExpression escaped(QStringLiteral(R"((["`$\\]))"));
        program = u'"' + program.replace(escaped, QStringLiteral(R"(\\1)")) + u'"';
    }
    // The string escapes are undone before the quoting is read, so each
    // backslash the quoting wrote is written twice.
    return program.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'\n', QStringLiteral("\\n"))
        .replace(u'\t', QStringLiteral("\\t"))
        .replace(u'\r', QStringLiteral("\\r"));
}

} // namespace

AutostartEntry::AutostartEntry(QString program)
    : m_program(program.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(program))
{
}

QString AutostartEntry::path()
{
    return configHome() + QStringLiteral("/autostart/" STASHLET_APP_ID ".desktop");
}

bool AutostartEntry::isEnabled() const
{
    return QFileInfo(path()).isFile();
}

bool AutostartEntry::setEnabled(bool enabled) const
{
    const QString file = path();
    if (!enabled) {
        QFile entry(file);
        if (!QFileInfo(file).isFile() || entry.remove()) {
            return true;
        }
        report("Failed to remove the autostart entry: ",
               file + QStringLiteral(": ") + entry.errorString());
        return false;
    }
    if (!QDir().mkpath(QFileInfo(file).path())) {
        report("Failed to create the autostart folder: ", QFileInfo(file).path());
        return false;
    }
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Exec=%2\n"
                                        "Icon=" STASHLET_APP_ID "\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(Texts::appName(), execValue(m_program));
    QSaveFile entry(file);
    if (!entry.open(QIODevice::WriteOnly) || entry.write(text.toUtf8()) < 0 || !entry.commit()) {
        report("Failed to write the autostart entry: ",
               file + QStringLiteral(": ") + entry.errorString());
        return false;
    }
    return true;
}
