// Text files far larger than any the program reads: refused whole with one log line naming them,
// within a memory bound however their bytes are laid out, also when several are read at once.

#include "core/files.hpp"
#include "core/log.hpp"
#include "support/memory_limit.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr std::uint64_t kMiB = 1024 * 1024;

// A file of the text repeated until it holds the bytes.
void writeRepeated(const fs::path& path, const std::string& text, std::uint64_t bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string block;
  while (block.size() < kMiB) block += text;
  for (std::uint64_t written = 0; written < bytes; written += block.size())
    out.write(block.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), bytes - written)));
}

std::size_t logCount(const fs::path& log, const std::string& text) {
  const auto lines = test::readLines(log);
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

class TextLimits : public ::testing::Test {
protected:
  void SetUp() override { gf_startLog(); }
  void TearDown() override { gf_closeLog("end"); }
  std::string refusedLine(const fs::path& file) const {
    return "===> " + gf_pathText(file) +
           " refused: a text file of more than 16777216 bytes or 500000 lines is not one the program reads";
  }

  TempDir m_dir{"amb-textlimits"};
  test::ScopedCwd m_cwd{m_dir.path()};
};

TEST_F(TextLimits, A96MegabyteFileOfEmptyLinesIsRefusedWithOneLine) {
  const fs::path cfg = m_dir / "aircraft.cfg";
  writeRepeated(cfg, "\r\n", 96 * kMiB);
  std::vector<std::string> lines;
  EXPECT_FALSE(gf_readTextFileLines(cfg, lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(logCount(m_dir / "Log.txt", refusedLine(cfg)), 1u);
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(64 * kMiB, [&] {
    std::vector<std::string> kept{"kept"};
    return !gf_readTextFileLines(cfg, kept) && kept == std::vector<std::string>{"kept"};
  }));
}

TEST_F(TextLimits, ManyEmptyLinesInASmallFileAreRefusedInEveryEncoding) {
  // 1 MB, but a million lines: more than any real text file has.
  const std::pair<const char*, std::string> files[] = {
      {"plain.txt", std::string(1'000'000, '\n')},
      {"bom.txt", "\xEF\xBB\xBF" + std::string(1'000'000, '\n')},
      {"utf16.txt", "\xFF\xFE" + [] {
         std::string s;
         for (int k = 0; k < 600'000; ++k) s += std::string("\n\0", 2);
         return s;
       }()}};
  for (const auto& [name, bytes] : files) {
    test::writeFile(m_dir / name, bytes);
    std::vector<std::string> lines{"kept"};
    EXPECT_FALSE(gf_readTextFileLines(m_dir / name, lines)) << name;
    EXPECT_EQ(lines, std::vector<std::string>{"kept"}) << name;
  }
  // Up to the limits a file is read whole.
  test::writeFile(m_dir / "most.txt", std::string(499'999, '\n') + "last");
  std::vector<std::string> lines;
  EXPECT_TRUE(gf_readTextFileLines(m_dir / "most.txt", lines));
  EXPECT_EQ(lines.size(), 500'000u);
  EXPECT_EQ(lines.back(), "last");
  gf_closeLog("end");
  for (const auto& [name, bytes] : files) EXPECT_EQ(logCount(m_dir / "Log.txt", refusedLine(m_dir / name)), 1u) << name;
}

TEST_F(TextLimits, OneHugeLineIsNotHeldWhole) {
  // A stream gives no size beforehand: the reader stops once it has seen more than the limit.
  std::istringstream in(std::string(17 * kMiB, 'x'));
  EXPECT_TRUE(gf_readLines(in).empty());
  std::istringstream within(std::string(1000, 'x') + "\r\nb\r");
  EXPECT_EQ(gf_readLines(within), (std::list<std::string>{std::string(1000, 'x'), "b\r"}));
}

TEST_F(TextLimits, EightReadersAtOnceStayWithinTheirBound) {
  // Just under the byte limit, all empty lines: each reader meets the line limit.
  const fs::path cfg = m_dir / "aircraft.cfg";
  writeRepeated(cfg, "\n", 15 * kMiB);
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(768 * kMiB, [&] {
    std::vector<std::thread> readers;
    std::atomic<int> refused{0};
    for (int k = 0; k < 8; ++k)
      readers.emplace_back([&] {
        std::vector<std::string> lines;
        if (!gf_readTextFileLines(cfg, lines) && lines.empty()) ++refused;
      });
    for (std::thread& t : readers) t.join();
    return refused == 8;
  }));
}

}  // namespace
}  // namespace amb
