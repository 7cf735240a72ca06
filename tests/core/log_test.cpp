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

TEST(Log, HeaderAndRotationOverThreeStarts) {
  test::TempDir dir;
  test::ScopedCwd cwd(dir.path());
  clock::ManualClock clk(1796495598);  // 2026-12-05 18:33:18 UTC, a Saturday
  gf_log("before start");  // dropped, as is a line after the close
  for (int run = 1; run <= 3; ++run) {
    gf_startLog();
    EXPECT_EQ(std::filesystem::exists(dir / "Log0.txt"), run > 1);
    gf_log(fmt::format("run {}", run));
    gf_logMarked("abc");
    gf_logIndented("abc");
    gf_closeLog("end");
    gf_log("after close");
  }
  EXPECT_EQ(readLines(dir / "Log.txt"),
            (std::vector<std::string>{"Sat Dec 05 18:33:18 2026 (utc) Ambertrail_P3D version 10.10.4 for Prepar3D v5/v6",
                                      "run 3", "===> abc", "          abc", "end"}));
  EXPECT_EQ(readLines(dir / "Log0.txt").at(1), "run 2");
  EXPECT_EQ(readLines(dir / "Log00.txt").at(1), "run 1");
}

TEST(Log, ConcurrentWritersKeepLinesWhole) {
  test::TempDir dir;
  test::ScopedCwd cwd(dir.path());
  gf_startLog();
  const std::string body(200, 'x');
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t, &body] {
      for (int i = 0; i < 200; ++i) gf_log(fmt::format("T{}:{}:{}", t, i, body));
    });
  for (auto& th : threads) th.join();
  gf_closeLog("end");
  const auto lines = readLines(dir / "Log.txt");
  ASSERT_EQ(lines.size(), 1u + 8 * 200 + 1);
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) ASSERT_TRUE(lines[i][0] == 'T' && lines[i].ends_with(body)) << lines[i];
}

TEST(MessageLine, ErrorsWinAndMessagesAge) {
  EXPECT_STREQ(UserErrorException(41, "abc").what(), "41: abc");
  gf_clearError();
  gf_resetMessageCounter();
  gf_showMessage("hello", false);
  for (int i = 0; i < 25; ++i) gf_ageMessage();
  EXPECT_EQ(gf_messageLineSnapshot().message, "hello");  // counter 25: not yet
  gf_ageMessage();
  EXPECT_EQ(gf_messageLineSnapshot().message, "");
  gf_showError("bad");
  gf_showMessage("ignored", true);
  EXPECT_EQ(gf_messageLineSnapshot().error, "bad");
  EXPECT_EQ(gf_messageLineSnapshot().message, "");
  gf_clearError();
}

}  // namespace
}  // namespace amb
