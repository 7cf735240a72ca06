#include "core/clock.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/user_error.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace amb {
namespace {

using test::readLines;
using test::ScopedCwd;
using test::TempDir;

// 2026-12-05 18:33:18 UTC, a Saturday.
constexpr long long kSat = 1796495598;

TEST(Log, HeaderAndRotationOverThreeStarts) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  clock::ManualClock clk(kSat);
  for (int run = 1; run <= 3; ++run) {
    gf_startLog();
    gf_log(fmt::format("run {}", run));
    gf_closeLog("end");
  }
  auto cur = readLines(dir / "Log.txt");
  auto prev = readLines(dir / "Log0.txt");
  auto first = readLines(dir / "Log00.txt");
  ASSERT_EQ(cur.size(), 3u);
  EXPECT_EQ(cur[0], "Sat Dec 05 18:33:18 2026 (utc) Ambertrail_P3D version 10.10.4 for Prepar3D v5/v6");
  EXPECT_EQ(cur[1], "run 3");
  EXPECT_EQ(prev[1], "run 2");
  EXPECT_EQ(first[1], "run 1");
}

TEST(Log, FirstStartMakesNoBackupAndClosedLogDropsLines) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  gf_log("before start");
  gf_startLog();
  gf_logMarked("abc");
  gf_logIndented("abc");
  gf_closeLog("last");
  gf_log("after close");
  EXPECT_FALSE(std::filesystem::exists(dir / "Log0.txt"));
  auto lines = readLines(dir / "Log.txt");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "===> abc");
  EXPECT_EQ(lines[2], "          abc");
  EXPECT_EQ(lines[3], "last");
}

TEST(Log, ConcurrentWritersKeepLinesWhole) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  gf_startLog();
  const std::string body(200, 'x');
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t, &body] {
      for (int i = 0; i < 200; ++i) gf_log(fmt::format("T{}:{}:{}", t, i, body));
    });
  for (auto& th : threads) th.join();
  gf_closeLog("end");
  auto lines = readLines(dir / "Log.txt");
  ASSERT_EQ(lines.size(), 1u + 8 * 200 + 1);
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    ASSERT_EQ(lines[i].substr(lines[i].size() - body.size()), body) << lines[i];
    ASSERT_EQ(lines[i][0], 'T');
  }
}

TEST(UserError, MessageRules) {
  EXPECT_STREQ(UserErrorException(99, "").what(), "");
  EXPECT_STREQ(UserErrorException(0, "x").what(), "0: x");
  EXPECT_STREQ(UserErrorException(-1, "x").what(), "-1: x");
  try {
    throw UserErrorException(41, "abc");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "41: abc");
  }
}

TEST(MessageLine, ErrorsWinAndMessagesAge) {
  gf_clearError();
  gf_resetMessageCounter();
  gf_showMessage("hello", false);
  EXPECT_EQ(gf_messageLineSnapshot().stamp, 1u);
  for (int i = 0; i < 25; ++i) gf_ageMessage();
  EXPECT_EQ(gf_messageLineSnapshot().message, "hello");  // counter 25: not yet
  gf_ageMessage();                                        // counter 26
  EXPECT_EQ(gf_messageLineSnapshot().message, "");

  gf_showError("bad");
  gf_showMessage("ignored", true);
  gf_clearMessage();
  auto s = gf_messageLineSnapshot();
  EXPECT_EQ(s.error, "bad");
  EXPECT_EQ(s.message, "");
  gf_clearError();
  EXPECT_EQ(gf_messageLineSnapshot().error, "");
}

}  // namespace
}  // namespace amb
