#pragma once
// The scenery folders of the simulator's own configuration, for the automatic add-on airports scan:
// the active areas of "scenery.cfg" and the paths of "scenery_add-ons.xml". Both files are read as
// text lines in whatever encoding they have; the folders found are appended to the list.

#include <filesystem>
#include <string>
#include <vector>

namespace amb {

// The simulator's program-data folder: <ProgramData>/Lockheed Martin/Prepar3D v<major>, the
// ProgramData folder coming from the platform layer. Empty when the system has none.
std::filesystem::path gf_simProgramDataFolder(const std::string& majorVersion);

// What the folder lists need to know of the simulator.
struct SceneryConfig {
  std::filesystem::path programData;   // the simulator's program-data folder
  std::filesystem::path installPath;   // relative Local entries are taken below it
  std::filesystem::path stockScenery;  // folders inside it are stock scenery, never scanned
};

// Appends the Local folder of every active "[Area" block of "scenery.cfg" that is not stock scenery.
void lf_readSceneryCfg(const SceneryConfig& config, std::vector<std::string>& folders);
// Appends the text of every one-line <Path> element of "scenery_add-ons.xml", unchanged.
void lf_readSceneryAddOnsXml(const SceneryConfig& config, std::vector<std::string>& folders);

}  // namespace amb
