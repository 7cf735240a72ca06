#pragma once
// The reader of the simulator's compiled scenery files (BGL): the airports they hold, with their
// helipads and parking spots as stands. The reader reads only what its walk visits (the header, the
// section table, the subsection tables and the records) and never outside the file: every offset,
// size and count the file states is checked against the file, the section and the record it lies
// in. A file that breaks that rule is damaged: its walk ends there with one marked log line and a
// scan-log line giving the reason, and the airports handed on before stay handed on.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace amb {

// One helipad or parking spot of a scenery airport.
struct BglStand {
  std::string name;
  double latitude = 0;   // degrees
  double longitude = 0;  // degrees
  double heading = 0;    // radians, 0 < heading <= 2 pi (a heading of 0 is kept as 2 pi)
  double radiusM = 0;    // metres
  bool cargo = false;
  bool ramp = false;
  bool helipad = false;
  bool nameClash = false;  // the name got a letter while decoding; cleared by the re-lettering
};

// One airport of a scenery file.
struct BglAirport {
  std::string ident;       // four characters
  std::string name;        // valid UTF-8; may be empty
  std::int32_t altitudeFt = 0;
  std::vector<BglStand> stands;  // helipads and parking spots in the order found
  std::int32_t helipadCount = 0;
};

// What a decode hands its airports to. airportFound comes first, with the ident only, before the
// record's parts are read; airportDecoded follows with the whole airport.
class BglAirportHandler {
public:
  virtual ~BglAirportHandler() = default;
  virtual void airportFound(const std::string& ident) = 0;
  virtual void airportDecoded(BglAirport& airport) = 0;
};

// Decodes every airport record of every subsection of every airport section once, in file order.
// pathText names the file in log lines. A file whose header size is not 56 or that is shorter than
// 60 bytes holds no airports; one shorter than 8 bytes is damaged. A table or a run of records that
// overlaps one read before, and an airport whose ident was met before in the file, are skipped and
// counted in one scan-log line; a file's own scan-log lines stop at 2000, with a count of the rest.
// The answer is false when the walk ended at damage.
bool gf_decodeBgl(std::span<const std::uint8_t> bytes, const std::string& pathText, BglAirportHandler& handler);
// The same from the file, read where the walk goes; a file that cannot be opened decodes nothing.
bool gf_decodeBglFile(const std::filesystem::path& path, const std::string& pathText, BglAirportHandler& handler);

// The parts of a decode, for tests.
// The ident packed in base 38 (value >> 5); valid only with four characters and no blank digit.
std::string lf_decodeIdentifierOrRegionCode(std::uint32_t value, bool& valid);
// The letters of a parking name code.
std::string lf_parkingNameLetters(std::uint8_t code);
// An airport name from its raw bytes (after the length rules): UTF-8 when the bytes are valid UTF-8
// (a sequence cut at the end is dropped), else read as Windows-1252; always valid UTF-8.
std::string lf_bglNameText(std::string_view raw);
// Re-letters the groups of stands that share a base name, largest radius first.
void lf_nameParkPositions(std::vector<BglStand>& stands);

// The file tests of the scan.
// True when the file's section table names an airport section; reads only the header and the table.
bool lf_bglHasAirports(const std::filesystem::path& path);
// Exactly ".BGL" or ".bgl".
bool lf_isBglExtension(const std::string& extension);
// True when the path lies inside the simulator's stock scenery folder (compared folder by folder;
// letter case is ignored on Windows). An empty stock folder contains nothing.
bool lf_isInSimSceneryFolder(const std::filesystem::path& path, const std::filesystem::path& stockScenery);
// True when the text holds one of the stock scenery folder tokens ("\World", "\Global", "\0306" ...).
bool lf_isStockScenery(const std::string& pathText);

}  // namespace amb
