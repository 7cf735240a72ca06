#pragma once
// The double's simulated world: the user aircraft, the AI and other aircraft, the simulation
// variables a data definition may name, and the CSV trace of what happened to the AI objects.

#include "tools/simdouble/wire.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace amb::simdouble {

struct Aircraft {
  std::uint32_t id = 0;
  std::string title;
  std::string atcId;
  std::string model;
  double latitude = 0;   // degrees
  double longitude = 0;  // degrees
  double altitude = 0;   // feet
  double groundAltitude = 0;  // feet
  double pitch = 0;      // degrees
  double bank = 0;       // degrees
  double heading = 0;    // true, degrees
  double groundSpeed = 0;  // knots
  double trueAirspeed = 0; // knots
  double verticalSpeed = 0;  // feet per second
  bool onGround = false;
  double staticCg = 6.5;     // feet
  double staticPitch = 0.0;  // radians
  std::int64_t lightStates = 0;
  double spoilers = 0;
  double throttle1 = 0;
  double throttle2 = 0;
  bool createdByClient = false;
  unsigned ownerSession = 0;
};

// An airport's field: within its radius of its position the ground lies at its elevation.
struct Field {
  double latitude = 0;   // degrees
  double longitude = 0;  // degrees
  double elevationFt = 0;
  double radiusNm = 3;
};

// One datum of a data definition as a client added it.
struct Datum {
  std::string name;
  std::string units;
  std::uint32_t type = 0;
};

class World {
public:
  World();

  Aircraft user;
  std::map<std::uint32_t, Aircraft> objects;  // AI and other aircraft by id
  std::optional<long long> zuluUnixSeconds;   // fixed simulator time; else the PC clock
  // The world is flat at the user aircraft's ground altitude but for these fields.
  std::vector<Field> fields;

  // The ground's altitude at a position: the elevation of the nearest field whose radius holds it,
  // else the user aircraft's ground altitude.
  double groundAt(double latitude, double longitude) const;

  // Object id 0 (and the user's own id) name the user aircraft.
  Aircraft* find(std::uint32_t objectId);
  // The next free id: from 3 up and above the user's id.
  std::uint32_t allocateId();

  // The datum's bytes for the aircraft, in the datum's data type and units.
  void encodeDatum(const Aircraft& a, const Datum& d, Bytes& out) const;
  // Sets a numeric datum from its bytes; returns the bytes the datum takes (0 when the type is not
  // a number or the data are too short).
  std::size_t decodeDatum(Aircraft& a, const Datum& d, const std::uint8_t* data, std::size_t size) const;
  // Bytes a datum of the type takes in a data block (STRINGV: the text given).
  static std::size_t fixedSizeOf(std::uint32_t type);

  // Whether the aircraft stands on the ground: its altitude at most half a foot above its ground
  // altitude plus its static CG height (the height of its reference point when standing).
  static bool standsOnGround(const Aircraft& a) { return a.altitude - a.groundAltitude - a.staticCg <= 0.5; }

  // Great-circle distance in metres.
  static double distanceMeters(double lat1, double lon1, double lat2, double lon2);

private:
  std::uint32_t m_nextId = 3;
};

// "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail"
class Trace {
public:
  bool open(const std::filesystem::path& path);
  void write(const Aircraft& a, const std::string& what, const std::string& detail);
  bool isOpen() const { return m_out.is_open(); }

private:
  std::ofstream m_out;
  std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace amb::simdouble
