#pragma once
// Stand learning from live traffic, inside the airports subsystem: the soft-option steps, the stand
// choice for them and the state they keep. What the engine calls is in airports/services.hpp.

#include "airports/services.hpp"
#include "records/aircraft.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace amb {

// The half hour at which a soft option was last tried for an aircraft.
struct SoftSeen {
  std::uint32_t hexid = 0;
  std::uint32_t halfHour = 0;
};
extern std::vector<SoftSeen> g_softSeen;
// Soft learning fits the park airport's file (set by its load).
extern std::uint8_t g_softLearningAllowed;

// One stand a soft-stand search may choose (its index in g_stands): how many size steps its radius
// lies from the aircraft's size, and whether one of its learned options fits the aircraft (-1 until
// asked: the choice asks only the candidates it needs to).
struct StandCandidate {
  std::size_t stand = 0;
  std::int32_t steps = 0;
  std::int8_t fit = -1;
};

// A learned option still takes part in the searches (static parking sets options aside).
inline bool lf_optionInSearch(const ParkPosOption& option) { return option.id != 0; }

// Counts one change of the stands' learned data (g_standUpdates) and shows it.
void lf_countStandChange();
// The stand with that id; nullptr when none.
Stand* lf_standWithId(std::uint32_t standId);

// Records a soft option of the aircraft at the stand; true when the stand's learned data changed.
bool lf_addSoftParkPosOption(std::uint32_t standId, const AcData& aircraft, bool useTracking, WeekSlot time);
// Fills the half hours between the aircraft's last counted visit and now (at most 5 back), on the
// visit's option or, across midnight, on a new option of today; the visit's time becomes now.
void lf_fillStandGap(StandVisit& visit, WeekSlot now, Stand& stand, std::uint32_t kind, const AcData& aircraft);
// False when a soft option was tried for the aircraft less than 3 half hours ago; else the half hour
// is remembered (unless testOnly) and the answer is true.
bool lf_softRepeatAllowed(std::uint32_t hexid, WeekSlot now, bool testOnly);
// The stand at which a soft option of the aircraft is learned at this time; g_stands.end() when none
// suits. With retry, a small airport (10 stands or fewer) whose stands are all in use is searched
// again for the next half hour.
std::vector<Stand>::iterator lf_chooseSoftStand(WeekSlot time, const AcData& aircraft, bool retry);
// Forgets the answer gf_standNameAt keeps for its last position.
void gf_forgetStandNameCache();
// Back to start values: no soft tries remembered, soft learning not allowed, no cached answer.
void gf_resetStandLearning();

}  // namespace amb
