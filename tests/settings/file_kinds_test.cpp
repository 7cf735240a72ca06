// A settings path that holds no file (a folder, a pipe) is never read: it is moved aside as a damaged
// file would be, and the defaults are taken. A folder read as a file asks for an absurd allocation,
// and a pipe never ends.

#include "settings/parameters.hpp"
#include "settings_fixture.hpp"
#include "support/memory_limit.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace amb {
namespace {

using test::readFile;
using ParametersTest = test::SettingsTest;

// The log line of the move; the reason text in the middle.
bool keptAside(const std::vector<std::string>& log) {
  return std::count(log.begin(), log.end(),
                    g_parametersPath + " could not be read (it is no file), kept as " + g_parametersPath + ".bad") == 1;
}

TEST_F(ParametersTest, AFolderInPlaceOfTheFileIsMovedAsideWithWhatItHolds) {
  std::filesystem::create_directories(file());
  test::writeFile(file() / "notes.txt", "mine");
  gf_loadOptions();
  EXPECT_TRUE(keptAside(log()));
  EXPECT_TRUE(logHas(g_parametersPath + " unreadable, default values taken:"));
  EXPECT_EQ(readFile(dir() / "parameters.xml.bad" / "notes.txt"), "mine");
  EXPECT_EQ(LATERAL_RANGE.value, 40);
  // The fresh file took its place and is read at the next start; a file kept from an earlier damage
  // makes way for the new one.
  ASSERT_TRUE(std::filesystem::is_regular_file(file()));
  LATERAL_RANGE.value = 25;
  gf_saveIntOption(LATERAL_RANGE);
  gf_loadOptions();
  EXPECT_EQ(LATERAL_RANGE.value, 25);
  std::filesystem::remove_all(dir() / "parameters.xml.bad");
  test::writeFile(dir() / "parameters.xml.bad", "older");
  std::filesystem::remove(file());
  std::filesystem::create_directories(file());
  gf_loadOptions();
  EXPECT_TRUE(std::filesystem::is_directory(dir() / "parameters.xml.bad"));
  EXPECT_TRUE(std::filesystem::is_regular_file(file()));
}

TEST_F(ParametersTest, APipeInPlaceOfTheFileIsNotWaitedFor) {
  AMB_SKIP_ON_WINDOWS("named pipes of the file system are POSIX");
#ifndef _WIN32
  ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
  // In a child process, the wait bounded: a reader that opens the pipe waits for a writer for good.
  std::printf("settings load with a pipe in place of parameters.xml:\n");
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(
      64ull << 20,
      [] {
        gf_loadOptions();
        return true;
      },
      std::chrono::seconds(20)));
  EXPECT_TRUE(keptAside(log()));
  struct stat kept {};
  ASSERT_EQ(::stat((dir() / "parameters.xml.bad").c_str(), &kept), 0);
  EXPECT_TRUE(S_ISFIFO(kept.st_mode));
  EXPECT_TRUE(std::filesystem::is_regular_file(file()));
#endif
}

}  // namespace
}  // namespace amb
