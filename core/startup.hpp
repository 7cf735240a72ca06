#pragma once
// Process-wide start-up values: the program's name and version, the folders and files it reads and
// writes, and the per-category performance tables. The paths below the working folder are relative;
// only the settings folder lies below the user's application-data folder.
//
// gf_initStartupValues() computes the values that depend on the machine (application-data folder,
// registry); it runs once at the top of the entry point, not during static initialisation.

#include "core/version.hpp"

#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace amb {

inline constexpr const char* g_programName = "Ambertrail_P3D";
inline constexpr const char* g_programVersionText = "10.10.4";
inline constexpr const char* g_simName = "Prepar3D v5/v6";

extern Version g_programVersion;
std::string gf_versionText(const Version& v);  // "{}.{}.{}"

// Folders and files below the working folder.
extern const std::filesystem::path g_inputFolder;             // input
extern const std::filesystem::path g_myRegcodesFolder;        // input/my_regcodes
extern const std::string g_airportListName;                   // airports_p3d.xml
extern const std::filesystem::path g_airportsFolder;          // airports
extern const std::filesystem::path g_learnedFolder;           // airports/learned
extern const std::filesystem::path g_learnedStockFolder;      // airports/learned/stock
extern const std::filesystem::path g_learnedSimaddonFolder;   // airports/learned/simaddon
extern const std::filesystem::path g_learnedThirdpartyFolder; // airports/learned/thirdparty
extern const std::filesystem::path g_myOrbxFolder;            // airports/my_ORBX
extern const std::filesystem::path g_myThirdpartyFolder;      // airports/my_thirdparty
extern const std::filesystem::path g_myParkAirportsPath;      // airports/my_park_airports.txt
extern const std::filesystem::path g_outputFolder;            // output
extern const std::filesystem::path g_outputInfoFolder;        // output/info
extern const std::filesystem::path g_outputErrorsFolder;      // output/errors
extern const std::filesystem::path g_liveriesScannedPath;     // output/LiveriesScanned.xml
extern const std::filesystem::path g_tbloFolder;              // TBLO
extern const std::filesystem::path g_docsFolder;              // docs
extern const std::filesystem::path g_installerName;           // install_new_version.exe
extern const std::string g_versionFileName;                   // version.json

// Report files.
extern const std::filesystem::path g_airportsScanLogPath;              // AirportsScanLog.txt (working folder)
extern const std::filesystem::path g_aircraftCfgNoFltsimPath;          // output/info/AircraftCfgWithNoFltsimSection.txt
extern const std::filesystem::path g_airlineModelConversionsPath;      // output/info/AirlineModelConversions.txt
extern const std::filesystem::path g_liveriesSkippedOnPriorityPath;    // output/info/LiveriesSkippedOnPriority.txt
extern const std::filesystem::path g_registrationCodeConversionsPath;  // output/info/RegistrationCodeConversions.txt
extern const std::filesystem::path g_myMultRegcodesPath;               // output/info/MyMultRegcodes.txt
extern const std::filesystem::path g_stockAirportsLogPath;             // output/info/StockAirportsLog.txt
extern const std::filesystem::path g_inlineRegcodesPath;               // output/errors/InlineRegcodes.txt
extern const std::filesystem::path g_invalidAirlineCodesPath;          // output/errors/InvalidAirlineCodes.txt
extern const std::filesystem::path g_invalidAircraftCodesPath;         // output/errors/InvalidAircraftCodes.txt
extern const std::filesystem::path g_fixesPath;                        // output/errors/Fixes.txt
extern const std::filesystem::path g_invalidAircraftCfgFilesPath;      // output/errors/InvalidAircraftCfgFiles.txt
extern const std::filesystem::path g_incompleteFltsimSectionsPath;     // output/errors/IncompleFltsimSections.txt

// The user's application-data folder: gf_appDataPath asks the system (empty when it cannot tell);
// gf_appDataFolder gives the same or, when there is none, writes the marked log line "Could not
// find the AppData path" and gives an empty path.
std::optional<std::filesystem::path> gf_appDataPath();
std::filesystem::path gf_appDataFolder();

// Below the application-data folder (set by gf_initStartupValues).
extern std::filesystem::path g_appDataFolder;    // empty when there is none
extern std::filesystem::path g_programFolder;    // <appdata>/Ambertrail_P3D, or relative "Ambertrail_P3D"
extern std::string g_parametersPath;             // <program folder>/parameters.xml as UTF-8 text
inline constexpr const char* g_realTrafficFolderName = "InsideSystems";

// Which simulator versions have their registry key (set by gf_initStartupValues).
extern bool g_simKeyV5;
extern bool g_simKeyV6;

// Aircraft categories and their performance tables.
enum AircraftCategory : int { Light = 0, Buzjets = 1, Large = 2, Heavy = 3, HighPerf = 4, Rotorcraft = 5 };
inline constexpr std::array<int, 6> g_flareSteps{250, 300, 400, 450, 150, 100};
inline constexpr std::array<int, 6> g_landingSteps{250, 300, 350, 450, 150, 100};
inline constexpr std::array<int, 6> g_takeOffRollSteps{100, 200, 200, 250, 100, 100};
inline constexpr std::array<int, 6> g_climbOutSteps{200, 250, 300, 400, 200, 100};
inline constexpr std::array<double, 6> g_takeOffPitch{-9.0, -8.0, -6.0, -5.0, -6.0, -20.0};
inline constexpr std::array<double, 6> g_climbPitch{-15.0, -18.0, -16.5, -12.5, -20.0, -30.0};

// Computes the machine-dependent values above. Safe to call again (tests do, after changing the
// environment).
void gf_initStartupValues();

}  // namespace amb
