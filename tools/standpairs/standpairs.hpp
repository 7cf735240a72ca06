#pragma once
// Two aircraft on one stand, seen from the simulator's side: a static (parked) aircraft, whose
// callsign ends in "*", and a live aircraft on the ground within the radius of the static one's stand
// at the same moment. A live aircraft that comes to such a stand makes the static one give way within
// a few seconds; a pair that stays together longer is a fault. The moments come from the simulator
// double's trace or from a test's own view of its simulator.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace amb::standpairs {

struct StandCircle {
  std::string name;
  double lat = 0;  // degrees
  double lon = 0;
  double radiusMetres = 0;
};

// One object of the simulator at a moment.
struct Seen {
  std::uint32_t id = 0;
  std::string callsign;
  double lat = 0;  // degrees
  double lon = 0;
  bool onGround = false;
};

// A static and a live aircraft together on the static one's stand: its longest stay.
struct Pair {
  std::string stand;
  std::string staticCallsign;
  std::string liveCallsign;
  double from = 0;  // seconds
  double to = 0;
};

class Watch {
public:
  // Pairs count once they stay together longer than the bound (seconds).
  Watch(std::vector<StandCircle> stands, double longerThanSeconds);

  // Every object in the simulator at the moment; moments come in increasing order. A static
  // aircraft's stand is the nearest whose circle holds the place it is first seen at.
  void observe(double seconds, const std::vector<Seen>& objects);
  // The pairs that stayed together longer than the bound (a stay still going on at the last moment
  // counts up to it), in the order they met.
  std::vector<Pair> pairs() const;

private:
  struct Stay {
    Pair pair;
    double start = 0;
    double last = 0;
    double longest = -1;
    std::size_t order = 0;
  };
  const StandCircle* standAt(double lat, double lon) const;

  std::vector<StandCircle> m_stands;
  double m_bound;
  double m_previous = -1;
  std::map<std::uint32_t, const StandCircle*> m_standOf;  // static object id -> its stand (nullptr: none)
  std::map<std::pair<std::uint32_t, std::uint32_t>, Stay> m_stays;
};

// Great-circle distance in metres (mean Earth radius).
double metresBetween(double lat1, double lon1, double lat2, double lon2);

// True for the callsign the program gives a static aircraft.
inline bool isStatic(const std::string& callsign) { return !callsign.empty() && callsign.back() == '*'; }

// Replays the simulator double's trace (CSV "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,
// heading_deg,on_ground,detail"; the callsign is the part of a creation's detail after "|") into the
// watch, one moment every `stepSeconds`; with `lines` above 0 only that many first lines of the file
// (the header counted). False with a message when the file cannot be read or is no such trace.
bool watchTrace(const std::filesystem::path& csv, Watch& watch, double stepSeconds, std::size_t lines,
                std::string& error);

}  // namespace amb::standpairs
