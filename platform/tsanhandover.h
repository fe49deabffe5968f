// SPDX-License-Identifier: MIT
#pragma once

// Qt's thread pool and event queue hand work between threads through futexes
// ThreadSanitizer does not see: unmarked, it takes every hand-over for a race.
// Outside a ThreadSanitizer build these marks are nothing.
namespace TsanHandover {
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
inline char g_mark;
// Before the work leaves this thread.
inline void send()
{
    __tsan_release(&g_mark);
}
// First thing on the thread that runs it.
inline void receive()
{
    __tsan_acquire(&g_mark);
}
#else
inline void send() {}
inline void receive() {}
#endif
} // namespace TsanHandover
