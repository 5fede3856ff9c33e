#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>

namespace tg::test {

// Runs work in a child process whose files may grow to at most limitBytes,
// where a write past that fails (EFBIG) like one to a full disk. Answers
// what the child reported: empty when all went as expected.
inline std::string WithFileSizeLimit(rlim_t limitBytes, const std::function<std::string()>& work) {
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = limitBytes;
    std::string report = setrlimit(RLIMIT_FSIZE, &limit) == 0 ? "" : "setrlimit failed";
    std::signal(SIGXFSZ, SIG_IGN);
    if (report.empty()) report = work();
    if (!report.empty() && write(fds[1], report.data(), report.size()) < 0) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  std::string report;
  char buffer[256];
  ssize_t n = 0;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
    report.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    report += " (the child ended with status " + std::to_string(status) + ")";
  return report;
}

}  // namespace tg::test
