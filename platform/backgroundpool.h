// SPDX-License-Identifier: MIT
#pragma once

#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

// What a piece of background work polls to learn that it should stop.
class CancelToken final {
public:
    explicit CancelToken(std::shared_ptr<const std::atomic_bool> flag)
        : m_flag(std::move(flag))
    {
    }

    bool isCancelled() const noexcept { return m_flag->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<const std::atomic_bool> m_flag;
};

// The application's own pool for slow work (copies, drop loads). It is not
// Qt's global pool on purpose: that one is joined when QCoreApplication goes
// away, so a large copy would hold up quitting.
class BackgroundPool final {
public:
    explicit BackgroundPool(int maxThreads = 8);
    ~BackgroundPool();

    // Runs `work` soon on a pool thread; several run at once, in no fixed order.
    void async(std::function<void(const CancelToken &)> work);

    // Sets the token of all work submitted so far, started or still queued.
    // Work submitted afterwards gets a fresh token and runs normally.
    void cancelAll();

    // True when no work is left; false when `msecs` ran out first.
    bool waitForDone(int msecs);

private:
    QThreadPool m_pool;
    std::mutex m_mutex;
    std::shared_ptr<std::atomic_bool> m_current;
};
