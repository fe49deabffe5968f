// SPDX-License-Identifier: MIT
#pragma once

#include <QtTest>

#include <unistd.h>

// A case this machine cannot set up (a tool missing, a mount refused) is
// skipped on a developer's machine. Under .ci/run, as root with every tool
// installed, a skip would only hide that the case never ran, so it fails.
#define STASHLET_SKIP_UNLESS_CI(reason)                                                            \
    do {                                                                                           \
        if (qEnvironmentVariableIsSet("STASHLET_CI") && ::geteuid() == 0) {                        \
            QFAIL(reason);                                                                         \
        }                                                                                          \
        QSKIP(reason);                                                                             \
    } while (false)
