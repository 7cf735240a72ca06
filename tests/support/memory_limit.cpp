#include "support/memory_limit.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <exception>
#include <new>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define AMB_NO_MEMORY_LIMIT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define AMB_NO_MEMORY_LIMIT 1
#endif
#endif

#if !defined(_WIN32) && !defined(AMB_NO_MEMORY_LIMIT)
#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace amb::test {

std::string LimitedRun::summary() const {
  std::string text = fmt::format("peak +{:.1f} MiB, {:.2f} s", peakMiB, seconds);
  if (!passed) text += ", failed: " + (failure.empty() ? std::string("the check was false") : failure);
  return text;
}

#if defined(_WIN32) || defined(AMB_NO_MEMORY_LIMIT)

LimitedRun runWithMemoryLimit(std::uint64_t, const std::function<bool()>&, std::chrono::seconds) { return {}; }
void limitFileSize(std::uint64_t) {}

#else

namespace {

// Pages of the address space and of resident memory, from the kernel's own count.
void pagesInUse(std::uint64_t& size, std::uint64_t& resident) {
  std::ifstream statm("/proc/self/statm");
  statm >> size >> resident;
}

// The child: runs f under the limit and writes "passed seconds peakMiB failure" to the pipe.
[[noreturn]] void child(int out, std::uint64_t extraBytes, const std::function<bool()>& f) {
  const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  std::uint64_t size = 0, resident = 0;
  pagesInUse(size, resident);
  const rlimit limit{static_cast<rlim_t>(size * page + extraBytes), static_cast<rlim_t>(size * page + extraBytes)};
  bool passed = false;
  std::string failure;
  const auto start = std::chrono::steady_clock::now();
  if (::setrlimit(RLIMIT_AS, &limit) != 0) {
    failure = "setrlimit failed";
  } else {
    try {
      passed = f();
    } catch (const std::bad_alloc&) {
      failure = "out of memory";
    } catch (const std::exception& e) {
      failure = std::string("exception: ") + e.what();
    } catch (...) {
      failure = "unknown exception";
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const double startMiB = static_cast<double>(resident * page) / (1024.0 * 1024.0);
  const double peakMiB = std::max(0.0, static_cast<double>(usage.ru_maxrss) / 1024.0 - startMiB);
  const std::string message = fmt::format("{} {} {} {}", passed ? 1 : 0, seconds, peakMiB, failure);
  const ssize_t written = ::write(out, message.data(), message.size());
  ::_exit(written == static_cast<ssize_t>(message.size()) ? 0 : 1);
}

}  // namespace

LimitedRun runWithMemoryLimit(std::uint64_t extraBytes, const std::function<bool()>& f, std::chrono::seconds wait) {
  LimitedRun run;
  run.available = true;
  int fds[2];
  if (::pipe(fds) != 0) {
    run.failure = "pipe failed";
    return run;
  }
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    child(fds[1], extraBytes, f);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    run.failure = "fork failed";
    return run;
  }
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + wait;
  int status = 0;
  bool ended = false;
  while (!ended) {
    const pid_t got = ::waitpid(pid, &status, WNOHANG);
    if (got == pid) {
      ended = true;
    } else if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ::close(fds[0]);
      run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      run.failure = fmt::format("timed out after {} s", wait.count());
      return run;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  std::string message;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int passed = 0;
  int consumed = 0;
  if (!WIFEXITED(status) ||
      std::sscanf(message.c_str(), "%d %lf %lf %n", &passed, &run.seconds, &run.peakMiB, &consumed) < 3) {
    run.failure = WIFSIGNALED(status) ? fmt::format("ended by signal {}", WTERMSIG(status)) : "no result";
    return run;
  }
  run.passed = passed == 1;
  run.failure = message.substr(static_cast<std::size_t>(consumed));
  return run;
}

void limitFileSize(std::uint64_t bytes) {
  // A write past the limit then fails with EFBIG instead of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

#endif

}  // namespace amb::test
