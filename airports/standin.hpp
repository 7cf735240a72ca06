#pragma once
// Scaffolding: until the airports subsystem is built, tests give the user a reserved stand with this
// call and read what the live engine reported to the stand learning. Deleted together with
// standin.cpp.

#include <cstdint>
#include <string>
#include <vector>

namespace amb {

// The user's reserved stand at the park airport; empty for none.
void gf_standinSetReservedStand(const std::string& name);

// One call of lf_addRealParkPosOption.
struct StandinParkPosition {
  std::uint32_t standId = 0;
  std::uint32_t hexid = 0;
  bool live = false;
  bool fromSpawn = false;
};
// The real park positions recorded since the last reset of the park state, in order.
std::vector<StandinParkPosition> gf_standinParkPositions();
// The hexids of the aircraft whose soft park position was learned, in order.
std::vector<std::uint32_t> gf_standinSoftParkPositions();

}  // namespace amb
