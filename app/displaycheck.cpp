// SPDX-License-Identifier: MIT
#include "displaycheck.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

bool displayAvailableOrExplain()
{
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM")) {
        return true;
    }
    std::fputs("qel-stashlet: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
               "run it inside a desktop session\n",
               stderr);
    return false;
}
