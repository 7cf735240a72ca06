#include "platform/folders.hpp"
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

#endif

}  // namespace
}  // namespace amb
