// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <vector>

// Hands files to a service that sends them to a nearby device.
namespace SharingService {

// Starts the service the desktop offers now on `items` and returns at once;
// what follows is the service's own window. On Linux that is KDE Connect's
// device picker, found on PATH, else GSConnect's device chooser, found on the
// session bus. With neither, or one that fails, writes the line saying so.
void sendToNearbyDevice(const std::vector<std::filesystem::path> &items);

} // namespace SharingService
