// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>

// Counts outstanding pieces of work and runs blocks on the main queue once all
// of them have finished. A DispatchGroup is a handle: copies share one count,
// so a copy can be captured by work on any thread. All members are thread-safe.
class DispatchGroup final {
public:
    DispatchGroup();

    void enter();
    // Each leave() must match an earlier enter(); an unmatched one is ignored.
    void leave();
    // Queues `block` to the main queue when the count drops to zero, or at
    // once when it is zero already. Each block runs once.
    void notify(std::function<void()> block);

private:
    struct State;
    std::shared_ptr<State> m_state;
};
