#include "tools/simdouble/world.hpp"

#include "tools/tracemap/tracemap.hpp"

#include <fmt/format.h>

#include <cctype>
#include <cmath>
#include <ctime>
#include <numbers>

namespace amb::simdouble {

namespace {

enum class Var {
  Unknown, Latitude, Longitude, Altitude, AltAboveGround, GroundAltitude, Pitch, Bank, Heading, GroundVelocity,
  TrueAirspeed, VerticalSpeed, OnGround, Title, AtcModel, AtcId, ZuluTime, ZuluDayOfYear, ZuluYear, LightStates,
  StaticCg, StaticPitch, Spoilers, Throttle1, Throttle2,
};

std::string upper(const std::string& s) {
  std::string u;
  u.reserve(s.size());
  for (unsigned char c : s) u += static_cast<char>(std::toupper(c));
  return u;
}

Var varOf(const std::string& name) {
  static const std::map<std::string, Var> table{
      {"PLANE LATITUDE", Var::Latitude},
      {"PLANE LONGITUDE", Var::Longitude},
      {"PLANE ALTITUDE", Var::Altitude},
      {"PLANE ALT ABOVE GROUND", Var::AltAboveGround},
      {"GROUND ALTITUDE", Var::GroundAltitude},
      {"PLANE PITCH DEGREES", Var::Pitch},
      {"PLANE BANK DEGREES", Var::Bank},
      {"PLANE HEADING DEGREES TRUE", Var::Heading},
      {"GROUND VELOCITY", Var::GroundVelocity},
      {"AIRSPEED TRUE", Var::TrueAirspeed},
      {"VERTICAL SPEED", Var::VerticalSpeed},
      {"SIM ON GROUND", Var::OnGround},
      {"TITLE", Var::Title},
      {"ATC MODEL", Var::AtcModel},
      {"ATC ID", Var::AtcId},
      {"ZULU TIME", Var::ZuluTime},
      {"ZULU DAY OF YEAR", Var::ZuluDayOfYear},
      {"ZULU YEAR", Var::ZuluYear},
      {"LIGHT STATES", Var::LightStates},
      {"LIGHT ON STATES", Var::LightStates},
      {"STATIC CG TO GROUND", Var::StaticCg},
      {"STATIC PITCH", Var::StaticPitch},
      {"SPOILERS HANDLE POSITION", Var::Spoilers},
      {"GENERAL ENG THROTTLE LEVER POSITION:1", Var::Throttle1},
      {"GENERAL ENG THROTTLE LEVER POSITION:2", Var::Throttle2},
  };
  auto it = table.find(upper(name));
  return it == table.end() ? Var::Unknown : it->second;
}

bool unitsSay(const std::string& units, const char* word) { return upper(units).find(word) != std::string::npos; }

constexpr double kDegToRad = std::numbers::pi / 180.0;

// Angles are kept in degrees; a datum in radians is converted both ways.
double angleOut(double degrees, const std::string& units) {
  return unitsSay(units, "RADIAN") ? degrees * kDegToRad : degrees;
}
double angleIn(double value, const std::string& units) {
  return unitsSay(units, "RADIAN") ? value / kDegToRad : value;
}
double lengthOut(double feet, const std::string& units) {
  return unitsSay(units, "METER") || unitsSay(units, "METRE") ? feet * 0.3048 : feet;
}
double lengthIn(double value, const std::string& units) {
  return unitsSay(units, "METER") || unitsSay(units, "METRE") ? value / 0.3048 : value;
}

struct Value {
  bool text = false;
  double number = 0;
  std::string str;
};

bool isTextType(std::uint32_t t) { return t >= sc::kString8 && t <= sc::kStringV; }

}  // namespace

World::World() {
  user.id = 1;
  user.title = "Double Airliner";
  user.atcId = "N12345";
  user.model = "B738";
  user.latitude = 47.4502;
  user.longitude = 8.5618;
  user.altitude = 1416;
  user.groundAltitude = 1416;
  user.onGround = true;
}

Aircraft* World::find(std::uint32_t objectId) {
  if (objectId == 0 || objectId == user.id) return &user;
  auto it = objects.find(objectId);
  return it == objects.end() ? nullptr : &it->second;
}

std::uint32_t World::allocateId() {
  std::uint32_t id = std::max(m_nextId, user.id + 1);
  while (objects.count(id) != 0) ++id;
  m_nextId = id + 1;
  return id;
}

std::size_t World::fixedSizeOf(std::uint32_t type) {
  switch (type) {
    case sc::kInt32:
    case sc::kFloat32: return 4;
    case sc::kInt64:
    case sc::kFloat64: return 8;
    case sc::kString8: return 8;
    case sc::kString32: return 32;
    case sc::kString64: return 64;
    case sc::kString128: return 128;
    case sc::kString256: return 256;
    case sc::kString260: return 260;
    default: return 0;
  }
}

void World::encodeDatum(const Aircraft& a, const Datum& d, Bytes& out) const {
  Value v;
  const Var var = varOf(d.name);
  std::tm tm{};
  const long long now = zuluUnixSeconds ? *zuluUnixSeconds : static_cast<long long>(std::time(nullptr));
  const std::time_t t = static_cast<std::time_t>(now);
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  switch (var) {
    case Var::Latitude: v.number = angleOut(a.latitude, d.units); break;
    case Var::Longitude: v.number = angleOut(a.longitude, d.units); break;
    case Var::Altitude: v.number = lengthOut(a.altitude, d.units); break;
    case Var::AltAboveGround: v.number = lengthOut(std::max(0.0, a.altitude - a.groundAltitude), d.units); break;
    case Var::GroundAltitude: v.number = lengthOut(a.groundAltitude, d.units); break;
    case Var::Pitch: v.number = angleOut(a.pitch, d.units); break;
    case Var::Bank: v.number = angleOut(a.bank, d.units); break;
    case Var::Heading: v.number = angleOut(a.heading, d.units); break;
    case Var::GroundVelocity: v.number = a.groundSpeed; break;
    case Var::TrueAirspeed: v.number = a.trueAirspeed; break;
    case Var::VerticalSpeed:
      v.number = unitsSay(d.units, "MINUTE") ? a.verticalSpeed * 60 : lengthOut(a.verticalSpeed, d.units);
      break;
    case Var::OnGround: v.number = a.onGround ? 1 : 0; break;
    case Var::Title: v.text = true; v.str = a.title; break;
    case Var::AtcModel: v.text = true; v.str = a.model; break;
    case Var::AtcId: v.text = true; v.str = a.atcId; break;
    case Var::ZuluTime: v.number = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec; break;
    case Var::ZuluDayOfYear: v.number = tm.tm_yday + 1; break;
    case Var::ZuluYear: v.number = tm.tm_year + 1900; break;
    case Var::LightStates: v.number = static_cast<double>(a.lightStates); break;
    case Var::StaticCg: v.number = lengthOut(a.staticCg, d.units); break;
    case Var::StaticPitch:
      v.number = unitsSay(d.units, "DEGREE") ? a.staticPitch / kDegToRad : a.staticPitch;
      break;
    case Var::Spoilers: v.number = a.spoilers; break;
    case Var::Throttle1: v.number = a.throttle1; break;
    case Var::Throttle2: v.number = a.throttle2; break;
    case Var::Unknown: break;
  }
  switch (d.type) {
    case sc::kInt32: appendU32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(v.number))); break;
    case sc::kInt64: appendI64(out, static_cast<std::int64_t>(v.number)); break;
    case sc::kFloat32: appendF32(out, static_cast<float>(v.number)); break;
    case sc::kFloat64: appendF64(out, v.number); break;
    case sc::kStringV: {
      // The text with its zero, padded to whole 32-bit words.
      const std::size_t n = v.str.size() + 1;
      appendText(out, v.str, (n + 3) / 4 * 4);
      break;
    }
    default:
      if (isTextType(d.type)) appendText(out, v.str, fixedSizeOf(d.type));
      break;
  }
}

std::size_t World::decodeDatum(Aircraft& a, const Datum& d, const std::uint8_t* data, std::size_t size) const {
  const std::size_t need = fixedSizeOf(d.type);
  if (need == 0 || size < need) return 0;
  double x = 0;
  switch (d.type) {
    case sc::kInt32: x = static_cast<std::int32_t>(sc::getU32(data)); break;
    case sc::kInt64: x = static_cast<double>(sc::getI64(data)); break;
    case sc::kFloat32: x = sc::getF32(data); break;
    case sc::kFloat64: x = sc::getF64(data); break;
    default: return need;  // texts are not set
  }
  switch (varOf(d.name)) {
    case Var::Latitude: a.latitude = angleIn(x, d.units); break;
    case Var::Longitude: a.longitude = angleIn(x, d.units); break;
    case Var::Altitude: a.altitude = lengthIn(x, d.units); break;
    case Var::GroundAltitude: a.groundAltitude = lengthIn(x, d.units); break;
    case Var::Pitch: a.pitch = angleIn(x, d.units); break;
    case Var::Bank: a.bank = angleIn(x, d.units); break;
    case Var::Heading: a.heading = angleIn(x, d.units); break;
    case Var::GroundVelocity: a.groundSpeed = x; break;
    case Var::TrueAirspeed: a.trueAirspeed = x; break;
    case Var::VerticalSpeed: a.verticalSpeed = unitsSay(d.units, "MINUTE") ? x / 60 : lengthIn(x, d.units); break;
    case Var::OnGround: a.onGround = x != 0; break;
    case Var::LightStates: a.lightStates = static_cast<std::int64_t>(x); break;
    case Var::Spoilers: a.spoilers = x; break;
    case Var::Throttle1: a.throttle1 = x; break;
    case Var::Throttle2: a.throttle2 = x; break;
    default: break;
  }
  return need;
}

double World::groundAt(double latitude, double longitude) const {
  constexpr double kMetresPerNm = 1852;
  constexpr double kNmPerDegree = 60;
  const Field* nearest = nullptr;
  double best = 0;
  for (const Field& f : fields) {
    // A field a degree of latitude away is not worth a great circle.
    if (std::fabs(latitude - f.latitude) * kNmPerDegree > f.radiusNm) continue;
    const double nm = distanceMeters(latitude, longitude, f.latitude, f.longitude) / kMetresPerNm;
    if (nm <= f.radiusNm && (nearest == nullptr || nm < best)) {
      nearest = &f;
      best = nm;
    }
  }
  return nearest != nullptr ? nearest->elevationFt : user.groundAltitude;
}

double World::distanceMeters(double lat1, double lon1, double lat2, double lon2) {
  const double p1 = lat1 * kDegToRad, p2 = lat2 * kDegToRad;
  const double dp = (lat2 - lat1) * kDegToRad, dl = (lon2 - lon1) * kDegToRad;
  const double h = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
  return 2 * 6371008.8 * std::asin(std::min(1.0, std::sqrt(h)));
}

bool Trace::open(const std::filesystem::path& path) {
  m_out.open(path, std::ios::trunc);
  if (!m_out) return false;
  m_out << tracemap::kTraceHeader << "\n";
  m_out.flush();
  m_start = std::chrono::steady_clock::now();
  return true;
}

void Trace::write(const Aircraft& a, const std::string& what, const std::string& detail) {
  if (!m_out.is_open()) return;
  const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  m_out << tracemap::traceRow(
      {t, a.id, what, a.latitude, a.longitude, a.altitude, a.pitch, a.bank, a.heading, a.onGround, detail});
  m_out.flush();
}

}  // namespace amb::simdouble
