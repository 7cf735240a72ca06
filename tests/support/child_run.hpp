#pragma once
// Bounds on a reader's memory and time, checked by running it in a forked child process under
// resource limits (setrlimit) and waiting for it with a bound. The figures the child used are
// reported, so a test can print them beside its verdict. POSIX only; the limits mean nothing under
// the sanitizers, which reserve address space of their own and slow the code down many times.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace amb::test {

// Builds with AddressSanitizer or ThreadSanitizer, and the Windows build: tests of limits skip there.
bool childLimitsUnavailable();

struct ChildLimits {
  std::uint64_t addressSpaceBytes = 0;  // RLIMIT_AS; 0: none
  std::uint64_t cpuSeconds = 0;         // RLIMIT_CPU (user and system time); 0: none
  std::chrono::milliseconds bound{std::chrono::minutes(2)};  // wall time; the child is killed after it
};

struct ChildOutcome {
  bool ended = false;  // the child ended within the bound
  int exitCode = -1;   // 0 when the body returned, 1 when it threw; -1 when a signal ended it
  int signal = 0;      // the signal that ended it (SIGXCPU at the CPU limit, SIGKILL at the bound)
  double cpuSeconds = 0;
  double wallSeconds = 0;
  long maxResidentKb = 0;
  bool ok() const { return ended && signal == 0 && exitCode == 0; }
  // "exit 0, 0.41 s CPU, 0.43 s wall, 25 MB resident" and the like.
  std::string describe() const;
};

// Runs body in a forked child under the limits and waits for it, bounded. The child leaves with
// _exit, so nothing of the test program's state is written or destroyed twice; what the body must
// tell the test goes through files.
ChildOutcome runInChild(const std::function<void()>& body, const ChildLimits& limits);

}  // namespace amb::test
