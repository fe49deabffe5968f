// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <string>

// An addition still being copied, as the store lists it from the moment it is
// accepted until its entry is listed or it is dropped.
struct PendingCopy final {
    // Never reused while the store lives.
    std::uint64_t id = 0;
    // The added item's name, exactly its bytes, as its entry will have it.
    std::string originalName;
    // Never more than bytesTotal once that is known.
    std::uint64_t bytesDone = 0;
    // 0 while not known: a folder's size is counted on the pool.
    std::uint64_t bytesTotal = 0;
    std::chrono::steady_clock::time_point started;

    QString displayName() const { return QString::fromUtf8(originalName); }
};
