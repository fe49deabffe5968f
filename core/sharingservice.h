// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

// Hands files to a service that sends them to a nearby device.
class SharingService {
public:
    enum class Name { SendToNearbyDevice };

    virtual ~SharingService() = default;

    // The service of that name as the desktop offers it now, or null when it
    // offers none. On Linux that is KDE Connect's device picker, found on
    // PATH, else GSConnect's device chooser, found on the session bus.
    static std::unique_ptr<SharingService> named(Name name);

    // Starts the service on `items` and returns at once; what follows is the
    // service's own window.
    virtual void perform(const std::vector<std::filesystem::path> &items) = 0;
};
