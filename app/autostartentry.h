// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The user's XDG autostart entry for this program: its presence is the whole
// setting, so a desktop's own autostart tool, or the user removing it by hand,
// is read back the next time anyone asks.
class AutostartEntry final {
public:
    // An entry that starts `program`; by default the program that is running.
    explicit AutostartEntry(QString program = {});

    // $XDG_CONFIG_HOME/autostart/<app id>.desktop.
    static QString path();

    bool isEnabled() const;
    // Writes or removes the entry; a failure writes a line on standard output.
    // True when the entry is now as asked.
    bool setEnabled(bool enabled) const;

    // `program` as the Exec key's value holds it.
    static QString execValue(const QString &program);

private:
    QString m_program;
};
