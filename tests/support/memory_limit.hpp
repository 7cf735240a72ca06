#pragma once
// Runs a piece of a test in a child process whose address space may grow by a bounded amount, so
// that a test can show a reader stays within a memory bound (a reader that takes more fails in the
// child instead of taking the machine's memory). The run's own wait is bounded too: a child that has
// not ended when the bound passes is killed by its id.
//
// Only where fork and setrlimit exist and no sanitizer reserves its own shadow memory; elsewhere the
// result says so and the test skips.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace amb::test {

struct LimitedRun {
  bool available = false;  // false on Windows and under the sanitizers: nothing ran
  bool passed = false;     // the function returned true within both bounds
  std::string failure;     // why not: "out of memory", "timed out after 30 s", an exception's text ...
  double seconds = 0;      // wall time of the child
  double peakMiB = 0;      // how far the child's resident memory grew above its start
  // One line for the test's output: "peak +12.3 MiB, 0.42 s" (and the failure).
  std::string summary() const;
};

// f runs in the child with at most extraBytes of address space beyond what the process held when
// it forked; its result is the child's. wait bounds how long the parent waits for it.
LimitedRun runWithMemoryLimit(std::uint64_t extraBytes, const std::function<bool()>& f,
                              std::chrono::seconds wait = std::chrono::seconds(120));

// In the child of runWithMemoryLimit: the files it writes may not grow beyond bytes (a write past
// them fails), so that a writer that runs away cannot fill the disk.
void limitFileSize(std::uint64_t bytes);

}  // namespace amb::test

// In a test: skips when the run is not available, reports the figures, expects it passed.
#define AMB_EXPECT_WITHIN_MEMORY(run)                                        \
  do {                                                                       \
    const ::amb::test::LimitedRun& amb_run_ = (run);                         \
    if (!amb_run_.available) GTEST_SKIP() << "no memory limit here";         \
    std::printf("    memory and time: %s\n", amb_run_.summary().c_str());   \
    ::testing::Test::RecordProperty("memory_and_time", amb_run_.summary()); \
    EXPECT_TRUE(amb_run_.passed) << amb_run_.summary();                      \
  } while (false)
