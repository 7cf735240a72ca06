#pragma once
// What other subsystems use of the airports and static parking subsystem.

#include "core/airport_data.hpp"
#include "airports/apf_file.hpp"  // the airport-file writer the scenery scan uses
#include "airports/stand.hpp"
#include "core/geometry.hpp"
#include "records/parking.hpp"
#include "traffic/services.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>
#include <optional>
#include <utility>
#include <vector>

namespace amb {

// The current park airport (empty code when none). Written by the airports subsystem, read by the
// traffic reader and the engine on their own threads: both sides hold g_parkAirportMutex.
extern AirportData g_parkAirport;
extern std::mutex g_parkAirportMutex;
// Set once the current park airport's file has been read.
extern std::atomic<std::uint8_t> g_parkAirportLoaded;
// Static parking is under way; its controls are disabled meanwhile.
extern std::atomic<std::uint8_t> g_parkingLock;

// A copy of the park airport taken under its lock.
AirportData gf_parkAirportSnapshot();

// The park airports, most recent first ("my_park_airports.txt"). Read and changed by the worker and
// by the simulator link's thread: both sides hold g_parkAirportsMutex.
extern std::vector<ParkAirport> g_parkAirports;
extern std::mutex g_parkAirportsMutex;
// Rewrites "my_park_airports.txt" from g_parkAirports; takes g_parkAirportsMutex itself.
void lf_writeMyParkAirports();

// The name of the nearest stand within 55 m of the position while the user aircraft is on the
// ground; empty when none.
std::string gf_standNameAt(double latitude, double longitude);

// The user's reserved stand at the park airport; empty when none. Guarded: the window reads it.
std::string gf_reservedStandName();
void gf_setReservedStandName(std::string name);

// The airport list "airports_p3d.xml" in the input folder: read once per process into g_airports,
// sorted by code. A missing or unreadable list, or an airport without a number in `alt`, `lat` or
// `lon`, throws amb::UserErrorException 88 with the reason ("invalid stod argument"); the next call
// then reads again from the start. True when the list holds an airport.
extern std::vector<AirportData> g_airports;
extern std::uint8_t g_airportsRead;
bool lf_readAirports();
// The airport with exactly this code (no case folding).
std::optional<AirportData> gf_findAirport(const std::string& code);
// The nearest airport within 5 nm of the position; when an airport met earlier is its neighbour,
// the one of the two whose airport file has the stand nearer to the position.
std::optional<AirportData> gf_closestAirport(const LatLon& position);
// Text to double like std::stod, its errors carrying the texts "invalid stod argument" and
// "stod argument out of range".
double gf_stod(const std::string& text);
// Back to an unread, empty list.
void gf_resetAirportList();

// The distance in nm from the position to the nearest stand of the airport's file (its name into
// standName); 100.0 when there is none or the file cannot be had.
double gf_readDestApfForClosestStand(const std::string& code, const LatLon& position, std::string& standName);
// True when the server's archived stock file of the airport is fit for offline learning.
bool gf_checkOfflineLearning(const std::string& code);

// The automatic injection range: 10 nm on the ground; above AUTO_RANGE_ABOVE_HEIGHT 100 nm; above
// AIRPORT_HEIGHT 40 nm; else by the distance to the first park airport.
void gf_autoRange();
std::int32_t lf_autoRangeNm(bool onGround, double heightFt, std::int32_t aboveHeightFt, std::int32_t airportHeightFt,
                            double distanceNm);

// The user's park airports ("my_park_airports.txt", most recent first).
// Reads the file; true when the park airports and their stands are consistent.
bool lf_readMyParkAirports();
// Moves the airport to the front of the list, adding it (with the position) when it is new.
void gf_parkAirportToFront(const std::string& code, std::pair<double, double> position);
// Reads the file again and follows a changed reserved stand; true when it left a message.
bool gf_checkParkAirports(bool reread, std::string& message);
// The position of the first park airport; empty when the list is empty.
std::optional<std::pair<double, double>> gf_firstParkAirportPosition();

// The park-airport check: picks the park airport from the user aircraft's position, loads its file
// and stands and starts static parking. True on the first call of a main loop.
void gf_checkForParkAirportUpdates(bool first);

// Static parking.
// The first half of a renewal: locks the parking controls.
void gf_lockParkingControls();
// Static parking is done: the parking controls are enabled again.
void gf_unlockParkingControls();
// The second half: plans static parking anew.
void gf_adjustParking();
// True while the static-parking plan holds nothing.
bool gf_staticPlanEmpty();
// Parked acts in the simulator; with the flag set, their mean parked time goes to the window.
std::int32_t gf_countParkedAc(bool showMean);
// Counts the act when it is in the simulator (or being removed) and, with add, adds its half hours at
// the stand up to now to the total; true when it counts.
bool gf_addParkedHalfHours(std::uint64_t& total, WeekSlot now, bool add, const Act& act);
// Clears the plan and removes the static parked acts and the live aircraft standing on the ground.
void gf_removeAllParkedAc();

// ---- Stands and what the live engine asks of them ----

struct Act;
struct AcData;


// The stands of the park airport. Read and written on the worker thread.
extern std::vector<Stand> g_stands;

// The stand with that name; g_stands.end() when none.
std::vector<Stand>::iterator gf_findStandByName(const std::string& name);
// The nearest free stand for the aircraft within maxNm of the position; g_stands.end() when none.
std::vector<Stand>::iterator gf_findStandForAct(const AcData& aircraft, double latitude, double longitude,
                                                double maxNm, bool arrivedByLanding);
// Records that the aircraft really stood at the stand in the slot; true when recorded.
bool lf_addRealParkPosOption(std::uint32_t standId, const AcData& aircraft, bool live, const WeekSlot& slot,
                             bool fromSpawn);
// A stream that ended on the ground near the park airport without a stand; onGround tells that the
// aircraft's phase was not Airborne.
void lf_learnSoftParkPos(const Act& aircraft, bool onGround);
// Parks the next planned static aircraft (its creation goes to the parked creation queue).
void lf_parkStatic();
// The most parked aircraft the stands take; 0 and below: no limit for live aircraft.
extern std::int32_t g_maxParkCount;
// Removes the live aircraft with the hexid when it is in the simulator; its place in g_liveAcs, end
// when none.
std::vector<LiveAc>::iterator gf_removeLiveAcMaxPark(std::uint32_t hexid);
// Looks through the stands' learned uses for the aircraft's callsign around the half hour.
void lf_searchForCoupledCsAroundThisTime(const WeekSlot& slot, AcData& aircraft);
// Removes the first static parked act in the simulator that the live aircraft moving on the ground
// would touch (within 1.1 times both half wing spans); its place in g_parkedActs, end when none.
std::vector<Act>::iterator gf_removeStaticForCollision(LiveAc live);

// Back to no park airport: the park airport, its figures in the window, the reserved-stand and
// parked lists and the static plan (the restart's reset).
void gf_resetParkState();

}  // namespace amb
