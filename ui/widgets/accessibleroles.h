// SPDX-License-Identifier: MIT
#pragma once

// Tells screen readers what the painted pieces of the panel are: each card
// is an item of a list, and the overlay is the banner, an alert that is
// there only while it has a message. Buttons need nothing: Qt knows them.
class AccessibleRoles final {
public:
    // Once per process; later calls do nothing.
    static void install();
};
