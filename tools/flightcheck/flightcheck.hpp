#pragma once
// What a pilot would see wrong in the flown AI tracks, measured from outside: the flown tracks of the
// simulator's objects (the simulator double's trace or a virtual-time replay) against the positions
// the feed reported for the same aircraft. Per aircraft and in all:
// - airborne seconds flown with the nose more than 45 degrees off the course actually flown;
// - seconds turning faster than 15 degrees a second above 60 kt;
// - seconds flown faster than 1.3 x the aircraft's highest reported ground speed + 30 kt;
// - reversals on the ground: heading changes faster than 30 degrees a second above 30 kt;
// - reported positions the engine dropped although the aircraft's next records continue from them;
// and whether every take-off roll in the records (ground speed rising through 60 kt on the ground)
// is rolled by one of the aircraft's objects.
//
// The flown tracks are resampled on a grid (gridSeconds); each grid interval counts once toward the
// seconds of a measure. Speed, course and turn rate are taken over windowSeconds centred on the
// interval (at least the interval itself), the heading at its middle.

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace amb::flightcheck {

// A flown point: seconds on the track's clock, degrees, feet, the true heading in degrees.
struct FlownPoint {
  double t = 0;
  double latitude = 0;
  double longitude = 0;
  float altitude = 0;
  float headingDeg = 0;
  bool onGround = false;
};

// One simulator object's track; hexid 0 when no reported aircraft is known for it.
struct FlownTrack {
  std::uint32_t objectId = 0;
  std::uint32_t hexid = 0;
  std::string callsign;
  std::vector<FlownPoint> points;  // in time order
};

enum class Taken : std::uint8_t { Unknown, Yes, No };

// One position the feed reported (and queued for the engine), on the reported clock: the aircraft is
// due there `Input::delaySeconds` later on the flown clock.
struct Reported {
  double t = 0;
  double latitude = 0;
  double longitude = 0;
  double altitude = 0;
  double speedKt = 0;
  bool airborne = false;
  Taken taken = Taken::Unknown;  // whether the engine took it into the aircraft's buffer
};

struct ReportedAircraft {
  std::string callsign;
  double highestSpeedKt = 0;        // over every record of the aircraft, queued or not
  std::vector<Reported> positions;  // in time order
};

struct Input {
  std::vector<FlownTrack> tracks;
  std::map<std::uint32_t, ReportedAircraft> reported;  // by hexid
  // Flown clock = reported clock + delaySeconds at the due time of a position.
  double delaySeconds = 30;
};

struct Options {
  double gridSeconds = 0.1;
  double windowSeconds = 0;    // 0: the grid interval itself
  double maxGapSeconds = 3;    // flown points farther apart are not measured between
  double offNoseDeg = 45;
  double courseAboveKt = 30;   // slower, the course flown is not defined and the nose is not measured
  double fastTurnDegPerS = 15;
  double fastTurnAboveKt = 60;
  double overspeedFactor = 1.3;
  double overspeedAddKt = 30;
  double groundTurnDegPerS = 30;
  double groundTurnAboveKt = 30;
  double rollKt = 60;          // a take-off roll passes this ground speed on the ground
  // A dropped position counts when it lies at least this far from the last position taken (nearer
  // ones are repeats and the feed's near-duplicates) ...
  double droppedAwayNm = 0.25;
  // ... and the next distinct record, within nextWithinSeconds, lies nearer to it than to the last
  // position taken and within what 1.5 x the higher reported speed + 50 kt covers, plus 0.05 nm.
  double nextWithinSeconds = 120;
  // Where the engine's buffer is not known (a trace), a position counts as taken when one of the
  // aircraft's objects passed within passNm of it from passSeconds before its due time to
  // lateSeconds after it, and not before it passed the position taken before (an aircraft late on
  // its stream passes its positions late, in their order); dropped when an object flew at its due
  // time and none passed it so.
  double passNm = 0.5;
  double passSeconds = 60;
  double lateSeconds = 300;
  // The bounds of check(): at most this share of airborne seconds off the nose, no aircraft more than
  // maxOffNoseSeconds off it, no run of fast turning of maxTurnRunSeconds or more, no run too fast of
  // maxOverspeedRunSeconds or more, no reversal on the ground, no dropped position confirmed, every
  // take-off roll rolled.
  double maxOffNoseShare = 0.01;
  double maxOffNoseSeconds = 10;
  double maxTurnRunSeconds = 3;
  double maxOverspeedRunSeconds = 5;
  // Take-off rolls due this close to the start or the end of the flown clock are not checked (the
  // aircraft may not yet, or no longer, be flown).
  double rollMarginSeconds = 60;
};

struct AircraftFigures {
  std::uint32_t hexid = 0;
  std::string callsign;
  std::size_t objects = 0;
  double seconds = 0;           // measured
  double airborneSeconds = 0;
  double offNoseSeconds = 0;
  double worstOffNoseDeg = 0;
  double worstOffNoseKt = 0;    // the speed flown then
  double fastTurnSeconds = 0;
  double longestFastTurnSeconds = 0;
  double fastestTurnDegPerS = 0;  // above fastTurnAboveKt
  double highestReportedKt = 0;
  double overspeedBoundKt = 0;  // 0: no reported speed
  double overspeedSeconds = 0;
  double longestOverspeedSeconds = 0;
  double highestFlownKt = 0;
  std::size_t groundReversals = 0;
  double groundReversalSeconds = 0;
  double fastestGroundTurnDegPerS = 0;  // above groundTurnAboveKt
  std::size_t droppedConfirmed = 0;
  bool rolledOnGround = false;  // an object of it moved at rollKt or more on the ground
};

struct Departure {
  std::uint32_t hexid = 0;
  std::string callsign;
  double rollTime = 0;  // reported clock: the first ground record at rollKt or more
  bool hasObject = false;
  bool rolled = false;
};

struct Figures {
  std::vector<AircraftFigures> aircraft;  // by callsign, then hexid
  double airborneSeconds = 0;
  double offNoseSeconds = 0;
  double fastTurnSeconds = 0;
  double overspeedSeconds = 0;
  std::size_t groundReversals = 0;
  double groundReversalSeconds = 0;
  std::size_t droppedConfirmed = 0;
  std::size_t aircraftOffNose = 0;         // off the nose at all
  std::size_t aircraftOffNoseOver = 0;     // more than maxOffNoseSeconds off the nose
  std::size_t aircraftFastTurnRun = 0;     // a fast-turn run of maxTurnRunSeconds or more
  std::size_t aircraftOverspeedRun = 0;    // an overspeed run of maxOverspeedRunSeconds or more
  std::vector<Departure> departures;       // the take-off rolls checked
  std::size_t departuresNotRolled = 0;
  double offNoseShare() const { return airborneSeconds > 0 ? offNoseSeconds / airborneSeconds : 0; }
};

Figures measure(const Input& input, const Options& options = {});

// The lines of the bounds that fail, empty when all hold.
std::vector<std::string> check(const Figures& figures, const Options& options = {});

// The report for a person: every aircraft that flew, the figures in all, the worst five of each
// measure, the counts and the take-off rolls.
void print(std::ostream& out, const Figures& figures, const Options& options, bool perAircraft = true);

// One aircraft (a callsign or a decimal hexid) in time order on the flown clock: its reported
// positions at their due times (taken or dropped) and its flown intervals, one a second and every one
// a measure counts (marked NOSE, TURN, FAST, REVERSAL), for a person looking into a figure.
void printTimeline(std::ostream& out, const Input& input, const Options& options, std::string_view who);

// ---- The simulator double's trace ----

// The objects of a trace ("time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,
// on_ground,detail"): a track per created object with its position rows, the callsign from its
// "created" row's detail ("title|callsign"). Objects whose callsign ends in '*' (static parked
// aircraft) are left out. Throws std::runtime_error on a file that cannot be read or is no trace.
std::vector<FlownTrack> readTrace(std::istream& in);

// Gives each track the hexid of the reported aircraft flying under its callsign (a trailing '_' of
// either ignored); among several, the one whose positions lie nearest to the track's first point.
void matchHexids(std::vector<FlownTrack>& tracks, const std::map<std::uint32_t, ReportedAircraft>& reported);

// The delay (flown clock minus reported clock) at which the airborne reported positions lie nearest
// to the flown tracks (least median distance), searched from `from` to `to` seconds; nullopt when no
// position meets a track.
std::optional<double> fitDelay(const Input& input, double from, double to);

// A position not taken counts as dropped only where an object of its aircraft flew at its due time:
// one of an aircraft the engine did not show then (not created yet, removed, or never shown) is no
// position a pilot saw dropped, and becomes unknown, as inferTaken judges a trace.
void keepDropsOfFlownAircraft(Input& input);

// Marks the reported positions taken or dropped from the flown tracks (see Options::passNm) where the
// engine's buffer is not known; a position stays unknown when no object of its aircraft flew at its
// due time, or when the flown clock ends less than passSeconds after it.
void inferTaken(Input& input, const Options& options = {});

}  // namespace amb::flightcheck
