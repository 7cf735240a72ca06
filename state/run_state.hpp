#pragma once
// The state of a service run that the shell shares with the other subsystems: the report count and
// the time slot of the main loop, the list of new arrivals that the engine fills, and the request
// flags through which the window (and the periodic steps) hand work to the worker thread.
//
// Threading: the request flags are atomic bytes set by the window thread and taken up and cleared by
// the worker's periodic steps. g_newArrivals belongs to the worker thread alone.

#include "records/blocks.hpp"

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>

namespace amb {

// User-aircraft reports counted in this run (one a second while the simulation runs).
extern std::atomic<std::int32_t> g_reportCount;
// {weekday, half hour} of the traffic time as WeekSlot::packed(), kept by the main loop.
extern std::atomic<std::uint64_t> g_weekSlot;
// Hexids of live aircraft the engine has just spawned, landed or parked; checked one per report.
extern std::deque<std::uint32_t> g_newArrivals;
// The first half of a static-parking renewal has run; the park-airport check pauses meanwhile.
extern std::atomic<std::uint8_t> g_renewalUnderWay;
// The tick has noticed that the simulation stopped.
extern std::atomic<std::uint8_t> g_flightNotRunning;

// Requests of the window, taken up by the worker.
extern std::atomic<std::uint8_t> g_flushStaticRequest;
extern std::atomic<std::uint8_t> g_rereadRequest;
extern std::atomic<std::uint8_t> g_rematchRequest;
extern std::atomic<std::uint8_t> g_parkingRenewalRequest;
extern std::atomic<std::uint8_t> g_blockChangeRequest;
// The nav lights of the aircraft at stands follow NAV_LIGHTS_WHILE_PARKED, and the live limit
// MAX_LIVE is applied. Both walk the engine's lists, so the worker does them at its next report.
extern std::atomic<std::uint8_t> g_navLightsRequest;
extern std::atomic<std::uint8_t> g_maxLiveRequest;

// The user's own range: LATERAL_RANGE as the start-up read it or the user set it, kept while AUTO_RANGE
// is on; put back when it goes off, and by a park airport whose learned settings have it off.
extern std::atomic<std::int32_t> g_manualRadiusNm;
// The scans' job limit, taken at every start-up.
extern std::atomic<std::uint32_t> g_hardwareConcurrency;
// The simulator's stock "Scenery" folder, set by the start-up before the scans run.
extern std::filesystem::path g_stockSceneryPath;

// Engine cycles since the start of the service run; read by the traffic reader for due cycles.
extern std::atomic<std::int32_t> g_engineCycle;
// Traffic records are queued only while this is set; written and read under g_trafficQueueMutex.
extern std::uint8_t g_trafficQueueOpen;
// The engine's copy of the user aircraft block, taken once per cycle on the worker thread.
extern UserAcBlock g_engineUserAc;

// Back to start values (the restart's reset and tests).
void gf_resetRunState();

}  // namespace amb
