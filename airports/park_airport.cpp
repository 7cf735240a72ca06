// Loading the park airport's file into g_stands: source, checks, parameters, stands, the learned
// file, stand numbers, overlaps, quality factor, window figures and the log's summary.

#include "airports/park_airport.hpp"

#include "airports/apf_file.hpp"
#include "airports/apf_source.hpp"
#include "airports/services.hpp"
#include "state/main_window.hpp"
#include "core/files.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "feed/services.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

namespace amb {

namespace fs = std::filesystem;

AirportData g_parkAirport;
std::mutex g_parkAirportMutex;
std::atomic<std::uint8_t> g_parkAirportLoaded{0};
std::vector<Stand> g_stands;

ParkApfInfo g_parkApfInfo;
QualityFactor g_parkQf;
std::int32_t g_rtTrafficWeek = 0;
std::uint8_t g_apfHandmade = 0;
std::atomic<std::uint8_t> g_parkParameterChanged{0};
std::string g_parkApfSource;

namespace {

// The airport whose load ended in a user error: not tried again until another airport is chosen.
std::string g_failedParkAirport;

void lf_enable(const OptionControl& control, bool on) {
  if (platform::Ui* ui = control.window.load()) ui->enable(control.controlId, on);
}

}  // namespace

// Fills every stand's overlap list: b overlaps a when their circles, widened by a tenth of their
// distance, meet. Stands are sorted into cubes of a grid over the earth's surface (in three
// dimensions, so the poles and the date line need no care) as large as the farthest two stands can
// be apart and still overlap; only stands of neighbouring cubes are compared, so the cost grows with
// the stands and their overlapping pairs, not with every pair of stands.
void lf_linkOverlaps(std::vector<Stand>& stands) {
  for (Stand& s : stands) s.overlapIds.clear();
  double largest = 0;
  for (const Stand& s : stands) largest = std::max(largest, s.radiusNm);
  if (largest > 0) {
    // A chord is never longer than its arc: stands within reach lie in neighbouring cubes.
    const double cube = std::max(2.0 * largest / 1.1 / (kEarthDiameterNm / 2.0) * 1.01, 1e-9);
    struct Cell {
      std::int64_t x, y, z;
      bool operator==(const Cell&) const = default;
    };
    struct CellHash {
      std::size_t operator()(const Cell& c) const noexcept {
        const auto u = [](std::int64_t v) { return static_cast<std::uint64_t>(v); };
        return static_cast<std::size_t>(u(c.x) * 73856093u ^ u(c.y) * 19349663u ^ u(c.z) * 83492791u);
      }
    };
    const auto cellOf = [cube](const Stand& s) {
      const double lat = s.lat * kDegToRad;
      const double lon = s.lon * kDegToRad;
      return Cell{static_cast<std::int64_t>(std::floor(std::cos(lat) * std::cos(lon) / cube)),
                  static_cast<std::int64_t>(std::floor(std::cos(lat) * std::sin(lon) / cube)),
                  static_cast<std::int64_t>(std::floor(std::sin(lat) / cube))};
    };
    std::unordered_map<Cell, std::vector<std::size_t>, CellHash> grid;
    std::vector<Cell> cells;
    cells.reserve(stands.size());
    for (std::size_t i = 0; i < stands.size(); ++i) {
      cells.push_back(cellOf(stands[i]));
      grid[cells.back()].push_back(i);
    }
    for (std::size_t i = 0; i < stands.size(); ++i) {
      Stand& a = stands[i];
      for (std::int64_t dx = -1; dx <= 1; ++dx)
        for (std::int64_t dy = -1; dy <= 1; ++dy)
          for (std::int64_t dz = -1; dz <= 1; ++dz) {
            const auto near = grid.find({cells[i].x + dx, cells[i].y + dy, cells[i].z + dz});
            if (near == grid.end()) continue;
            for (const std::size_t k : near->second) {
              if (k <= i) continue;  // each pair once
              Stand& b = stands[k];
              if (gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}) * 1.1 < a.radiusNm + b.radiusNm) {
                a.overlapIds.push_back(b.id);
                b.overlapIds.push_back(a.id);
              }
            }
          }
    }
  }
  for (Stand& s : stands) {
    std::sort(s.overlapIds.begin(), s.overlapIds.end());
    s.overlapIds.shrink_to_fit();
  }
}

void gf_readApf(std::string& result, const std::string& source, ParkApfInfo& info, QualityFactor& qf,
                std::vector<Stand>& stands) {
  try {
    if (source.empty()) {
      result = fmt::format("{} xml is empty...", "gf_readApf");
      return;
    }
    const std::string code = gf_parkAirportSnapshot().code;
    if (code.empty()) {
      result = fmt::format("{} no park airport set", "gf_readApf");
      return;
    }
    const fs::path target = g_airportsFolder / "park_airport.xml";
    const bool local = gf_isLocalApfSource(source);
    if (!local) {
      const std::string failed = gf_downloadArchiveFile(source, target);
      if (!failed.empty()) {
        result = failed;
        return;
      }
    }
    g_apfHandmade = 0;
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file((local ? fs::path(source) : target).c_str());
    if (!parsed) {
      result = fmt::format("{} could not be loaded: {}", source, parsed.description());
      return;
    }
    if (!gf_checkMeta(doc)) {
      result = fmt::format("{} but refused to load, copyright problem", source);
      return;
    }
    g_rtTrafficWeek = gf_getIntParameter(doc, "RT_traffic_week").value_or(0);
    info.publisher = gf_getStringParameter(doc, "publisher").value_or("");
    const std::optional<int> altitude = gf_getIntParameter(doc, "altitude");
    if (!altitude) throw UserErrorException(65, std::string("Parameter ") + "altitude" + " not found");
    if (*altitude >= kMinAirportAltitudeFt && *altitude <= kMaxAirportAltitudeFt) {
      info.altitude = *altitude;
      std::lock_guard lock(g_parkAirportMutex);
      g_parkAirport.alt = *altitude;
    } else {
      // No airport lies there: the airport list's altitude stays the ground of the traffic.
      const double kept = gf_parkAirportSnapshot().alt;
      info.altitude = static_cast<std::int32_t>(std::lround(kept));
      gf_logf("altitude {} ft of {} is no real airport's, {} ft of the airport list kept", *altitude, source, kept);
    }
    info.airportName = gf_getStringParameter(doc, "airport_name").value_or("");

    std::unordered_set<std::string> seen;
    {
      SkippedStands skipped(source);
      for (pugi::xml_node p : doc.child("parkpositions").children("parkpos")) {
        std::string id = p.attribute("id").as_string();
        if (!seen.insert(id).second)
          throw UserErrorException(94, fmt::format("Parking position {} appears more than once?", id));
        lf_readParkPos(p, id, 1, stands, &skipped);
      }
    }
    qf = {gf_getIntParameter(doc, "Qf_real").value_or(-1), gf_getIntParameter(doc, "Qf_soft").value_or(-1)};
    doc.reset();

    const fs::path learned = lf_learnedApfPath(source, info.publisher);
    std::error_code ec;
    const bool haveLearned = !learned.empty() && fs::exists(learned, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("exists", learned, ec);
    if (!haveLearned) {
      parking_percentage.value = 30;
      lf_enable(parking_percentage, false);
      gf_showIntOption(parking_percentage);
      gf_logIndented(fmt::format("{:24}: {}%", parking_percentage.key, 30));
    } else {
      std::uint8_t handmade = 0;
      lf_readLearned(learned, info, stands, handmade);
      g_apfHandmade = handmade;
      qf = gf_qualityFactor();
      if (g_apfHandmade != 0) gf_log("A handmade airport file overruled the archived file!");
    }
    g_mainWindow.standCount = stands.size();
    g_mainWindow.invalidate(std::nullopt);

    std::uint32_t id = 1;
    for (Stand& s : stands) s.id = id++;
    lf_linkOverlaps(stands);

    gf_logf("Airport file read from \"{}\" for {}", g_apfHandmade != 0 ? gf_pathText(learned) : source, code);
    gf_logIndented(fmt::format("{:24}: {}", "publisher", info.publisher));
    gf_logIndented(fmt::format("{:24}: {} ft", "altitude", info.altitude));
    gf_logIndented(fmt::format("{:24}: {}", "num_parkpos", stands.size()));
    const std::string qfText = gf_qualityFactorText(qf.pair());
    gf_logIndented(fmt::format("{:24}: {}", "quality factor", qfText));
    gf_logIndented(fmt::format("{:24}: {}", "RT traffic week", g_rtTrafficWeek));
    g_mainWindow.setText(StatusText::QualityText, qfText);
    g_mainWindow.parkDataShown = 1;
    g_parkAirportLoaded.store(1);
    lf_enable(FLUSH_STATIC_BUTTON, true);
    g_parkParameterChanged = 0;
    const AirportData park = gf_parkAirportSnapshot();
    g_trafficReader.setParkElevation(park.code.empty() ? std::nullopt : std::optional<double>(park.alt));
    g_mainWindow.invalidate(std::nullopt);
    result = stands.empty() ? "no stands found" : "";
  } catch (const UserErrorException&) {
    throw;
  } catch (const std::exception& e) {
    result = fmt::format("{}: {}", "gf_readApf", e.what());
  }
}

QualityFactor gf_qualityFactor() {
  try {
    const bool anyOption =
        std::any_of(g_stands.begin(), g_stands.end(), [](const Stand& s) { return !s.options.empty(); });
    if (!anyOption) return {-1, -1};
    double weights = 0;
    double sums[2] = {0, 0};  // soft, real
    for (const Stand& s : g_stands) {
      const double w = s.radiusNm <= 7.0 ? static_cast<double>(0.3f) : s.radiusNm <= 10.0 ? 1.5 : 1.0;
      weights += w;
      for (int kind = 0; kind < 2; ++kind) {
        std::uint32_t n = 0, bits = 0;
        std::uint8_t days = 0;
        for (const ParkPosOption& o : s.options) {
          if (o.id == 0 || (o.kind != 0) != (kind == 1)) continue;
          ++n;
          if (o.day >= 1 && o.day <= 7) days |= static_cast<std::uint8_t>(1u << (o.day - 1));
          bits += static_cast<std::uint32_t>(std::popcount(o.halfHours));
        }
        if (n == 0) continue;
        const double d = std::popcount(days);
        sums[kind] += (std::min(20.0 * n, 4000.0) + 10000.0 + 100.0 * d + 2.0 * std::min<double>(bits, 600)) * w;
      }
    }
    QualityFactor qf{0, 0};
    if (weights > 0) {
      qf.real = static_cast<std::int32_t>(std::clamp(std::round(sums[1] / weights * 0.00625), 0.0, 100.0));
      qf.soft = static_cast<std::int32_t>(std::clamp(std::round(sums[0] / weights * 0.00625), 0.0, 100.0));
    }
    return qf;
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("{} {}", "gf_qualityFactor", e.what()));
    return {0, 0};
  }
}

bool gf_loadParkAirport() {
  const std::string code = gf_parkAirportSnapshot().code;
  if (code.empty() || code == g_failedParkAirport) return false;
  g_stands.clear();
  g_standUpdates = 0;
  std::string message;
  try {
    const std::string source = gf_findApfSource(code);
    if (source.empty()) {
      message = fmt::format("{} {} not found", "lf_readParkedFile", code);
    } else if (source.size() >= 7 && source.find("unknown") != std::string::npos) {
      message = fmt::format("{} {} has publisher:{}, {}", "lf_readParkedFile", code, "unknown", source);
    } else {
      g_parkApfInfo = ParkApfInfo{};
      g_parkApfSource = source;
      gf_readApf(message, source, g_parkApfInfo, g_parkQf, g_stands);
    }
  } catch (const UserErrorException& e) {
    // A file that stops half-way is not used at all: no stand learning on half an airport, and
    // no new download of the same file at every check.
    gf_logMarked(fmt::format("{}: {}", code, e.what()));
    g_failedParkAirport = code;
    g_stands.clear();
    g_parkAirportLoaded.store(0);
    return false;
  } catch (const std::exception& e) {
    message = fmt::format("{}: {}", "lf_readParkedFile", e.what());
  }
  g_stands.shrink_to_fit();
  if (!message.empty()) gf_showMessage(message, true);
  return g_parkAirportLoaded.load() != 0 && !g_stands.empty();
}

void lf_endParkAirport() {
  if (g_parkAirportLoaded.load() != 0 && (g_parkParameterChanged != 0 || g_standUpdates >= 1)) gf_saveLearnedApf();
  g_parkAirportLoaded.store(0);
  g_stands.clear();
  g_apfHandmade = 0;
  g_parkApfInfo = ParkApfInfo{};
  g_parkApfSource.clear();
  g_failedParkAirport.clear();
  g_mainWindow.standCount = 0;
  g_mainWindow.parkDataShown = 0;
  g_mainWindow.setText(StatusText::QualityText, "");
  g_trafficReader.setParkElevation(std::nullopt);
}

void gf_resetParkAirportFile() {
  g_parkApfInfo = ParkApfInfo{};
  g_parkQf = QualityFactor{};
  g_rtTrafficWeek = 0;
  g_apfHandmade = 0;
  g_parkParameterChanged = 0;
  g_parkApfSource.clear();
  g_standUpdates = 0;
  g_autoRangeAtGround = 0;
  g_liveCallsigns.clear();
  g_failedParkAirport.clear();
  gf_forgetServerProbes();
}

}  // namespace amb
