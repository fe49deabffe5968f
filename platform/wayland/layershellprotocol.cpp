// SPDX-License-Identifier: MIT
// Its header first: the extern declarations give the interface tables the
// external linkage C gives them and C++ would not (const at namespace scope).
#include <wayland-client.h>
// The protocol names a parameter `namespace`, a word C++ keeps for itself.
#define namespace name_space
#include "wlr-layer-shell-client-protocol.h"
#undef namespace

#include "wlr-layer-shell-protocol.c"

// The layer shell names xdg-shell's popup for a request the program never
// sends (a popup of the panel); Qt keeps its own table private, so the name
// is all this one carries.
const wl_interface xdg_popup_interface = {"xdg_popup", 6, 0, nullptr, 0, nullptr};
