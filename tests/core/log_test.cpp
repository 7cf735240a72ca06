#include "core/clock.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/user_error.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <thread>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

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

// A peer's bytes never make a line of their own, never exceed their share of the line, and plain
// text passes unchanged.
#ifndef _WIN32
// A disk that fills, then has room again, played without root by a limit on the size of the files
// the process writes (a write past it fails, or is cut at it, as on a full disk): the lines that do
// not go are counted; once there is room the log goes on with one line of the count, every line
// whole and none twice, and what was written before is kept.
TEST(Log, AFullDiskCostsLinesNotTheLog) {
  test::TempDir dir;
  test::ScopedCwd cwd(dir.path());
  clock::ManualClock clk(1796495598);
  gf_startLog();
  gf_log("written before the disk fills");
  const auto before = std::filesystem::file_size(dir / "Log.txt");

  // Room for one line of 40 bytes and its line end, and 19 bytes of the next.
  const auto line = [](int i) { return fmt::format("line {} that is forty bytes long ........", i); };
  ASSERT_EQ(line(1).size(), 40u);
  rlimit unlimited{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
  rlimit full = unlimited;
  full.rlim_cur = before + 60;
  const auto signalBefore = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
  for (int i = 1; i <= 5; ++i) gf_log(line(i));
  gf_logMarked("lost as well");
  setrlimit(RLIMIT_FSIZE, &unlimited);
  std::signal(SIGXFSZ, signalBefore);

  gf_log("room again");
  gf_log("and on");
  gf_closeLog("end");
  EXPECT_EQ(readLines(dir / "Log.txt"),
            (std::vector<std::string>{
                "Sat Dec 05 18:33:18 2026 (utc) Ambertrail_P3D version 10.10.4 for Prepar3D v5/v6",
                "written before the disk fills", line(1),
                "5 log lines lost: the log could not be written (a full disk?)", "room again", "and on", "end"}));
}
#endif

TEST(Log, PeerTextIsCutAndEscaped) {
  EXPECT_EQ(gf_peerText("Boeing 737-800 M\xC3\xBCnchen"), "Boeing 737-800 M\xC3\xBCnchen");
  EXPECT_EQ(gf_peerText("a\nb\r\tc\x7F"), "a\\x0Ab\\x0D\\x09c\\x7F");
  EXPECT_EQ(gf_peerText(std::string("x\0y", 3)), "x\\x00y");
  // Bytes that are not UTF-8: a lone continuation, an overlong form, a surrogate, a cut sequence.
  EXPECT_EQ(gf_peerText("\x80|\xC0\xAF|\xED\xA0\x80|\xE2\x82"),
            "\\x80|\\xC0\\xAF|\\xED\\xA0\\x80|\\xE2\\x82");
  EXPECT_EQ(gf_peerText(std::string(16384, 'q')), std::string(200, 'q') + "...");
  // The cut never splits a character: after one byte, 99 two-byte characters fit in 200 bytes; the
  // 100th would be cut in two and goes whole.
  std::string umlauts;
  for (int i = 0; i < 150; ++i) umlauts += "\xC3\xBC";
  EXPECT_EQ(gf_peerText("x" + umlauts), "x" + umlauts.substr(0, 198) + "...");
  EXPECT_EQ(gf_peerText("abcdef", 3), "abc...");
}

TEST(Log, RepeatedPeerLinesAreWrittenOnceWithTheirCount) {
  test::TempDir dir;
  test::ScopedCwd cwd(dir.path());
  clock::ManualClock clk(1796495598);
  gf_startLog();
  for (int i = 0; i < 1000; ++i) gf_logPeerf("! Unknown Dispatch dwID {}", 77);
  gf_logPeerf(LogStyle::Marked, "no QNH {}", "{}");
  for (int i = 0; i < 3; ++i) gf_logPeerf(LogStyle::Marked, "no QNH {}", "{}");
  gf_logPeerf("! Unknown Dispatch dwID {}", 77);  // after a minute the count so far is written
  clk.advance(std::chrono::seconds(61));
  gf_logPeerf("! Unknown Dispatch dwID {}", 77);
  gf_logPeerf("! Unknown Dispatch dwID {}", 77);
  gf_log("the program's own line");
  gf_log("the program's own line");  // never counted
  gf_closeLog("end");
  auto lines = readLines(dir / "Log.txt");
  lines.erase(lines.begin());
  EXPECT_EQ(lines, (std::vector<std::string>{"! Unknown Dispatch dwID 77", "===> no QNH {}",
                                             "last line repeated 1001 more times: ! Unknown Dispatch dwID 77",
                                             "the program's own line", "the program's own line",
                                             "last line repeated 1 more times: ! Unknown Dispatch dwID 77",
                                             "last line repeated 3 more times: ===> no QNH {}", "end"}));
}

// A peer text that keeps changing: after the first five lines of its kind, one line a second; the
// count of the lines left out comes before the next line of the kind and at the close. Another kind
// of line is not held up by it. Text arguments are escaped, numbers pass as they are.
TEST(Log, APeerTextThatKeepsChangingIsWrittenAtMostOnceASecond) {
  test::TempDir dir;
  test::ScopedCwd cwd(dir.path());
  clock::ManualClock clk(1796495598);
  gf_startLog();
  auto model = [](int i) { gf_logPeerf(LogStyle::Indented, "model raw: {} ", fmt::format("M{}\x1B", i)); };
  for (int i = 0; i < 7; ++i) model(i);
  clk.advance(std::chrono::milliseconds(500));
  model(7);
  clk.advance(std::chrono::milliseconds(500));
  model(8);
  gf_logPeerf("QNH {} in {}", 1013, "x\ny");
  clk.advance(std::chrono::milliseconds(250));
  model(9);
  gf_closeLog("end");
  auto lines = readLines(dir / "Log.txt");
  lines.erase(lines.begin());
  const std::string m = "          model raw: M";
  EXPECT_EQ(lines, (std::vector<std::string>{m + "0\\x1B ", m + "1\\x1B ", m + "2\\x1B ", m + "3\\x1B ",
                                             m + "4\\x1B ", "3 similar lines left out, the last: " + m + "7\\x1B ",
                                             m + "8\\x1B ", "QNH 1013 in x\\x0Ay",
                                             "1 similar line left out, the last: " + m + "9\\x1B ", "end"}));
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

// A notice (something refused, not read whole, not saved) stays readable: what follows at once (the
// parking's messages, their clearing, the ageing) is logged but leaves it on the line, for 10 s or
// until the user acts; a newer notice and an error take its place.
TEST(MessageLine, ANoticeStaysForTenSecondsOrUntilTheUserActs) {
  clock::ManualClock clk(1796495598);
  gf_clearError();
  gf_showNotice("file refused", false);
  gf_clearMessage();
  for (int i = 0; i < 30; ++i) gf_ageMessage();
  clk.advance(std::chrono::milliseconds(9999));
  gf_showMessage("parking", false);
  EXPECT_EQ(gf_messageLineSnapshot().message, "file refused");
  clk.advance(std::chrono::milliseconds(1));
  gf_showMessage("parking", false);
  EXPECT_EQ(gf_messageLineSnapshot().message, "parking");
  gf_showNotice("first", false);
  gf_showNotice("second", false);
  EXPECT_EQ(gf_messageLineSnapshot().message, "second");
  gf_endNoticeHold();  // the user clicked
  gf_showMessage("clicked", false);
  EXPECT_EQ(gf_messageLineSnapshot().message, "clicked");
  gf_showNotice("held", false);
  gf_showError("bad");
  EXPECT_EQ(gf_messageLineSnapshot().error, "bad");
  gf_clearError();
  gf_endNoticeHold();
}

}  // namespace
}  // namespace amb
