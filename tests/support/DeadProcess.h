#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tg::test {

// A process id that names no process any more.
inline pid_t DeadProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

}  // namespace tg::test
