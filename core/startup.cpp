#include "core/startup.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/registry.hpp"
#include "platform/folders.hpp"

#include <fmt/format.h>

namespace amb {

namespace fs = std::filesystem;

Version g_programVersion{10, 10, 4};

std::string gf_versionText(const Version& v) { return fmt::format("{}.{}.{}", v.major, v.minor, v.patch); }

const fs::path g_inputFolder{"input"};
const fs::path g_myRegcodesFolder{fs::path("input") / "my_regcodes"};
const std::string g_airportListName{"airports_p3d.xml"};
const fs::path g_airportsFolder{"airports"};
const fs::path g_learnedFolder{fs::path("airports") / "learned"};
const fs::path g_learnedStockFolder{fs::path("airports") / "learned" / "stock"};
const fs::path g_learnedSimaddonFolder{fs::path("airports") / "learned" / "simaddon"};
const fs::path g_learnedThirdpartyFolder{fs::path("airports") / "learned" / "thirdparty"};
const fs::path g_myOrbxFolder{fs::path("airports") / "my_ORBX"};
const fs::path g_myThirdpartyFolder{fs::path("airports") / "my_thirdparty"};
const fs::path g_myParkAirportsPath{fs::path("airports") / "my_park_airports.txt"};
const fs::path g_outputFolder{"output"};
const fs::path g_outputInfoFolder{fs::path("output") / "info"};
const fs::path g_outputErrorsFolder{fs::path("output") / "errors"};
const fs::path g_liveriesScannedPath{fs::path("output") / "LiveriesScanned.xml"};
const fs::path g_tbloFolder{"TBLO"};
const fs::path g_docsFolder{"docs"};
const fs::path g_installerName{"install_new_version.exe"};
const std::string g_versionFileName{"version.json"};

const fs::path g_airportsScanLogPath{"AirportsScanLog.txt"};
const fs::path g_aircraftCfgNoFltsimPath{g_outputInfoFolder / "AircraftCfgWithNoFltsimSection.txt"};
const fs::path g_airlineModelConversionsPath{g_outputInfoFolder / "AirlineModelConversions.txt"};
const fs::path g_liveriesSkippedOnPriorityPath{g_outputInfoFolder / "LiveriesSkippedOnPriority.txt"};
const fs::path g_registrationCodeConversionsPath{g_outputInfoFolder / "RegistrationCodeConversions.txt"};
const fs::path g_myMultRegcodesPath{g_outputInfoFolder / "MyMultRegcodes.txt"};
const fs::path g_stockAirportsLogPath{g_outputInfoFolder / "StockAirportsLog.txt"};
const fs::path g_inlineRegcodesPath{g_outputErrorsFolder / "InlineRegcodes.txt"};
const fs::path g_invalidAirlineCodesPath{g_outputErrorsFolder / "InvalidAirlineCodes.txt"};
const fs::path g_invalidAircraftCodesPath{g_outputErrorsFolder / "InvalidAircraftCodes.txt"};
const fs::path g_fixesPath{g_outputErrorsFolder / "Fixes.txt"};
const fs::path g_invalidAircraftCfgFilesPath{g_outputErrorsFolder / "InvalidAircraftCfgFiles.txt"};
const fs::path g_incompleteFltsimSectionsPath{g_outputErrorsFolder / "IncompleFltsimSections.txt"};

fs::path g_appDataFolder;
fs::path g_programFolder{g_programName};
std::string g_parametersPath{gf_pathText(fs::path(g_programName) / "parameters.xml")};
bool g_simKeyV5 = false;
bool g_simKeyV6 = false;

std::optional<fs::path> gf_appDataPath() {
  auto folder = platform::knownFolder(platform::KnownFolder::AppData);
  if (folder && folder->empty()) folder.reset();
  return folder;
}

fs::path gf_appDataFolder() {
  if (auto folder = gf_appDataPath()) return *folder;
  gf_logMarked("Could not find the AppData path");
  return {};
}

void gf_initStartupValues() {
  g_appDataFolder = gf_appDataFolder();
  g_programFolder = g_appDataFolder.empty() ? fs::path(g_programName) : g_appDataFolder / g_programName;
  g_parametersPath = gf_pathText(g_programFolder / "parameters.xml");
  g_simKeyV5 = gf_simKeyExists(5);
  g_simKeyV6 = gf_simKeyExists(6);
}

}  // namespace amb
