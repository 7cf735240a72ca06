#pragma once
// What the simulator link hands back to the engine: one SimResult per thing that happened to an AI
// object (created, removed, refused, measured). The "SimClient" thread pushes them under the result
// lock; the engine's cycle takes them on the worker thread.

#include <cstdint>
#include <mutex>
#include <vector>

namespace amb {

enum SimResultKind : std::uint32_t {
  CreatedLive = 0,    // a live aircraft's object exists; second id the hexid; second value its height
  CreatedParked = 1,  // a parked act's object exists; second id the hexid
  Removed = 2,        // the object is gone
  OtherAircraft = 3,  // ground data of an aircraft in range; second id the on-ground value
  StaticCg = 4,       // static CG height (feet) and static pitch (radians) of an object
  CreateFailed = 6,   // the simulator refused a creation; second id the hexid
  CreateLost = 7,     // a creation the simulator will not make (too many objects); second id the hexid
};

struct SimResult {
  std::uint32_t objectId = 0;  // 0 when none
  std::uint32_t secondId = 0;
  std::int32_t counter = 0;    // 0 when made; the engine counts in it
  std::uint32_t kind = 0;      // SimResultKind
  double first = 0;
  double second = 0;
};

// The results not yet taken, guarded by the result lock. The engine holds the lock for its whole
// pass and may take g_simMutex inside it, never the other way round.
extern std::mutex g_simResultMutex;
extern std::vector<SimResult> g_simResults;

// Appends one result under the result lock.
void gf_pushSimResult(const SimResult& result);
// Takes every result out under the result lock, in the order they were pushed.
std::vector<SimResult> gf_takeSimResults();
// Empties the results (the restart's reset); 256 reserved.
void gf_resetSimResults();

}  // namespace amb
