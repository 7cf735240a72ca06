#pragma once
// Airport files: one XML document per airport, named after its code, with three top-level elements
// and no common root:
//
//   <meta> ... </meta>                        author, version, date, copyright
//   <parameters>
//     <parameter name="airport_name" value="..." />   and the others of lf_writeApfParameters
//   </parameters>
//   <parkpositions>
//     <parkpos id="A3" latitude="51.470000" longitude="-0.454000" heading="28.6" radius="20.0"
//              cargo="false" ramp="false">
//       <opt reg="G-ABCD" day="3" hh="14,15" cs="BAW12:BAW12A" />
//     </parkpos>
//   </parkpositions>
//
// The same format serves generated files (written in full by the scenery scan), archived stock files
// (downloaded from the server) and learned files (what was learned at an airport, written in updates
// mode when the airport is left).
//
// Writing a generated airport file (the scenery scan):
//
//   ApfRecord airport;                 // name, BGL path, publisher, altitude and stands
//   airport.airportName = ...; airport.bglPath = ...; airport.publisher = ...;
//   airport.altitude = ...; airport.stands = std::move(stands);
//   gf_saveApf(airport, folder / gf_xmlFileName(code), 1);
//
// The file is written beside and renamed into place, so a failed write leaves an earlier file whole.

#include "airports/stand.hpp"
#include "records/parking.hpp"

#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace amb {

// What the writer writes of an airport. The airport's code is the file's name, not part of it.
struct ApfRecord {
  std::string airportName;
  std::string bglPath;    // the scenery file the airport came from; written when the publisher is "unknown"
  std::string publisher;
  std::int32_t qfReal = 0;  // quality factors, written only for a handmade airport
  std::int32_t qfSoft = 0;
  std::int32_t altitude = 0;  // feet
  std::vector<Stand> stands;
  // The stands were made by hand: every stand is written with its position, and the file says so.
  // The scenery scan leaves it false.
  bool handmade = false;
};

// Writes the airport file: full = 1 every stand with its position and no options (generated files),
// full = 0 what was learned and changed, with the current per-airport settings (learned files).
// False when the document cannot be built or the file cannot be written. Logs nothing.
bool gf_saveApf(const ApfRecord& airport, const std::filesystem::path& file, std::uint32_t full);
// The same for stands that stay where they are: the record's own stands are not written, these are
// (the learned-file saver hands over the park airport's stands without copying them).
bool gf_saveApf(const ApfRecord& airport, const std::vector<const Stand*>& stands, const std::filesystem::path& file,
                std::uint32_t full);
bool lf_writeApfParameters(pugi::xml_node doc, const ApfRecord& airport, std::size_t standCount, std::uint32_t full);
void lf_writeParkPos(pugi::xml_node parkpositions, std::uint32_t full, const Stand& stand, bool handmade);
void lf_writeParkPosDetails(pugi::xml_node parkpos, const ParkPosOption& option);

// "EGLL" -> "EGLL.xml"; the path of that name in the current folder; the same with ".txt" (link files).
// Separators, ':' and ".." of the name are left out, so a name from outside never leaves the folder.
std::string gf_xmlFileName(const std::string& name);
std::filesystem::path gf_xmlFilePath(const std::string& name);
std::filesystem::path gf_txtFilePath(const std::string& name);
// A text made safe to be one component of a path: '/', '\\', ':' and ".." removed.
std::string gf_pathComponent(const std::string& text);

// ---- Reading ----

// The values a stand of an airport file may have; anything else (not a number, infinite, out of
// range) is no real stand's, and the stand is skipped. Radii are in metres (the scenery's spots stay
// below 200 m), altitudes in feet.
inline constexpr double kMaxStandRadiusM = 200.0;
inline constexpr int kMinAirportAltitudeFt = -1500;
inline constexpr int kMaxAirportAltitudeFt = 16000;

// The most an airport or learned file may hold to be read: far more than any real one (a learned
// file of 200,000 options holds some 42 MB), so that a damaged file (a crash can leave gigabytes of
// NUL bytes) or a hostile one cannot take the memory. A larger file is refused unread, and no file
// of this size is written.
inline constexpr std::uintmax_t kMaxAirportFileBytes = 64 * 1024 * 1024;

// Reads a whole airport or learned file into text, which the caller keeps as long as a document
// built in place on it lives. Missing: it cannot be opened (or is a folder); Refused: it holds more
// than kMaxAirportFileBytes, and text stays empty.
enum class ApfFileRead : std::uint8_t { Read, Missing, Refused };
ApfFileRead gf_readApfFileText(const std::filesystem::path& path, std::string& text);

// The faults one file's reader met in values no real stand has: the stands it skipped and the
// values it replaced by others. The first few are logged, each with its value, the rest counted in
// one line when the reader is done (the object is destroyed). Its unreadable hours are counted in
// hours() within their own bound.
class SkippedStands {
public:
  explicit SkippedStands(std::string fileText) : m_file(std::move(fileText)), m_hours(m_file) {}
  ~SkippedStands();
  SkippedStands(const SkippedStands&) = delete;
  SkippedStands& operator=(const SkippedStands&) = delete;
  void add(const std::string& standName, const char* what, const char* value);
  // A value replaced: the stand keeps what it had (kept, as logged).
  void replaced(const std::string& standName, const char* what, const char* value, const std::string& kept);
  // Into skipped, or logged at once when there is none.
  static void note(SkippedStands* skipped, const std::string& standName, const char* what, const char* value);
  // How many stands were skipped (replaced values not counted).
  std::size_t skippedStands() const { return m_skipped; }
  HourFaults& hours() { return m_hours; }

private:
  bool admit();
  static constexpr std::size_t kLogged = 10;
  std::string m_file;
  std::size_t m_count = 0;
  std::size_t m_skipped = 0;
  HourFaults m_hours;
};

// One `parkpos` element into a stand appended to stands; its options are numbered 1, 2, ... and get
// the read mark. A stand whose latitude and longitude are both 0 is skipped; so is one with a value
// no real stand has, noted in skipped (logged at once without one).
void lf_readParkPos(const pugi::xml_node& parkpos, const std::string& name, std::uint32_t readMark,
                    std::vector<Stand>& stands, SkippedStands* skipped = nullptr);
// The callsigns, airline and type of an `opt` element; a registration known to the data base gives
// the data base's airline (or operator) and type.
struct OptTexts {
  std::string cs1, cs2, airline, type;
};
OptTexts lf_readStandAirlTypes(const pugi::xml_node& opt);
// Same day, kind, registration, airline and type, and at least one half hour in common.
bool lf_sameOptionOverlap(const ParkPosOption& a, const ParkPosOption& b);

// A parameter of the document by name: no value when absent; false, 0 or "" when it has no `value`.
std::optional<bool> gf_getBoolParameter(const pugi::xml_node& doc, const std::string& name);
std::optional<int> gf_getIntParameter(const pugi::xml_node& doc, const std::string& name);
std::optional<std::string> gf_getStringParameter(const pugi::xml_node& doc, const std::string& name);

// Downloads a path of the server's airport archive into a local file; empty on success, else the
// logged text "failed to download: \"<url>\"".
std::string gf_downloadArchiveFile(const std::string& archivePath, const std::filesystem::path& localFile);

// The window's quality-factor text: "  " when both are negative, " 7/12" while real < 45, else "50".
std::string gf_qualityFactorText(std::pair<int, int> realSoft);

}  // namespace amb
