// SPDX-License-Identifier: MIT
#include "backgroundpool.h"

#include "tsanhandover.h"

BackgroundPool::BackgroundPool(int maxThreads)
    : m_current(std::make_shared<std::atomic_bool>(false))
{
    m_pool.setMaxThreadCount(maxThreads);
}

BackgroundPool::~BackgroundPool()
{
    cancelAll();
    m_pool.waitForDone();
}

void BackgroundPool::async(std::function<void(const CancelToken &)> work)
{
    std::unique_lock lock(m_mutex);
    CancelToken token(m_current);
    lock.unlock();
    std::function<void()> task = [work = std::move(work), token = std::move(token)] {
        TsanHandover::receive();
        work(token);
    };
    TsanHandover::send();
    m_pool.start(std::move(task));
}

void BackgroundPool::cancelAll()
{
    std::lock_guard lock(m_mutex);
    m_current->store(true, std::memory_order_relaxed);
    m_current = std::make_shared<std::atomic_bool>(false);
}

bool BackgroundPool::waitForDone(int msecs)
{
    return m_pool.waitForDone(msecs);
}
