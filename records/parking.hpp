#pragma once
// The parking records that the airports subsystem owns and the engine, the feed and the simulator
// link read: a stand of the park airport with what has been learned about its use, and one of the
// user's park airports.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace amb {

// One learned use of a stand: which aircraft stood there on which weekday at which half hours.
struct ParkPosOption {
  std::string airl;               // ICAO airline code
  std::string type;               // ICAO aircraft type
  std::string reg;                // registration
  std::string cs1;                // first callsign seen (a trailing '_' removed)
  std::string cs2;                // latest callsign seen that differs from cs1; empty when none
  std::uint64_t halfHours = 0;    // bit i: stood there in half hour i of the day (bits 0 to 47)
  std::uint32_t id = 0;           // number within the stand from 1 up; 0: never written to a file
  std::uint32_t day = 0;          // weekday 1 (Monday) to 7
  std::uint32_t readMark = 0;     // 1: from the airport's own file (never saved as learned)
  std::uint32_t kind = 1;         // 1 real (seen parked), 0 soft (its stream ended nearby)
  bool operator==(const ParkPosOption&) const = default;
};

// An aircraft's last visit that extended an option of a stand.
struct StandVisit {
  std::uint32_t weekday = 1;
  std::uint32_t halfHour = 0;
  std::uint32_t optionId = 0;
};

// A stand's learned options by weekday, each with a digest of its registration, for searches that
// ask about one weekday and one registration without reading every option. Stand learning builds it
// from the options as they are and builds it again once they were added to, removed or moved
// (another storage or count); an option's weekday, kind and registration never change once made.
struct OptionsByDay {
  struct Entry {
    std::uint32_t registration = 0;  // digest of the option's registration
    std::uint32_t option = 0;        // index in the stand's options
    std::uint32_t kind = 0;
  };
  std::vector<Entry> entries;      // by weekday: first those of no weekday 1 to 7, then weekday 1 ... 7
  std::uint32_t start[9] = {};     // the entries of weekday d (1 to 7) are [start[d], start[d + 1])
  const void* builtFor = nullptr;  // the options' storage and count when built
  std::size_t builtCount = 0;
};

// A stand position: latitude and longitude in degrees, heading in radians.
struct StandPosition {
  double lat = 0;
  double lon = 0;
  double heading = 0;
};

struct Stand {
  std::vector<ParkPosOption> options;                          // in the order read or added
  std::unordered_map<std::uint32_t, StandVisit> realByHexid;   // per 24-bit address, last real visit
  std::unordered_map<std::uint32_t, StandVisit> softByHexid;   // the same for soft options
  std::string name;                                            // attribute `id` of the airport file
  std::vector<std::uint32_t> overlapIds;  // stands too close to be used at the same time as this one
  double lat = 0;       // degrees
  double lon = 0;       // degrees
  double heading = 0;   // radians
  double radiusNm = 0;  // nautical miles
  std::uint32_t id = 0;  // number within the loaded airport, from 1; 0 until loaded
  std::uint8_t manual = 0;         // made by hand
  std::uint8_t radiusChanged = 0;  // learning changed the radius
  std::uint8_t cargoChanged = 0;   // learning changed the cargo flag
  std::uint8_t nameClash = 0;      // the scenery reader gave it a letter suffix
  std::uint8_t taken = 0;          // the static-parking plan placed an aircraft here
  std::uint8_t occupied = 0;       // an aircraft stands here now
  std::uint8_t reserved = 0;       // the user's reserved stand
  std::uint8_t blocked = 0;        // an overlapping stand is taken
  std::uint8_t cargo = 0;
  std::uint8_t ramp = 0;
  std::uint8_t heli = 0;  // helipad
  OptionsByDay byDay;     // kept by stand learning

  Stand() { overlapIds.reserve(8); }
  // The radius comes in metres. a, b and c are stored negated: cargo = (a == 0), ramp = (b == 0),
  // heli = (c == 0), which is how the scenery and airport-file readers hand their flags over.
  Stand(std::string standName, std::vector<ParkPosOption> standOptions, const StandPosition& position,
        double radiusMetres, int a, int b, int c)
      : options(std::move(standOptions)),
        name(std::move(standName)),
        lat(position.lat),
        lon(position.lon),
        heading(position.heading),
        radiusNm(radiusMetres * 0.0005399568034557236),
        cargo(a == 0 ? 1 : 0),
        ramp(b == 0 ? 1 : 0),
        heli(c == 0 ? 1 : 0) {
    overlapIds.reserve(8);
  }
};

// One of the user's park airports; the first of the list is the current choice.
struct ParkAirport {
  std::string code;
  std::string reservedStand;  // the user's reserved stand there; empty when none
  double latitude = 0;        // degrees
  double longitude = 0;       // degrees
  double distanceNm = 0;      // to the user aircraft
};

}  // namespace amb
