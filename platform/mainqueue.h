// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace MainQueue {

// Runs `block` later on the main thread's event loop, never before the caller
// has returned, one block at a time and in submission order, whichever thread
// submitted it. Without an application object there is no main loop to run it,
// and the block is dropped.
void async(std::function<void()> block);

} // namespace MainQueue
