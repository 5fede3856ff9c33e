#pragma once

#include <thread>

namespace tg {

enum class ThreadPriority { Normal, TimeCritical };

// Real-time scheduling where the system grants it, silently normal where it
// does not. Answers the priority the thread now has.
ThreadPriority SetThreadPriority(std::thread& thread, ThreadPriority priority);
ThreadPriority SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace tg
