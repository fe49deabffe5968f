// SPDX-License-Identifier: MIT
#include "dispatchgroup.h"

#include "mainqueue.h"

#include <QtGlobal>

#include <mutex>
#include <vector>

struct DispatchGroup::State {
    std::mutex mutex;
    int count = 0;
    std::vector<std::function<void()>> waiting;
};

DispatchGroup::DispatchGroup()
    : m_state(std::make_shared<State>())
{
}

void DispatchGroup::enter()
{
    std::lock_guard lock(m_state->mutex);
    ++m_state->count;
}

void DispatchGroup::leave()
{
    std::vector<std::function<void()>> ready;
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->count == 0) {
            qWarning("DispatchGroup::leave() without a matching enter()");
            return;
        }
        if (--m_state->count == 0) {
            ready.swap(m_state->waiting);
        }
    }
    // Queued outside the lock: a block may enter the group again.
    for (auto &block : ready) {
        MainQueue::async(std::move(block));
    }
}

void DispatchGroup::notify(std::function<void()> block)
{
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->count > 0) {
            m_state->waiting.push_back(std::move(block));
            return;
        }
    }
    MainQueue::async(std::move(block));
}
