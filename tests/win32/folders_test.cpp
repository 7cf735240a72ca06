#include "platform/app_resources.hpp"
#include "platform/folders.hpp"
#include "platform/single_instance.hpp"
#include "platform/timer.hpp"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32

#include <process.h>

namespace amb {
namespace {

TEST(Win32Platform, ShellFoldersAreAbsoluteAndExist) {
  using platform::KnownFolder;
  const std::pair<KnownFolder, const char*> cases[] = {{KnownFolder::AppData, "Roaming"},
                                                       {KnownFolder::Documents, nullptr},
                                                       {KnownFolder::PublicDocuments, "Documents"},
                                                       {KnownFolder::ProgramData, "ProgramData"}};
  for (const auto& [which, lastPart] : cases) {
    const auto p = platform::knownFolder(which);
    ASSERT_TRUE(p.has_value()) << static_cast<int>(which);
    EXPECT_TRUE(p->has_root_name()) << p->string();  // a drive letter, not a host path
    EXPECT_TRUE(std::filesystem::is_directory(*p)) << p->string();
    EXPECT_EQ(p->filename().string(), lastPart ? lastPart : p->filename().string());
  }
  EXPECT_NE(platform::knownFolder(KnownFolder::Documents), platform::knownFolder(KnownFolder::PublicDocuments));
}

TEST(Win32Platform, SingleInstanceResourcesAndTimer) {
  // The mutex stays with the process, so a second claim meets error 183 as a second copy would.
  // Names of this process and round: a repeated run or another copy of the tests claims its own.
  static int round = 0;
  const std::string prefix =
      "Local\\$Ambertrail_P3D test " + std::to_string(_getpid()) + "." + std::to_string(++round) + " ";
  EXPECT_TRUE(platform::acquireSingleInstance(prefix + "one$"));
  EXPECT_FALSE(platform::acquireSingleInstance(prefix + "one$"));
  EXPECT_TRUE(platform::acquireSingleInstance(prefix + "two$"));
  // The test program carries no string table; the program's own title comes with its resources.
  EXPECT_FALSE(platform::appTitle().has_value());
  // timeBeginPeriod and timeEndPeriod pair up; nested guards are allowed.
  platform::TimerResolution outer;
  platform::TimerResolution inner(1);
}

}  // namespace
}  // namespace amb

#endif
