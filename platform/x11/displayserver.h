// SPDX-License-Identifier: MIT
#pragma once

#include <QGuiApplication>

// Which display server Qt talks to, asked here so that the rest of the
// program never compares platform plug-in names.
namespace displayserver {

// Qt's xcb plug-in: an X server, the desktop's own or XWayland.
inline bool isX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

inline bool isWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// An X server that is the desktop's own: XWayland sees the pointer only over
// its own windows.
inline bool isNativeX11()
{
    return isX11() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace displayserver
