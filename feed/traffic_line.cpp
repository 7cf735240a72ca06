#include "feed/traffic_line.hpp"

#include "core/clock.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "feed/inputs.hpp"
#include "feed/readers.hpp"
#include "records/upcalls.hpp"
#include "settings/settings.hpp"
#include "state/run_state.hpp"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <cmath>
#include <exception>
#include <optional>
#include <string_view>

namespace amb {

using namespace up::airports;

TrafficQueue g_trafficQueue;
std::mutex g_trafficQueueMutex;

namespace {

using namespace std::string_view_literals;

// One more than the highest field index read; shorter lines are not traffic lines.
constexpr std::size_t kFieldsNeeded = 29;

// The positions of the fields read, counted from 0.
constexpr std::size_t HexId = 1;
constexpr std::size_t Latitude = 2;
constexpr std::size_t Longitude = 3;
constexpr std::size_t Altitude = 4;
constexpr std::size_t VerticalSpeed = 5;
constexpr std::size_t Track = 7;
constexpr std::size_t GroundSpeed = 8;
constexpr std::size_t Callsign = 9;
constexpr std::size_t Type = 10;
constexpr std::size_t Registration = 11;
constexpr std::size_t Origin = 12;
constexpr std::size_t Destination = 13;
constexpr std::size_t Timestamp = 14;
constexpr std::size_t Flag = 15;
constexpr std::size_t Source = 17;
constexpr std::size_t TrueAirspeed = 20;
constexpr std::size_t Roll = 23;
constexpr std::size_t TrueHeading = 25;
constexpr std::size_t Category = 28;

// A plain decimal number from the start of the field; trailing characters are ignored. Nothing
// parsed, an overflow, "nan" and "inf" are failures.
bool parseNumber(std::string_view field, double& out) {
  const char* first = field.data();
  const char* last = first + field.size();
  const auto [end, ec] = std::from_chars(first, last, out, std::chars_format::general);
  return ec == std::errc{} && end != first && std::isfinite(out);
}

bool parseHexid(std::string_view field, std::uint32_t& out) {
  const char* first = field.data();
  const char* last = first + field.size();
  const auto [end, ec] = std::from_chars(first, last, out, 10);
  return ec == std::errc{} && end != first;
}

bool isOneOf(std::string_view value, std::initializer_list<std::string_view> set) {
  for (std::string_view s : set)
    if (value == s) return true;
  return false;
}

// At most once a minute (TrafficQueue::takeDropReport), so that a flood keeps the log short.
void lf_logDroppedRecords(std::uint64_t count) {
  gf_logMarked(fmt::format("Traffic queue full ({} records): {} oldest record{} dropped", TrafficQueue::kCap, count,
                           gf_pluralS(static_cast<std::int64_t>(count))));
}

bool excludedModel(std::string_view model) {
  // Ground vehicles, gliders, balloons, parachutes, ships and the like.
  static constexpr std::array<std::string_view, 7> kExcluded{"GRND", "GLID", "SERV", "BALL", "PARA", "SHIP", "EMER"};
  for (std::string_view s : kExcluded)
    if (model == s) return true;
  return false;
}

std::string_view orEmpty(std::string_view field) { return field == "null"sv ? std::string_view{} : field; }

// The texts come from the feed: control characters and bytes that are not UTF-8 are escaped where
// they enter, so that no log line, file or simulator call gets them raw. Real fields are plain ASCII
// and stay as they are.
void escapeTexts(AcIdentity& id) {
  for (std::string* text : {&id.registration, &id.model, &id.callsign, &id.origin, &id.destination})
    if (!gf_isPlainText(*text)) *text = gf_peerText(*text, std::string::npos);
}

// Within this many nm of an airport's reference point a reported altitude is judged against that
// airport's ground.
constexpr double kFieldNm = 5.0;

double defaultTrueAirspeed(double altitude) {
  if (altitude <= 2000) return 180;
  if (altitude <= 5000) return 220;
  if (altitude <= 10000) return 250;
  if (altitude <= 20000) return 350;
  return 430;
}

LineResult parse(TrafficReader& reader) {
  const std::vector<std::string_view>& f = reader.fieldViews;
  if (f.size() < kFieldsNeeded) return LineResult::TooFewFields;

  TrafficRecord record;
  AcIdentity& id = record.identity;
  Situation& s = record.situation;

  // The timestamp is kept even when a later check drops the line: it tells that traffic flows.
  double timestamp = 0;
  if (!parseNumber(f[Timestamp], timestamp)) return LineResult::BadTimestamp;
  const std::optional<double> onTimeLine = reader.feedClock.admit(timestamp);
  if (!onTimeLine) return LineResult::ImplausibleTime;
  reader.feedTimestamp.store(timestamp, std::memory_order_relaxed);
  record.timestamp = *onTimeLine;

  if (f[Registration] != "null"sv && f[Registration].size() < 13) id.registration.assign(f[Registration]);
  if (id.registration.empty() && f[Flag] == "F"sv) return LineResult::NoRegistration;

  if (!parseNumber(f[Latitude], s.latitude) || !parseNumber(f[Longitude], s.longitude)) return LineResult::BadPosition;
  if (s.latitude < -90 || s.latitude > 90 || s.longitude < -180 || s.longitude > 180) return LineResult::BadPosition;
  if (gf_inNullBox(s.latitude, s.longitude)) return LineResult::NullIsland;

  const auto [userLat, userLon] = reader.userPosition();
  if (gf_distanceNm({userLat, userLon}, {s.latitude, s.longitude}) > g_radiusNm.load(std::memory_order_relaxed))
    return LineResult::OutOfRadius;

  const std::string_view callsignField = f[Callsign];
  if (reader.callsignCollection.load(std::memory_order_relaxed) != 0 && callsignField != "null"sv &&
      !callsignField.empty() && callsignField.find('@') == std::string_view::npos)
    reader.addSeenCallsign(callsignField);

  const std::string_view type = f[Type];
  if (!isOneOf(type, {"null"sv, "0"sv, "ZZZZ"sv})) id.model.assign(type);

  const std::string_view category = f[Category];
  if (category.empty()) return LineResult::NoCategory;
  if (isOneOf(category, {"B1"sv, "B2"sv, "B4"sv, "C1"sv, "C2"sv})) return LineResult::ExcludedCategory;
  if (id.model.empty() || id.model.size() > 4 || excludedModel(id.model)) return LineResult::ExcludedModel;

  if (f[Source] == "adsb_icao"sv) {
    double trueHeading = 0;
    if (!parseNumber(f[TrueHeading], trueHeading)) return LineResult::BadTrack;
    if (trueHeading > 360) return LineResult::BadTrack;
    if (trueHeading == 0) {
      s.feedTrack = 2 * kPi;
      s.feedTrackGiven = 1;
    } else if (trueHeading > 0) {
      s.feedTrack = trueHeading * kDegToRad;
      s.feedTrackGiven = 1;
    }
  }
  s.feedAttitudeUsable = s.feedTrackGiven;

  if (!parseHexid(f[HexId], record.hexid)) return LineResult::BadHexid;
  // Low numbers are not aircraft addresses (the program's own parked aircraft use them).
  if (record.hexid <= 10000) return LineResult::BadHexid;

  if (!parseNumber(f[GroundSpeed], s.speed)) return LineResult::BadSpeed;
  if (s.speed < 0 || s.speed > kFastestGroundSpeedKt) return LineResult::BadSpeed;

  double altitude = 0;
  if (!parseNumber(f[Altitude], altitude)) return LineResult::BadAltitude;
  if (altitude < kLowestAltitudeFt || altitude > kHighestAltitudeFt) return LineResult::BadAltitude;
  if (altitude <= 0) {
    altitude = 0;
  } else {
    if (altitude < 14000) {
      const double reference = gf_groundReferenceFt({s.latitude, s.longitude}, reader.parkElevation());
      const double d = altitude - reference;
      const double ad = std::fabs(d);
      if (d <= 0 || (ad <= 45 && s.speed <= 120) || (ad <= 90 && s.speed <= 80) || (ad <= 120 && s.speed <= 43))
        altitude = 0;
    }
    if (altitude > 0 && s.speed <= 35) altitude = 0;
  }
  s.altitude = altitude;
  s.airborne = altitude != 0 ? 1 : 0;

  // Parked at the park airport and clearly above it: the automatic range at its 10 nm step is for the
  // traffic at the airport, not for the aircraft overflying it.
  std::optional<AirportData> park;
  if (s.airborne && g_autoRangeApplied.load() != 0 && g_parkAirportLoaded->load() != 0) {
    park = gf_parkAirportSnapshot();
    if (altitude > park->alt + 3000) return LineResult::AboveParkAirport;
  }

  if (callsignField != "null"sv && callsignField.find('@') == std::string_view::npos)
    id.callsign.assign(callsignField);
  if (id.callsign == "ERARMTR0"sv) return LineResult::BlockedCallsign;
  if (id.registration.empty() && id.callsign.empty()) return LineResult::Anonymous;

  // On the ground only at the park airport, but for the landing roll of an aircraft just seen in the
  // air: it touches down and rolls out wherever it lands.
  if (s.airborne) {
    reader.noteAirborne(record.hexid, record.timestamp, s.latitude, s.longitude, s.speed);
  } else if (!reader.rollingOut(record.hexid, record.timestamp, s.latitude, s.longitude)) {
    if (!park) park = gf_parkAirportSnapshot();
    if (park->code.empty() || gf_distanceNm({s.latitude, s.longitude}, {park->lat, park->lon}) > 5)
      return LineResult::GroundAwayFromPark;
  }

  if (!f[Track].empty() && !parseNumber(f[Track], s.heading)) return LineResult::BadHeading;
  if (s.heading == 0 && s.feedTrackGiven) s.heading = s.feedTrack * kRadToDeg;

  if (!parseNumber(f[VerticalSpeed], s.verticalSpeed)) return LineResult::BadVerticalSpeed;

  id.origin.assign(orEmpty(f[Origin]));
  id.destination.assign(orEmpty(f[Destination]));

  if (s.airborne) {
    double roll = 0;
    if (!parseNumber(f[Roll], roll)) return LineResult::BadBank;
    s.feedBank = -roll * kDegToRad;
    s.feedBankGiven = (roll != -1 && roll != 0) ? 1 : 0;
  }

  if (!parseNumber(f[TrueAirspeed], s.trueAirspeed)) return LineResult::BadAirspeed;
  if (s.trueAirspeed == -1) s.trueAirspeed = defaultTrueAirspeed(altitude);

  s.noMovement = 0;
  escapeTexts(id);
  std::optional<std::uint64_t> dropped;
  {
    std::lock_guard lock(g_trafficQueueMutex);
    if (g_trafficQueueOpen == 0) return LineResult::QueueClosed;
    s.due = g_engineCycle.load() + kTrafficDelayCycles;
    g_trafficQueue.push_back(std::move(record));
    dropped = g_trafficQueue.takeDropReport(clock::steadyNow());
  }
  if (dropped) lf_logDroppedRecords(*dropped);
  return LineResult::Queued;
}

}  // namespace

LineResult processLineFor(TrafficReader& reader) {
  try {
    return parse(reader);
  } catch (const std::exception& e) {
    gf_log(fmt::format("exception in processLine: {}", e.what()));
    return LineResult::Failed;
  }
}

// An aircraft coming in to another field comes down to that field's ground: judged against a park
// airport higher up it would be put on the ground in the air, miles short of its runway, and against
// one lower down it would never touch down.
double gf_groundReferenceFt(const LatLon& at, std::optional<double> parkFt) {
  const std::optional<AirportData> field = gf_airportNear != nullptr ? gf_airportNear(at, kFieldNm) : std::nullopt;
  if (!field) return parkFt.value_or(-1000);
  if (parkFt) {
    const AirportData park = gf_parkAirportSnapshot();
    if (!park.code.empty() && (park.code == field->code || gf_distanceNm(at, {park.lat, park.lon}) <= kFieldNm))
      return *parkFt;
  }
  return field->alt;
}

void processLine(TrafficReader& reader) { processLineFor(reader); }

void gf_splitTrafficLine(TrafficReader& reader, std::string_view line) {
  std::vector<std::string_view>& views = reader.fieldViews;
  views.clear();
  // Fields are short: a plain scan beats a search call per field.
  const char* start = line.data();
  const char* const end = start + line.size();
  for (const char* p = start; p != end; ++p) {
    if (*p == ',') {
      views.emplace_back(start, static_cast<std::size_t>(p - start));
      start = p + 1;
    }
  }
  // A trailing comma adds no empty field.
  if (start != end) views.emplace_back(start, static_cast<std::size_t>(end - start));
}

void gf_resetTrafficQueue() {
  std::optional<std::uint64_t> dropped;
  {
    std::lock_guard lock(g_trafficQueueMutex);
    // Drops not yet logged are logged now, whenever the last line was.
    dropped = g_trafficQueue.takeDropReport(std::nullopt);
    g_trafficQueue.clear();
  }
  if (dropped) lf_logDroppedRecords(*dropped);
}

}  // namespace amb
