// SPDX-License-Identifier: MIT
#include "backgroundpool.h"

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
    std::shared_ptr<std::atomic_bool> flag;
    {
        std::lock_guard lock(m_mutex);
        flag = m_current;
    }
    m_pool.start([work = std::move(work), token = CancelToken(flag)] { work(token); });
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
