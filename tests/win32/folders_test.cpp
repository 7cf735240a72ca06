#include "platform/app_resources.hpp"
#include "platform/folders.hpp"
#include "platform/single_instance.hpp"
#include "platform/timer.hpp"

#include <gtest/gtest.h>

namespace amb {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32

TEST(Win32Folders, ShellFoldersAreAbsoluteAndExist) {
  using platform::KnownFolder;
  struct Case {
    KnownFolder which;
    const char* lastPart;  // the folder's own name in a default installation; null: not checked
  };
  const Case cases[] = {{KnownFolder::AppData, "Roaming"},
                        {KnownFolder::Documents, nullptr},
                        {KnownFolder::PublicDocuments, "Documents"},
                        {KnownFolder::ProgramData, "ProgramData"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.which));
    const auto p = platform::knownFolder(c.which);
    ASSERT_TRUE(p.has_value());
    EXPECT_TRUE(p->is_absolute()) << p->string();
    EXPECT_TRUE(p->has_root_name()) << p->string();  // a drive letter, not a host path
    EXPECT_TRUE(fs::is_directory(*p)) << p->string();
    if (c.lastPart) {
      EXPECT_EQ(p->filename().string(), c.lastPart);
    }
  }
  EXPECT_NE(platform::knownFolder(KnownFolder::Documents), platform::knownFolder(KnownFolder::PublicDocuments));
}

TEST(Win32Timer, ResolutionGuardsNest) {
  // timeBeginPeriod and timeEndPeriod must pair up; nested guards are allowed.
  platform::TimerResolution outer;
  { platform::TimerResolution inner(1); }
  platform::TimerResolution again(1);
  SUCCEED();
}

TEST(Win32SingleInstance, SecondClaimOfANameIsRefused) {
  // The mutex stays with the process, so a second claim from this process meets error 183 as a
  // second copy of the program would.
  EXPECT_TRUE(platform::acquireSingleInstance("Local\\$Ambertrail_P3D test one$"));
  EXPECT_FALSE(platform::acquireSingleInstance("Local\\$Ambertrail_P3D test one$"));
  EXPECT_TRUE(platform::acquireSingleInstance("Local\\$Ambertrail_P3D test two$"));
  EXPECT_TRUE(platform::singleInstanceLockPath("x").empty());
}

TEST(Win32Resources, TitleMissingFromAProgramWithoutIt) {
  // The test program carries no string table; the program's own title comes with its resources.
  EXPECT_FALSE(platform::appTitle().has_value());
}

#endif

}  // namespace
}  // namespace amb
