#include "engine/streams/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>

namespace tg {

namespace {

ThreadPriority Apply(pthread_t handle, ThreadPriority priority) {
  sched_param param{};
  if (priority == ThreadPriority::TimeCritical) {
    param.sched_priority = sched_get_priority_max(SCHED_FIFO) - 10;
    if (pthread_setschedparam(handle, SCHED_FIFO, &param) == 0) return ThreadPriority::TimeCritical;
    param.sched_priority = 0;
  }
  pthread_setschedparam(handle, SCHED_OTHER, &param);
  return ThreadPriority::Normal;
}

}  // namespace

ThreadPriority SetThreadPriority(std::thread& thread, ThreadPriority priority) {
  return Apply(thread.native_handle(), priority);
}

ThreadPriority SetCurrentThreadPriority(ThreadPriority priority) {
  return Apply(pthread_self(), priority);
}

}  // namespace tg
