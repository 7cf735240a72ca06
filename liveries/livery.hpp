#pragma once
// One AI livery found in the simulator's aircraft folders, its order and its duplicate test.

#include <cstdint>
#include <list>
#include <string>

namespace amb {

struct LiveryData {
  std::string airline;  // ICAO operator code, "PVT" (private) or "ZZZ" (stands in for any operator)
  std::string type;     // ICAO type designator
  std::string title;    // the simulator's title, under which it creates the AI object
  std::string atcid;    // the registration given with the livery; may be empty
  std::int32_t priority = 0;  // rank of the livery folder (1..10); 0 when read from the file
  bool cargo = false;
};

// Ascending by airline, then type, then title, each compared byte-wise on unsigned bytes.
bool gf_liveryBefore(const LiveryData& a, const LiveryData& b);
// Stable sort by that order: records equal in all three keys keep their order.
void gf_sortLiveries(std::list<LiveryData>& list);

// Same title, airline, type, registration and cargo flag; the priority is not compared.
bool lf_sameLivery(const LiveryData& a, const LiveryData& b);

}  // namespace amb
