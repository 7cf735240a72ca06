// What a livery scan costs is bounded by what the disk really holds, and a closing program does not
// wait for it: a package folder of thousands of entries is listed once per aircraft.cfg, not once per
// section, and the jobs stop at the next section once the program begins to close.

#include "liveries/cfg_section.hpp"
#include "liveries/folder_search.hpp"
#include "liveries_scan/scan_fixture.hpp"
#include "support/memory_limit.hpp"

#include <fmt/format.h>

#include <cstdio>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::LiveryScanTest;
using test::section;

// An aircraft.cfg of `sections` sections in a folder of `entries` further entries, each section
// naming a texture folder that does not exist: every section's check misses a name.
fs::path missingTextures(const fs::path& folder, int sections, int entries) {
  fs::create_directories(folder / "model");
  test::writeFile(folder / "A320.air", "");
  for (int i = 0; i < entries; ++i) test::writeFile(folder / fmt::format("texture.Other{}", i), "");
  std::string cfg = "[General]\natc_model=A320\n";
  for (int i = 0; i < sections; ++i)
    cfg += section(i, fmt::format("title=Missing {}\natc_parking_codes=BAW\nsim=A320\nmodel=\ntexture=Gone{}", i, i));
  test::writeFile(folder / "aircraft.cfg", cfg);
  return folder / "aircraft.cfg";
}

TEST_F(LiveryScanTest, ThousandsOfMissingNamesInALargeFolderCostOneListing) {
  // 20,000 sections in a folder of 20,000 entries took 231 s when the folder was listed for every
  // name not found as written; under a second with one listing. The wait is bounded generously.
  const fs::path cfg = missingTextures(m_dir / "pkg", 20000, 20000);
  std::printf("20,000 missing texture folders in a folder of 20,000 entries:\n");
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(
      256ull << 20,
      [&] {
        lf_searchLiveriesinFile(1, cfg);
        return g_incompleteFltsimSections.size() == 20000;  // every section reported, none accepted
      },
      std::chrono::seconds(60)));
}

TEST_F(LiveryScanTest, AClosingProgramStopsAJobAtItsNextSection) {
  const fs::path cfg = missingTextures(m_dir / "pkg", 50, 0);
  for (std::atomic<std::uint8_t>* flag : {&g_exitUnderWay, &g_userClosed}) {
    *flag = 1;
    EXPECT_TRUE(lf_searchLiveriesinFile(1, cfg).empty());
    EXPECT_TRUE(g_incompleteFltsimSections.empty()) << "no section is looked at once the exit has begun";
    *flag = 0;
  }
  EXPECT_TRUE(lf_searchLiveriesinFile(1, cfg).empty());
  EXPECT_EQ(g_incompleteFltsimSections.size(), 50u);
}

}  // namespace
}  // namespace amb
