// Loading the park airport's file into g_stands: source, checks, parameters, stands, the learned
// file, stand numbers, overlaps, quality factor, window figures and the log's summary.

#include "airports/park_airport.hpp"

#include "airports/apf_file.hpp"
#include "airports/apf_source.hpp"
#include "airports/services.hpp"
#include "airports/static_parking.hpp"
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
#include "traffic/services.hpp"

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

AirportData gf_parkAirportSnapshot() {
  std::lock_guard lock(g_parkAirportMutex);
  return g_parkAirport;
}

namespace {

void lf_enable(const OptionControl& control, bool on) {
  if (platform::Ui* ui = control.window.load()) ui->enable(control.controlId, on);
}

}  // namespace

namespace {

// The most ids one stand's overlap list holds, and the most stands of its neighbourhood it is compared
// with. Real stands overlap a few neighbours (none of JFK's more than two); stands that all lie on
// one spot would otherwise make every list as long as the airport and cost the square of its stands.
constexpr std::size_t kMaxOverlaps = 64;
constexpr std::size_t kMaxOverlapChecks = 1024;

}  // namespace

// Fills every stand's overlap list: b overlaps a when their circles, widened by a tenth of their
// distance, meet. Stands are sorted into cubes of a grid over the earth's surface (in three
// dimensions, so the poles and the date line need no care) as large as the farthest two stands can
// be apart and still overlap; only stands of neighbouring cubes are compared, so the cost grows with
// the stands and their overlapping pairs, not with every pair of stands. A pair is listed in both
// stands' lists or in neither; a list holds at most kMaxOverlaps ids and a stand is compared with at
// most kMaxOverlapChecks later ones, so memory and time stay bounded whatever the file.
void lf_linkOverlaps(std::vector<Stand>& stands) {
  for (Stand& s : stands) s.overlapIds.clear();
  double largest = 0;
  for (const Stand& s : stands) largest = std::max(largest, s.radiusNm);
  std::size_t bounded = 0;
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
    struct Point {
      double x, y, z;
    };
    std::vector<Point> points;
    points.reserve(stands.size());
    for (const Stand& s : stands) {
      const double lat = s.lat * kDegToRad;
      const double lon = s.lon * kDegToRad;
      points.push_back({std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)});
    }
    const auto cellOf = [cube](const Point& p) {
      return Cell{static_cast<std::int64_t>(std::floor(p.x / cube)), static_cast<std::int64_t>(std::floor(p.y / cube)),
                  static_cast<std::int64_t>(std::floor(p.z / cube))};
    };
    // Each cube's stands in rising index order.
    std::unordered_map<Cell, std::vector<std::size_t>, CellHash> grid;
    std::vector<Cell> cells;
    cells.reserve(stands.size());
    for (std::size_t i = 0; i < stands.size(); ++i) {
      cells.push_back(cellOf(points[i]));
      grid[cells.back()].push_back(i);
    }
    constexpr double kEarthRadiusNm = kEarthDiameterNm / 2.0;
    for (std::size_t i = 0; i < stands.size(); ++i) {
      Stand& a = stands[i];
      std::size_t checks = 0;
      bool cut = false;
      for (std::int64_t dx = -1; dx <= 1 && !cut; ++dx)
        for (std::int64_t dy = -1; dy <= 1 && !cut; ++dy)
          for (std::int64_t dz = -1; dz <= 1 && !cut; ++dz) {
            const auto near = grid.find({cells[i].x + dx, cells[i].y + dy, cells[i].z + dz});
            if (near == grid.end()) continue;
            const std::vector<std::size_t>& in = near->second;
            // Each pair once: only the stands after this one.
            for (auto k = std::upper_bound(in.begin(), in.end(), i); k != in.end(); ++k) {
              if (a.overlapIds.size() >= kMaxOverlaps || ++checks > kMaxOverlapChecks) {
                cut = true;
                break;
              }
              Stand& b = stands[*k];
              if (b.overlapIds.size() >= kMaxOverlaps) continue;
              const double reach = a.radiusNm + b.radiusNm;
              const Point& p = points[i];
              const Point& q = points[*k];
              const double chord = std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) +
                                             (p.z - q.z) * (p.z - q.z)) *
                                   kEarthRadiusNm;
              // The arc is at least the chord: a chord too long already needs no haversine.
              if (chord * 1.1 >= reach * (1.0 + 1e-9) + 1e-12) continue;
              if (gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}) * 1.1 < reach) {
                a.overlapIds.push_back(b.id);
                b.overlapIds.push_back(a.id);
              }
            }
          }
      if (cut) ++bounded;
    }
  }
  for (Stand& s : stands) {
    std::sort(s.overlapIds.begin(), s.overlapIds.end());
    s.overlapIds.shrink_to_fit();
  }
  if (bounded > 0)
    gf_logf("{} of {} stands lie among too many others: at most {} overlaps of a stand are listed", bounded,
            stands.size(), kMaxOverlaps);
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
    lf_setKeptLearnedFile({});
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
    // The text stays while the document built in place on it lives.
    std::string text;
    const ApfFileRead read = gf_readApfFileText(local ? fs::path(source) : target, text);
    if (read == ApfFileRead::Refused) {
      result = fmt::format("{} could not be loaded: larger than {} bytes", source, kMaxAirportFileBytes);
      return;
    }
    pugi::xml_parse_result parsed;
    parsed.status = pugi::status_file_not_found;
    if (read == ApfFileRead::Read) parsed = doc.load_buffer_inplace(text.data(), text.size());
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
    text = std::string();

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
      lf_setKeptLearnedFile({learned, lf_readLearned(learned, info, stands, handmade)});
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
    g_mainWindow.setText(StatusText::ParkingText1, info.publisher);
    g_mainWindow.hourMarker = g_apfHandmade;
    g_mainWindow.parkWeek = g_rtTrafficWeek;
    g_mainWindow.invalidate(std::nullopt);
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

void lf_endParkAirport() {
  std::lock_guard engine(gf_engineMutex());
  if (g_parkAirportLoaded.load() != 0 && (g_parkParameterChanged != 0 || g_standUpdates >= 1)) {
    gf_saveLearnedApf();
    g_standUpdates = 0;
  }
  lf_setKeptLearnedFile({});
  g_apfHandmade = 0;
  g_parkAirportLoaded.store(0);
  lf_enable(FLUSH_STATIC_BUTTON, false);
  lf_enable(parking_percentage, false);
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = AirportData{};
  }
  g_parkRemovals.clear();
  g_staticPlan.clear();
  g_stands.clear();
  lf_clearSetAside();
  g_maxParkCount = -1;
  gf_setReservedStandName({});
  g_parkApfInfo = ParkApfInfo{};
  g_parkApfSource.clear();
  gf_clearParkFigures();
  g_trafficReader.setParkElevation(std::nullopt);
}

void gf_clearParkFigures() {
  g_mainWindow.standCount = 0;
  g_mainWindow.parkDataShown = 0;
  g_mainWindow.hourMarker = 0;
  g_mainWindow.parkWeek = 0;
  g_mainWindow.maxParkCount = 0;
  g_mainWindow.maxParkPercentage = 0;
  g_mainWindow.parkingUpdates = 0;
  g_mainWindow.reservedStandValid = 0;
  g_mainWindow.realFit = 0;
  g_mainWindow.softFit = -1;
  g_mainWindow.adjusting = 0;
  g_mainWindow.staticAverageFit = -1.0f;
  g_mainWindow.setText(StatusText::ParkingText1, "");
  g_mainWindow.setText(StatusText::ParkingText2, "");
  g_mainWindow.setText(StatusText::QualityText, "");
  g_mainWindow.invalidate(std::nullopt);
}

void gf_resetParkAirportFile() {
  g_parkApfInfo = ParkApfInfo{};
  g_parkQf = QualityFactor{};
  g_rtTrafficWeek = 0;
  g_apfHandmade = 0;
  g_parkParameterChanged = 0;
  g_parkApfSource.clear();
  g_standUpdates = 0;
  lf_setKeptLearnedFile({});
  g_autoRangeAtGround = 0;
  g_liveCallsigns.clear();
  gf_forgetServerProbes();
}

}  // namespace amb
