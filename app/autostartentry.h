// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The user's XDG autostart entry for this program: its presence is the whole
// setting, so a change by a desktop's tool or by hand is read back.
class AutostartEntry final {
public:
    // An entry that starts `program`; by default the program that is running.
    explicit AutostartEntry(QString program = {});

    // $XDG_CONFIG_HOME/autostart/<app id>.desktop.
    static QString path();

    bool isEnabled() const;
    // True when the entry is now as asked; a failure writes a diagnostic line.
    bool setEnabled(bool enabled) const;

private:
    QString m_program;
};
