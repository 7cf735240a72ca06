#pragma once
// Synthetic scenery (BGL) files for tests, benchmarks and the demo: the file header, a section
// table, one subsection per section and airport records in either layout (the older one with
// 56-byte airport headers and 36-byte parking spots, the newer one with 60-byte headers and 40-byte
// spots), with names, helipads and parking lists. Fields can be made to lie (stated counts and
// sizes) so that readers can be tested against broken files.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace amb::bglgen {

// The packed forms the files store.
std::uint32_t packIdent(const std::string& fourCharacters);  // base 38, shifted left by 5
std::uint32_t packLatitude(double degrees);
std::uint32_t packLongitude(double degrees);

struct Helipad {
  double latitude = 0;
  double longitude = 0;
  float widthM = 20;
  float headingDeg = 0;
};

struct Parking {
  std::uint8_t nameCode = 10;  // 10: gate "g"
  std::uint16_t number = 1;
  std::uint8_t type = 8;       // 1-7 ramps (5 cargo), 8-10 gates
  float radiusM = 20;
  float headingDeg = 0;
  double latitude = 0;
  double longitude = 0;
  std::vector<std::string> airlines;  // one 4-byte word each
};

struct Airport {
  bool layoutB = false;
  std::string ident = "EGLL";
  std::optional<std::uint32_t> identValue;  // stored as is instead of the packed ident
  std::int32_t altitudeMm = 0;
  std::vector<std::string> names;  // raw bytes; one name subrecord each, padded with NULs to whole words
  std::vector<Helipad> helipads;   // before the parking list
  std::vector<Parking> parkings;   // one parking list (none when empty and not forced)
  bool parkingListAlways = false;  // write the list even when it holds no spot
  bool otherLayoutParkingId = false;  // the parking list carries the other layout's id
  std::optional<std::uint16_t> statedParkingCount;  // a count that differs from the spots written
  std::vector<Helipad> helipadsAfterParking;
  std::int32_t extraStatedSize = 0;  // added to the record's stated size (a lying record)
};

struct Section {
  std::vector<Airport> airports;
  bool twentyByteSubsections = false;  // flag bit 16: a subsection header layout readers skip
  std::uint32_t type = 3;              // 3: airport section
  bool fillerRecord = false;           // a non-airport record before the airports
  std::uint32_t subsectionHeaders = 1;  // headers in the section's table, every one naming its records
  std::optional<std::uint32_t> statedRecordsSize;  // a records size that differs from what is written
  std::optional<std::uint32_t> statedRecordsOffset;  // where the headers say the records are
};

struct File {
  std::uint32_t headerSize = 56;
  std::vector<Section> sections{Section{}};
  std::optional<std::uint32_t> statedSectionCount;
};

std::vector<std::uint8_t> build(const File& file);
// One airport section with the airport.
std::vector<std::uint8_t> build(const Airport& airport);

// Writes the bytes to the file, creating its folder.
void write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

}  // namespace amb::bglgen
