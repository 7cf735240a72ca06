#include "support/child_run.hpp"

#include "support/test_support.hpp"

#include <fmt/format.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define AMB_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define AMB_TEST_SANITIZED 1
#endif

namespace amb::test {

bool childLimitsUnavailable() {
#if defined(_WIN32) || defined(AMB_TEST_SANITIZED)
  return true;
#else
  return false;
#endif
}

std::string ChildOutcome::describe() const {
  std::string how = !ended ? "still running at the bound, killed"
                    : signal != 0 ? fmt::format("ended by signal {}", signal)
                                  : fmt::format("exit {}", exitCode);
  return fmt::format("{}, {:.2f} s CPU, {:.2f} s wall, {} MB resident", how, cpuSeconds, wallSeconds,
                     maxResidentKb / 1024);
}

#ifdef _WIN32
ChildOutcome runInChild(const std::function<void()>&, const ChildLimits&) { return {}; }
#else
namespace {
void limit(int resource, std::uint64_t value) {
  if (value == 0) return;
  rlimit r{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
  if (resource == RLIMIT_CPU) r.rlim_max = r.rlim_cur + 1;  // SIGXCPU first, SIGKILL a second later
  ::setrlimit(resource, &r);
}

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }
}  // namespace

ChildOutcome runInChild(const std::function<void()>& body, const ChildLimits& limits) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) return {};
  if (pid == 0) {
    limit(RLIMIT_AS, limits.addressSpaceBytes);
    limit(RLIMIT_CPU, limits.cpuSeconds);
    int code = 0;
    try {
      body();
    } catch (...) {
      code = 1;
    }
    ::_exit(code);
  }
  ChildOutcome out;
  int status = 0;
  rusage usage{};
  out.ended = waitFor([&] { return ::wait4(pid, &status, WNOHANG, &usage) == pid; }, limits.bound);
  if (!out.ended) {
    ::kill(pid, SIGKILL);
    ::wait4(pid, &status, 0, &usage);
  }
  out.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  out.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  out.maxResidentKb = usage.ru_maxrss;
  if (WIFEXITED(status)) out.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) out.signal = WTERMSIG(status);
  return out;
}
#endif

}  // namespace amb::test
