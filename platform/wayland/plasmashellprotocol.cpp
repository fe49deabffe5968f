// SPDX-License-Identifier: MIT
// The header first: its extern declarations give the interface tables the
// external linkage C gives them and C++ would not (const at namespace scope).
#include "plasma-shell-client-protocol.h"

#include "plasma-shell-protocol.c"
