#pragma once
// What other subsystems use of the airports and static parking subsystem.

#include "core/airport_data.hpp"
#include "core/strings.hpp"
#include "airports/apf_file.hpp"  // the airport-file writer the scenery scan uses
#include "airports/stand.hpp"
#include "core/geometry.hpp"
#include "records/parking.hpp"
#include "traffic/services.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <optional>
#include <utility>
#include <vector>

namespace amb {

struct Act;
struct AcData;
struct LiveAc;

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

// The park airports, most recent first ("my_park_airports.txt"). Changed on the worker only; read
// there and by the window's automatic range: every access holds g_parkAirportsMutex.
extern std::vector<ParkAirport> g_parkAirports;
extern std::mutex g_parkAirportsMutex;
// Writes the first park airport's line into "my_park_airports.txt" (the other lines stay), sorted.
// Worker only.
void lf_writeMyParkAirports();

// The name of the nearest stand within 55 m of the position while the user aircraft is on the
// ground; empty when none. Worker only (it reads g_stands): other threads post their requests.
std::string gf_standNameAt(double latitude, double longitude);

// The user's reserved stand at the park airport; empty when none. Guarded: the window reads it.
std::string gf_reservedStandName();
void gf_setReservedStandName(std::string name);
extern std::string g_reservedStandName;

// The airport list "airports_p3d.xml" in the input folder: read once per process into g_airports,
// sorted by code. A missing or unreadable list, or an airport without a number in `alt`, `lat` or
// `lon`, throws amb::UserErrorException 88 with the reason ("invalid stod argument"); the next call
// then reads again from the start. True when the list holds an airport.
extern std::vector<AirportData> g_airports;
extern std::uint8_t g_airportsRead;
bool lf_readAirports();
// Sets the list (as read, or a test's own) and indexes it for the searches by position and by code.
// A list changed otherwise is searched whole, airport by airport.
void gf_setAirportList(std::vector<AirportData> airports);
// The airport with exactly this code (no case folding).
std::optional<AirportData> gf_findAirport(const std::string& code);
// The nearest airport within 5 nm of the position; when an airport met earlier is its neighbour,
// the one of the two whose airport file has the stand nearer to the position.
std::optional<AirportData> gf_closestAirport(const LatLon& position);
// The airport of the list nearest to a position, when one lies within withinNm (no stand files read,
// nothing logged: the engine asks it for aircraft coming in to land).
std::optional<AirportData> gf_airportNear(const LatLon& position, double withinNm);
// The first airport of the list whose IATA or ICAO code is this one (the feed names an aircraft's
// destination by either); none for an empty code.
std::optional<AirportData> gf_airportCalled(const std::string& code);
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
// Reads the file and the airports of the my_thirdparty folder; true when no line named an unknown
// airport and nothing failed.
bool lf_readMyParkAirports();
// Moves the airport to the front of the list, adding it (with the position) when it is new. Worker
// only; the window posts a new destination with gf_requestParkAirportToFront.
void gf_parkAirportToFront(const std::string& code, std::pair<double, double> position);
// Any thread: the airport goes to the front of the list at the worker's next tick.
void gf_requestParkAirportToFront(const std::string& code, std::pair<double, double> position);
// The worker's side of what other threads posted: a destination for the front of the list, and the
// stand the user aircraft stood on when a new flight began (it becomes the reserved stand).
void gf_applyParkAirportRequests();
// A destination waits for gf_applyParkAirportRequests. Any thread.
bool gf_parkAirportRequestPending();
// Reads the file again and, with checkStand, follows a changed reserved stand of the park airport;
// false when the reading failed, else true with a message for the status line.
bool gf_checkParkAirports(bool checkStand, std::string& message);
// The position of the first park airport; empty when the list is empty. Any thread.
std::optional<std::pair<double, double>> gf_firstParkAirportPosition();
// The user aircraft stands at the loaded park airport's stand (empty when at none): the airport goes
// to the front of the list with that stand as its reserved stand, and the file is written when
// something changed.
void gf_noteUserStandAtParkAirport(const AirportData& airport, const std::string& standName);

// The park-airport check: picks the park airport from the user aircraft's position, loads its file
// and stands, starts static parking, and leaves the airport when it goes out of sight. With
// showCalculating (the first call of a main loop) the calculation is announced.
void gf_checkForParkAirportUpdates(bool showCalculating);

// Static parking.
// Locks the parking controls while static parking is planned, adjusted or parked (the first half of
// a renewal), and unlocks them once the plan is parked.
void gf_lockParkingControls();
void gf_unlockParkingControls();
// The second half of a renewal: plans static parking anew.
void gf_adjustParking();
// True while the static-parking plan holds nothing.
bool gf_staticPlanEmpty();
// Parked acts in the simulator; with showMean, their mean parked time goes to the window.
std::int32_t gf_countParkedAc(bool showMean);
// Counts a parked act in the simulator (true); with add, its half hours at the stand up to now go
// into total.
bool gf_addParkedHalfHours(std::uint64_t& total, WeekSlot now, bool add, const Act& act);
// Clears the plan, removes the static parked acts and the live aircraft standing on the ground, and
// ends the park airport (its learned file is saved). Worker, or the exit thread after the worker
// has returned.
void gf_removeAllParkedAc();
// A per-airport setting changed since the park airport's file was loaded: its learned file is saved
// when the airport is left. Set by the window, read and cleared on the worker.
extern std::atomic<std::uint8_t> g_parkParameterChanged;
// The loaded park airport's learned file was not read whole and is kept as it is: what changes at
// this visit, its per-airport settings among them, is not saved into it. Any thread may ask.
bool gf_learnedFileKept();

// ---- Stands and what the live engine asks of them (worker only) ----

// The stands of the park airport. Read and written on the worker thread; the worker holds the
// engine's lock while it fills or empties the list, since the exit thread's engine services mark
// stands free.
extern std::vector<Stand> g_stands;

// The first stand with that name; g_stands.end() when none.
std::vector<Stand>::iterator gf_findStandByName(const std::string& name);
// The nearest free stand for the aircraft within maxNm of the position, a too-small one only within
// 20 m (and then enlarged to the aircraft); with tryOptions and none that near, the nearest stand
// within 85 m whose learned options fit the aircraft. g_stands.end() when none, and when the
// stand's kind does not suit the aircraft (helipads only for rotorcraft, and the other way round).
std::vector<Stand>::iterator gf_findStandForAct(double latitude, double longitude, const AcData& aircraft,
                                                double maxNm, bool tryOptions);
// Records that the aircraft really stood at the stand in the half hour; true when the stand's
// learned data changed. With useTracking a gap since the aircraft's last visit is filled in;
// stopTracking ends its tracking at the stand.
bool lf_addRealParkPosOption(std::uint32_t standId, const AcData& aircraft, bool useTracking, WeekSlot time,
                             bool stopTracking);
// A live aircraft's stream ended near the park airport without a stand: a soft option is learned at
// a stand that suits it. notClimbOut: its ground phase is not 4 (Airborne, the climb-out); a
// climbing aircraft counts only below 2500 ft above the ground.
void lf_learnSoftParkPos(const LiveAc& aircraft, bool notClimbOut);
// Parks the next planned static aircraft (its creation goes to the parked creation queue).
void lf_parkStatic();
// The most parked aircraft the stands take; 0 and below: no limit for live aircraft.
extern std::int32_t g_maxParkCount;
// Removes the live aircraft with the hexid when it is in the simulator; its place in g_liveAcs, end
// when none.
std::vector<LiveAc>::iterator gf_removeLiveAcMaxPark(std::uint32_t hexid);
// The aircraft's second and coupled callsign from the first learned option of this weekday around
// the half hour that carries its callsign and a coupled one.
void lf_searchForCoupledCsAroundThisTime(WeekSlot time, AcData& aircraft);
// Removes the first static parked act in the simulator that the live aircraft moving on the ground
// would touch (within 1.1 times both half wing spans); its place in g_parkedActs, end when none.
std::vector<Act>::iterator gf_removeStaticForCollision(LiveAc live);

// Back to no park airport: the park airport, its figures in the window, the reserved-stand and
// parked lists and the static plan (the restart's reset).
void gf_resetParkState();

}  // namespace amb
