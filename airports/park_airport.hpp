#pragma once
// The park airport's file: loaded into g_stands with its learned file merged, and the learned file
// saved again when the airport is left.

#include "core/airport_data.hpp"
#include "records/parking.hpp"

#include <pugixml.hpp>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace amb {

// What the loaded airport file says of itself.
struct ParkApfInfo {
  std::string airportName;
  std::string publisher;
  std::int32_t altitude = 0;  // feet
};
// The airport's quality factors, 0 to 100 each, -1 when there is none.
struct QualityFactor {
  std::int32_t real = -1;
  std::int32_t soft = -1;
  std::pair<int, int> pair() const { return {real, soft}; }
  bool operator==(const QualityFactor&) const = default;
};

extern ParkApfInfo g_parkApfInfo;
extern QualityFactor g_parkQf;
extern std::int32_t g_rtTrafficWeek;          // the file's RT_traffic_week, 0 when none
extern std::uint8_t g_apfHandmade;            // the stands come from a handmade learned file
extern std::string g_parkApfSource;           // the source the stands were loaded from
extern std::int32_t g_standUpdates;           // stand changes since the last save
extern std::uint8_t g_autoRangeAtGround;      // the automatic range stands at its 10 nm on the ground
extern std::set<std::string> g_liveCallsigns;  // the callsigns of live traffic, taken for static parking
// The loaded park airport's learned file when it was not read whole (refused for its size, stopped
// at a fault, a stand of its own skipped, no copy of a damaged one kept): its path and why. Such a
// file is kept as it is: the save does not replace it with the shorter text of what was read.
struct KeptLearnedFile {
  std::filesystem::path path;
  std::string reason;  // empty: the file was read whole (or there is none)
};
extern KeptLearnedFile g_keptLearnedFile;
// Sets g_keptLearnedFile and what gf_learnedFileKept answers other threads.
void lf_setKeptLearnedFile(KeptLearnedFile kept);

// Loads the file of the source into g_stands (which the caller has emptied) for g_parkAirport.
// result: empty on success, else why nothing (or only part) was loaded; user errors 65 (no
// altitude) and 94 (a stand twice) leave by exception.
void gf_readApf(std::string& result, const std::string& source, ParkApfInfo& info, QualityFactor& qf,
                std::vector<Stand>& stands);
// The quality factors of g_stands' options; {-1, -1} when no stand has an option.
QualityFactor gf_qualityFactor();

// The learned file of an airport file source. The same path serves reading and saving: a source
// of the server's archive maps to learned/<its folders>, a file of my_thirdparty to
// learned/thirdparty/<publisher>, of my_ORBX to learned/simaddon; empty for an empty source.
std::filesystem::path lf_learnedApfPath(std::string source, const std::string& publisher);
// Merges the learned file into the stands (or, for a handmade one, replaces them). Empty when the
// file was read whole, or a damaged one was kept as its "0" copy; else why it was not (shown on the
// message line and logged): a file larger than an airport file may be is refused unread.
std::string lf_readLearned(const std::filesystem::path& path, const ParkApfInfo& info, std::vector<Stand>& stands,
                           std::uint8_t& handmade);
// Fills every stand's overlap list (ids of the stands whose circles, widened by a tenth of their
// distance, meet its own; in ascending order).
void lf_linkOverlaps(std::vector<Stand>& stands);
// Merges one learned `parkpos` into the stand when it carries the stand's name.
bool lf_readLearnedStand(const std::pair<const std::string&, const pugi::xml_node&>& learned, Stand& stand);
// Saves what was learned at the park airport (strips the airport file's own options from g_stands).
void gf_saveLearnedApf();
// Takes the callsigns the traffic reader collected into g_liveCallsigns.
void gf_takeLiveCallsigns();

// Leaves the park airport: saves its learned file when something changed, empties the stands, the
// plan and the park airport's figures.
void lf_endParkAirport();
// The park airport's figures of the window back to their start values (no park airport).
void gf_clearParkFigures();
// Loads the park airport's stands for static parking: empty on success, else why not.
std::string lf_readParkedFile();
// Plans static parking for the current half hour at the loaded park airport.
void lf_startStaticParking();

// Back to start values (tests, the restart): no park airport data, no learned counters.
void gf_resetParkAirportFile();

}  // namespace amb
