// The automatic scan's folder lists from the simulator's "scenery.cfg" and "scenery_add-ons.xml".

#include "core/files.hpp"
#include "core/log.hpp"
#include "scan/scenery_lists.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace amb::test {
namespace {

namespace fs = std::filesystem;
using Folders = std::vector<std::string>;

class SceneryLists : public ::testing::Test {
protected:
  void SetUp() override {
    m_cwd.emplace(m_dir.path());
    gf_startLog();
    fs::create_directories(m_config.programData);
  }
  void TearDown() override {
    gf_closeLog("end");
    m_cwd.reset();
  }
  Folders readCfg(const std::string& text) {
    writeFile(m_config.programData / "scenery.cfg", text);
    Folders folders{"kept"};
    lf_readSceneryCfg(m_config, folders);
    folders.erase(folders.begin());
    return folders;
  }
  bool logHas(const std::string& line) const {
    const auto lines = readLines(m_dir / "Log.txt");
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::string sim(const std::string& rel) const { return gf_pathText(m_config.installPath / rel); }

  TempDir m_dir{"amb-scenery"};
  std::optional<ScopedCwd> m_cwd;
  SceneryConfig m_config{m_dir / "ProgramData", m_dir / "P3D", m_dir / "P3D" / "Scenery"};
};

TEST_F(SceneryLists, ActiveAreasGiveTheirLocalFolders) {
  AMB_SKIP_ON_WINDOWS("the fixture names Linux folders");
  const Folders found = readCfg(
      "[General]\nLocal=/before/any/area\n"
      "[Area.001]\nTitle=Local active true\nLocal=/addons/Off\nActive=FALSE\n"
      "[Area.002]\nTitle=Field\nLocal=Addon Scenery\\MyField\nActive=True\n"
      "[AREA.003]\nLocal=/addons/Areas/Big\nACTIVE=TRUE\nLayer=3\n"
      "[area.004]\nactive=true\nLocal=/addons/Airports Pack\n"
      "[Area.005]\nActive=true\nLocal=/addons/Basel\\World\n"
      "[Area.006]\nActive=true\nLocal=Scenery\\0307\n"
      "[Area.007]\nActive=true\nLocal=" + gf_pathText(m_config.stockScenery / "Props") + "\n"
      "[Area.008]\nActive=true\nLocal /addons/no-equals\n"
      "[Area.009]\nActive=true\nLayer=Local=/addons/layer\nRequired=Local=/addons/req\nLocal=  /addons/Last  \n");
  // Relative entries lie below the install folder; "Areas" in a path does not start a block; the
  // stock tokens, the stock folder, the line without "=" and Title/Layer/Required lines give none.
  EXPECT_EQ(found, (Folders{sim("Addon Scenery/MyField"), "/addons/Areas/Big", "/addons/Airports Pack", "/addons/Last"}));
  EXPECT_TRUE(logHas("      found:/addons/Last"));
  EXPECT_TRUE(logHas("4 scenery add-on paths found"));
}

TEST_F(SceneryLists, MissingFilesAndFilesWithoutAreasGiveNoFolders) {
  Folders folders;
  lf_readSceneryCfg(m_config, folders);
  lf_readSceneryAddOnsXml(m_config, folders);
  EXPECT_TRUE(folders.empty());
  EXPECT_TRUE(logHas(gf_pathText(m_config.programData / "scenery.cfg") + " not found!"));
  EXPECT_TRUE(logHas(gf_pathText(m_config.programData / "scenery_add-ons.xml") + " not found!"));
  EXPECT_EQ(readCfg("[General]\nActive=True\nLocal=/x\n"), Folders{});
  EXPECT_TRUE(logHas("0 scenery add-on paths found"));
}

TEST_F(SceneryLists, AddOnsXmlTakesOneLinePathsUnchanged) {
  // Written as UTF-16, as the simulator may write it.
  const std::u16string text =
      u"\uFEFF<SceneryAddons>\n<AddOn><Path> /addons/Zürich </Path></AddOn>\n<Path>\n/addons/split\n</Path>\n"
      u"<Path></Path>\n<Path>relative\\Field</Path>\n</SceneryAddons>\n";
  std::string bytes;
  for (const char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  writeFile(m_config.programData / "scenery_add-ons.xml", bytes);
  Folders folders;
  lf_readSceneryAddOnsXml(m_config, folders);
  EXPECT_EQ(folders, (Folders{" /addons/Z\xC3\xBCrich ", "relative\\Field"}));
  EXPECT_TRUE(logHas("2 scenery add-on paths found"));
}

TEST_F(SceneryLists, ProgramDataFolderComesFromThePlatform) {
  AMB_SKIP_ON_WINDOWS("the folder override is the Linux backend's");
  ScopedEnv env("AMBT_PROGRAMDATA", gf_pathText(m_dir / "PD"));
  EXPECT_EQ(gf_simProgramDataFolder("5"), m_dir / "PD" / "Lockheed Martin" / "Prepar3D v5");
}

}  // namespace
}  // namespace amb::test
