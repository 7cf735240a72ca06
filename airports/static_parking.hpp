#pragma once
// Static parking: which learned uses of the park airport's stands are shown as parked AI aircraft at
// this weekday and half hour, how many, with which callsign, and their upkeep as time moves on
// (renewal, callsign swaps, removals). Everything here runs on the worker thread (main loop, engine
// cycle, periodic steps) unless a function says otherwise; the engine's lists are walked under the
// engine's lock.

#include "airports/services.hpp"
#include "airports/stand_learning.hpp"
#include "core/strings.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace amb {

// One stand chosen by a plan.
struct PlanResult {
  std::uint32_t standId = 0;
  std::uint32_t offset = 0;  // half hours back from now at which the option was found; 0: now
  std::string airline;
  std::string type;
  std::string callsign;         // the option's callsign
  std::string coupledCallsign;  // the option's coupled callsign
  std::string registration;
  std::uint8_t staying = 0;  // still there in the next half hour, or no coupled callsign
  // The time at the stand the parked aircraft takes; none: now less the offset. An aircraft that
  // comes back under its coupled callsign keeps the time of the one it replaces.
  std::optional<WeekSlot> standTime;
};

// The plan, parked from its back one aircraft per engine step.
extern std::vector<PlanResult> g_staticPlan;
// Counter of made-up callsigns and of the hexids of parked acts: (previous + 1) mod 10000.
extern std::uint32_t g_staticSerial;

// A parked act kept by an adjustment.
struct StaticPlan {
  std::string callsign;
  std::string secondCallsign;
  std::string coupledCallsign;
  std::string registration;
  std::string airline;
  std::string type;
  std::uint32_t weekday = 1;  // its time at the stand
  std::uint32_t halfHour = 0;
  std::uint32_t standId = 0;
  std::uint8_t leaving = 0;  // its option ends with this half hour
};
extern std::vector<StaticPlan> g_keptParked;

// A parked act to remove.
struct ParkRemoval {
  std::string callsign;
  std::uint32_t standId = 0;
};
extern std::vector<ParkRemoval> g_parkRemovals;

// The half-hour offsets the last plan reached: real (0 up) and soft (-1 when none was searched).
extern std::int32_t g_realFit;
extern std::int32_t g_softFit;

// ---- The parking lock ----
// Sets g_parkingLock and disables the nine parking controls; the window shows " active".
void gf_lockParkingControls();
// Clears the lock, sets the minutes to the next renewal to 19 and enables the controls again.
void gf_unlockParkingControls();

// ---- Time at the stand ----
// now less n half hours (at most 47), on the previous weekday when that reaches back over midnight.
WeekSlot gf_halfHoursBefore(WeekSlot now, std::uint32_t n);
// a is later in the week than b; weekday 1 counts as after weekday 7.
bool gf_laterInWeek(WeekSlot a, WeekSlot b);

// ---- Counts ----
// The parked acts in the simulator (in it, or being removed); with showMean and WEEK off, their mean
// time at the stand in hours goes to the window.
std::int32_t gf_countParkedAc(bool showMean);
// Counts one act when it is in the simulator or being removed; with add, adds the half hours from
// its time at the stand to now (none when now is earlier). True when the act counts.
bool gf_addParkedHalfHours(std::uint64_t& total, WeekSlot now, bool add, const Act& act);
// Marks the stand taken by the plan and its overlapping stands blocked.
void gf_planStand(Stand& stand);

// ---- Loading and planning ----
// Empties the stands and loads the park airport's file (and its learned file); records the user's
// stand as the reserved stand when the user stands at one. Empty on success, else the message.
std::string lf_readParkedFile();
// How many stands to fill; shown in the window and kept as the maximum park count.
std::int32_t gf_staticParkCount();
// Plans static parking for now and locks the parking controls while the plan is parked.
void lf_startStaticParking();
void lf_planRealThenSoft(WeekSlot now, std::int32_t wanted, std::int32_t planned);
void lf_planPositions(WeekSlot now, std::int32_t wanted, std::int32_t planned, std::uint32_t kind);
// With RANDOM on shuffles the work list; then drops its last `surplus` records when it has that many.
void lf_shuffleAndTrim(std::vector<PlanResult>& work, std::int64_t surplus);
// Searches half hour by half hour back from now; 1 when the wanted count of taken stands was reached
// (the last step's finds stay in work).
std::int32_t lf_searchParkPositions(WeekSlot now, std::uint32_t kind, std::int32_t wanted,
                                    std::vector<PlanResult>& work);
// One half-hour step of the search: at most one option per free stand goes into work.
void lf_searchStands(WeekSlot now, std::uint32_t kind, std::uint32_t offset, std::vector<PlanResult>& work);
// The user's reserved stand and the stand under the user aircraft are kept free.
void lf_markReservedStands();
// Logs the traffic time and returns the time the main loop keeps.
WeekSlot lf_logTrafficTime();
// Parks the next planned aircraft: its parked act and its creation request.
void lf_parkStatic();
// The callsign of a static aircraft: its arrival callsign while it stays, else its coupled one, with
// a '*' appended.
std::string lf_detcs(const PlanResult& result);
std::string lf_staticCallsign(std::string callsign);

// An option set aside by the plan takes part in no further search until the next adjustment; its id
// and its place in the learned file stay.
bool gf_optionSetAside(std::uint32_t standId, std::uint32_t optionId);

// ---- Upkeep ----
struct ReviewContext {
  std::vector<PlanResult>& plan;
  WeekSlot now;
};
void lf_reviewParked(WeekSlot now);
void lf_reviewParkedAc(const ReviewContext& context, const Act& act);
void lf_keepOrReplace(const Act& act, const ReviewContext& context, std::vector<PlanResult>::iterator result);
struct LeavingContext {
  StaticPlan& kept;
  WeekSlot now;
  const std::string& callsign;  // the kept aircraft's callsign less its '*'
  const Stand& stand;
};
// True when the option is the kept aircraft's (then its leaving flag is set from the option).
bool lf_markLeaving(const LeavingContext& context, const ParkPosOption& option);

// Every set-aside mark cleared (the options take part again).
void lf_clearSetAside();
// MAX_LIVE as it stood before the park airport was loaded (the park airport's learned file may set
// its own); taken once, empty when no park airport was loaded since.
std::optional<std::int32_t> lf_takeUserMaxLive();

// Back to start values (tests): the plan, the kept and removal lists, the serial, the fits, the lock.
void gf_resetStaticParking();

}  // namespace amb
