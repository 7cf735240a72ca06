#include "scan/airport_files.hpp"

#include "airports/services.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "refdata/services.hpp"
#include "state/scan_log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <mutex>

namespace amb {

namespace fs = std::filesystem;

std::atomic<bool> g_airportsScanSuccessful{false};

namespace {

constexpr const char* kMarker = "===> ";

// The link step looks up the publisher and the archive lists and writes the link file for one
// airport at a time.
std::mutex g_linkMutex;
std::atomic<std::int64_t> g_linkLockNanoseconds{0};

// One writer per generated file: the same ident found in two scenery files scanned at once must not
// have two saves of one path interleave. Paths share a few locks by their hash.
std::array<std::mutex, 64> g_generateMutexes;
std::mutex& generateMutexFor(const fs::path& file) {
  return g_generateMutexes[std::hash<std::string>{}(gf_pathText(file)) % g_generateMutexes.size()];
}

// Writes the link file; false (with a marked scan-log line) when it could not be written, so that
// the airport is generated instead of being left with neither file.
bool lf_writeLinkFile(const fs::path& folder, const std::string& ident, const std::string& archivePath) {
  const fs::path file = folder / (ident + ".txt");
  if (gf_writeFileAtomic(file, archivePath + "\n")) return true;
  gf_addScanLogLine(fmt::format("{}link file {} could not be written", kMarker, gf_pathText(file)));
  return false;
}

bool lf_linkSimaddon(const std::string& ident) {
  const std::optional<std::string> archive = lf_simaddonArchivePath(ident);
  if (!archive || !lf_writeLinkFile(g_myOrbxFolder, ident, *archive)) return false;
  gf_addScanLogLine(fmt::format("{} airport {} linked to {}", "simaddon", ident, *archive));
  return true;
}

bool lf_linkThirdparty(const std::string& publisher, const std::string& ident, std::int32_t& count) {
  const std::optional<std::string> archive = lf_thirdpartyArchivePath(publisher, ident, count);
  if (!archive || !lf_writeLinkFile(g_myThirdpartyFolder, ident, *archive)) return false;
  gf_addScanLogLine(fmt::format("thirdparty airport {} linked to {}", ident, *archive));
  return true;
}

// The park-position count after the four-character code of an archive entry, read as the standard
// decimal conversion reads it (blanks and a sign first, digits up to the first other character).
std::optional<std::int32_t> lf_entryCount(const std::string& entry, std::string& error) {
  try {
    if (entry.size() < 4) throw std::out_of_range("invalid string position");
    return std::stoi(entry.substr(4));
  } catch (const std::invalid_argument&) {
    error = "invalid stoi argument";
  } catch (const std::out_of_range& e) {
    error = entry.size() < 4 ? e.what() : "stoi argument out of range";
  }
  return std::nullopt;
}

struct Stopwatch {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  ~Stopwatch() {
    g_linkLockNanoseconds +=
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  }
};

void lf_generateAirportFile(const BglAirport& airport, const std::string& bglPath, const std::string& publisher) {
  const std::size_t n = airport.stands.size();
  if (n == 0) return;
  const fs::path& folder = publisher == "simaddon" ? g_myOrbxFolder : g_myThirdpartyFolder;
  std::string line = fmt::format("Generated {}: {} position{}", airport.ident + ".xml", n,
                                 gf_pluralS(static_cast<std::int64_t>(n)));
  if (airport.helipadCount >= 1)
    line += fmt::format(", of which {} helipad{}", airport.helipadCount, gf_pluralS(airport.helipadCount));
  gf_addScanLogLine(line);

  ApfRecord record;
  record.airportName = airport.name;
  record.bglPath = bglPath;
  record.publisher = publisher;
  record.altitude = airport.altitudeFt;
  record.stands.reserve(n);
  for (const BglStand& s : airport.stands)
    record.stands.emplace_back(s.name, std::vector<ParkPosOption>{}, StandPosition{s.latitude, s.longitude, s.heading},
                               s.radiusM, s.cargo ? 0 : 1, s.ramp ? 0 : 1, s.helipad ? 0 : 1);
  std::stable_sort(record.stands.begin(), record.stands.end(),
                   [](const Stand& a, const Stand& b) { return a.name < b.name; });

  if (!fs::exists(folder)) fs::create_directory(folder);
  const fs::path file = folder / gf_xmlFileName(airport.ident);
  bool saved = false;
  {
    std::lock_guard lock(generateMutexFor(file));
    saved = gf_saveApf(record, file, 1);
  }
  if (!saved) {
    gf_addScanLogLine(fmt::format("{}Generating {} did not succeed", kMarker, gf_pathText(file)));
    return;
  }
  g_airportsScanSuccessful = true;
}

}  // namespace

std::optional<std::string> lf_simaddonArchivePath(const std::string& ident) {
  if (g_simaddonAirports.contains(ident)) return "archive/" + std::string("simaddon") + "/" + ident + ".xml";
  gf_addScanLogLine(fmt::format("{} does not exist as simaddon", ident));
  return std::nullopt;
}

std::optional<std::string> lf_thirdpartyArchivePath(const std::string& publisher, const std::string& ident,
                                                    std::int32_t& count) {
  std::string encoded;
  for (const char c : publisher) encoded += c == ' ' ? std::string("%20") : std::string(1, c);
  const std::string path = "archive/thirdparty/" + encoded + "/" + ident + ".xml";
  for (const ThirdPartyData& party : g_thirdParties) {
    if (party.publisher != publisher) continue;
    for (const std::string& entry : party.airports) {
      if (!entry.starts_with(ident)) continue;
      std::string error;
      if (const std::optional<std::int32_t> n = lf_entryCount(entry, error))
        count = *n;
      else
        gf_logMarked(fmt::format("{} {} {} {}", publisher, ident, entry, error));
      return path;
    }
  }
  gf_addScanLogLine(fmt::format("thirdparty {} {} does not exist", publisher, ident));
  return std::nullopt;
}

AirportFileMaker::AirportFileMaker(std::string bglPathText) : m_bglPath(std::move(bglPathText)) {}

void AirportFileMaker::airportFound(const std::string& ident) {
  // The publisher query is safe from several jobs at once and costs the most: it runs outside the
  // lock.
  m_publisher = gf_publisherFromFilename(m_bglPath);
  m_archived = 0;
  m_linked = false;
  if (m_publisher == "unknown") return;
  std::lock_guard lock(g_linkMutex);
  const Stopwatch timed;
  m_linked = m_publisher == "simaddon" ? lf_linkSimaddon(ident) : lf_linkThirdparty(m_publisher, ident, m_archived);
  if (m_linked) g_airportsScanSuccessful = true;
}

void AirportFileMaker::airportDecoded(BglAirport& airport) {
  const auto n = static_cast<std::int64_t>(airport.stands.size());
  const bool more = n > m_archived && m_publisher != "simaddon";
  if (more) gf_addScanLogLine(fmt::format("{}{} has {} parkpos while archived one has {}", kMarker, airport.ident, n, m_archived));
  if (!m_linked || more) lf_generateAirportFile(airport, m_bglPath, m_publisher);
}

std::chrono::nanoseconds gf_linkLockTime() { return std::chrono::nanoseconds(g_linkLockNanoseconds.load()); }

void gf_resetAirportFiles() {
  g_airportsScanSuccessful = false;
  g_linkLockNanoseconds = 0;
}

}  // namespace amb
