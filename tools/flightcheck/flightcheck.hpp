#pragma once
// What a pilot would see wrong in the flown AI tracks, measured from outside: the flown tracks of the
// simulator's objects (the simulator double's trace or a virtual-time replay) against the positions
// the feed reported for the same aircraft. Per aircraft and in all:
// - airborne seconds flown with the nose more than 45 degrees off the course actually flown;
// - seconds turning faster than 15 degrees a second above 60 kt;
// - seconds flown faster than 1.3 x the aircraft's highest reported ground speed + 30 kt (in the air, or the
//   speed its positions imply over the last minute where that is faster);
// - reversals on the ground: heading changes faster than 30 degrees a second above 30 kt;
// - reported positions the engine dropped although the aircraft's next records continue from them;
// - aeroplanes standing still aloft (below 20 kt more than 100 ft above the field) and flying slower
//   than 60 % of their slowest reported airborne speed; seconds below 40 kt while the reported leg
//   is flown at more than 100 kt; and flying slower than 60 % of the speed its records' positions
//   imply over the last minute;
// - aeroplanes turning round (through more than 180 degrees within a minute) where the tracks their
//   records report do not;
// - turns faster than a coordinated turn at the category's bank allows (and at a fixed 35 degrees);
// - porpoising (the vertical speed reversing three times within 40 s where the records' altitudes
//   do not swing), vertical speeds beyond 6,000 ft/min, and points below the ground;
// - every arrival the records land at an airport of the list, or end in the air above: when and
//   where its object touches down against the records (the runway as information), whether it
//   stays down, how slowly it flies in the flare, and whether it rolls out faster than they slow;
// - objects removed while the feed still reports their aircraft and never created again, and those
//   removed in the air while the feed sent a new position within the last minute;
// and whether every take-off roll in the records (ground speed rising through 60 kt on the ground)
// is rolled by one of the aircraft's objects.
//
// The flown tracks are resampled on a grid (gridSeconds); each grid interval counts once toward the
// seconds of a measure. Speed, course and turn rate are taken over windowSeconds centred on the
// interval (at least the interval itself), the heading at its middle, the vertical speed over
// vsWindowSeconds. "The field" under a point is the elevation of the nearest airport of the airport
// list, else the park airport's; a flown point stands on the ground when its object says so or when
// it is no higher than the field plus the object's reference height (Input::cgFt) and 0.5 ft.

#include "core/geometry.hpp"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <limits>
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
  int category = -1;  // the engine's aircraft category (Light ... Rotorcraft); -1 when not known
  // When the object was created and removed (flown clock); NaN when not seen.
  double createdAt = std::numeric_limits<double>::quiet_NaN();
  double removedAt = std::numeric_limits<double>::quiet_NaN();
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
  double trackDeg = 0;           // the track reported with it; 0 when none
  // Still held back by the engine's intake, neither taken nor dropped, once a later record at another
  // position had reached it (known where Input::holdsKnown).
  bool heldPast = false;
  // The feed's own stamp where it differs from `t` (a replay queues lines as they arrive, late or
  // not): a record stamped before the last one taken is old news, not a position dropped. NaN: as `t`.
  double stamp = std::numeric_limits<double>::quiet_NaN();
};

// One line of the recording as it stands, queued by the feed or not (the feed drops the ground
// reports away from the park airport, so only these show where other airports' arrivals touch down).
struct Recorded {
  double t = 0;  // reported clock
  double latitude = 0;
  double longitude = 0;
  double altitude = 0;  // feet, as recorded
  double speedKt = 0;
  double trackDeg = 0;  // as recorded; 0 when none
};

struct ReportedAircraft {
  std::string callsign;
  int category = -1;                // from the recorded type, as the engine derives it; -1: not known
  double highestSpeedKt = 0;        // over every record of the aircraft, queued or not
  std::vector<Reported> positions;  // in time order
  std::vector<Recorded> records;    // every recorded line, in time order
};

// A runway of the airport list's airports: its two ends (idents and positions), metres.
struct Runway {
  std::array<std::string, 2> ends;
  std::array<LatLon, 2> at;
  double lengthM = 0;
  double widthM = 0;
};

struct Airport {
  std::string code;
  LatLon at;
  double elevationFt = 0;
  std::vector<Runway> runways;
  // Known only by the ends of its runways (a small field, a seaplane base, a heliport), not a medium
  // or large airport of the airports table.
  bool runwaysOnly = false;
  std::string iata{};  // empty when none
};

struct Input {
  std::vector<FlownTrack> tracks;
  std::map<std::uint32_t, ReportedAircraft> reported;  // by hexid
  // Flown clock = reported clock + delaySeconds at the due time of a position.
  double delaySeconds = 30;
  // The airport list (the nearest one gives the field under a point) and the park airport's elevation
  // (the field where the list is empty).
  std::vector<Airport> airports;
  double parkElevationFt = 0;
  // How high above the ground an object's flown altitude stands when it is on the ground (the
  // static CG the simulator answers).
  double cgFt = 0;
  // The park airport (the feed reports aircraft on the ground within 5 nm of it, and elsewhere only
  // their landing rolls), and the user with the radius the program creates aircraft within; unknown
  // when not set.
  std::optional<LatLon> park;
  std::optional<LatLon> user;
  double radiusNm = 0;
  // Whether the records' Reported::heldPast is known (a replay sees the intake's holds, a trace not).
  bool holdsKnown = false;
};

// The most bank of each aircraft category (Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft),
// degrees, as the category table gives it: the measures hold the engine to these figures, never to
// its own table, so that an engine banking beyond its category fails them.
inline constexpr std::array<double, 6> kCategoryBankDeg{40, 35, 30, 20, 90, 75};

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
  // position taken and within what 1.5 x the higher reported speed + 50 kt covers, plus 0.05 nm; in
  // the air it also moves on from it (it lies ahead of it along its own reported track, and more
  // than repeatedTrackNm off the track taken so far: the feed repeating a stretch of track confirms
  // nothing), and the dropped position's track could have been turned onto from the last one taken
  // (once trackPositions positions were taken) at the category's bank or standardRateDegPerS,
  // whichever is faster, in the time between them, with trackPlayDeg of play: a faster turn is
  // another sender's stale stream.
  // Bound: no airborne record dropped whose own reported track agrees, within agreeDeg, with its
  // course from the last distinct position taken, at least agreeLeastNm away from it (nearer, the
  // course says little, and a record not yet 450 m on along the same track repeats the last); and
  // none held past the next new position, where the holds are known.
  double agreeDeg = 45;
  double agreeLeastNm = 0.25;
  double nextWithinSeconds = 120;
  double repeatedTrackNm = 0.3;
  std::size_t trackPositions = 3;
  double trackPlayDeg = 30;
  double standardRateDegPerS = 3;
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

  // Standing still aloft: an aeroplane (not a helicopter) slower than stillKt more than stillAboveFt
  // above the field; bound: no spell of maxStillRunSeconds or more.
  double stillKt = 20;
  double stillAboveFt = 100;
  double maxStillRunSeconds = 3;
  // Slow flight: an aeroplane in the air slower than slowShare x its slowest reported airborne speed,
  // more than slowAboveFt above the field (not the flare, the landing roll or the lift-off) and not
  // in the first or last slowMarginSeconds of its object's track; bound: no spell of
  // maxSlowRunSeconds or more.
  double slowShare = 0.6;
  double slowAboveFt = 50;
  double slowMarginSeconds = 5;
  double maxSlowRunSeconds = 5;
  // Slow against the positions: the same in the air, where the speed its records' positions imply
  // over the paceSeconds before the interval is known: the distance along the distinct positions
  // (each at the due time it was first reported; airborne, and not dropped by the engine) due
  // within them, over the time between the first and last of them, at least paceLeastSeconds; or,
  // where less, the median of the speeds of the legs between them, each weighing its time (a jump
  // of the records, out to a stale position or a second sender's and back, lengthens the way by
  // kilometres the aircraft never flew). Bound: no spell slower than slowShare x that speed of
  // maxSlowRunSeconds or more.
  double paceSeconds = 60;
  double paceLeastSeconds = 10;
  // A leg between two positions faster than implausibleFactor x the higher of their reported speeds
  // + implausibleAddKt is no way flown (a second sender's position, a stale one): it counts neither in
  // the positions' speed nor in its time.
  double implausibleFactor = 3;
  double implausibleAddKt = 100;
  // Turn-rounds: an aeroplane's heading in the air turns through more than turnRoundDeg one way
  // (the signed turn, summed) within turnRoundSeconds, while the tracks its records report over
  // that span (those due within it and the one before and after, not dropped by the engine) differ
  // by less than turnRoundRecordsDeg. The next one is counted from where one was. Bound: none.
  double turnRoundDeg = 180;
  double turnRoundSeconds = 60;
  double turnRoundRecordsDeg = 90;
  // Crawling (counted, no bound): in the air slower than crawlKt while the reported leg, from one
  // distinct position to the next (at most paceGapSeconds apart), is flown faster than paceKt.
  double crawlKt = 40;
  double paceKt = 100;
  double paceGapSeconds = 60;
  // Turns against the bank: the heading turning faster than bankTurnFactor x the rate of a
  // coordinated turn (g tan(bank) / V at the speed flown) + bankTurnAddDegPerS; helicopters slower
  // than rotorTurnAboveKt are not measured. The bank is the category's (categoryBankDeg, by
  // category; 0 takes fixedBankDeg); the same is counted against fixedBankDeg for every aircraft.
  // Bound: no spell against the category's bank of maxBankTurnRunSeconds or more.
  double bankTurnFactor = 1.2;
  double bankTurnAddDegPerS = 0.5;
  double rotorTurnAboveKt = 60;
  std::array<double, 6> categoryBankDeg{};
  double fixedBankDeg = 35;
  double maxBankTurnRunSeconds = 3;
  // The vertical profile: vertical speeds over vsWindowSeconds. Porpoising: an aircraft's vertical
  // speed reverses (from beyond +reversalFtMin to beyond -reversalFtMin or back) porpoiseReversals
  // times within porpoiseSeconds where the records' own altitudes (at their due times, a record
  // repeating the altitude before it left out) do not swing: fewer than recordsSwings reversals of
  // recordsSwingFt or more from recordsSwingBeforeSeconds before the spell to
  // recordsSwingAfterSeconds after it; bound: none. Bound: no vertical speed beyond maxVsFtMin.
  double vsWindowSeconds = 3;
  double reversalFtMin = 400;
  double porpoiseSeconds = 40;
  int porpoiseReversals = 3;
  double recordsSwingFt = 100;
  int recordsSwings = 2;
  double recordsSwingBeforeSeconds = 60;
  double recordsSwingAfterSeconds = 10;
  double maxVsFtMin = 6000;
  // Bound: no flown point more than belowGroundFt below the simulated ground (Fields::groundAt).
  double belowGroundFt = 5;
  // Touchdowns. An arrival: an aeroplane's records turn from the air to the ground (the feed's own
  // judgement against the field) within arrivalNearNm of an airport of the list with a runway, or
  // its stream ends in the air and an object of it touches down after. The records touch down where
  // their descent reaches the field: the rate from the last airborne record at least
  // descentBaselineSeconds before the last airborne altitude was first reported (the records repeat
  // a stale altitude while the aircraft rolls out) carried on from that report, no later than the
  // first ground record. Its object's first point on the ground after one in the air, looked for from
  // touchdownBeforeSeconds before the last airborne record's due time to touchdownAfterSeconds after
  // the first ground record's (or the stream's last record's), is its touchdown. The runway it lands
  // on (within runwaySlackM of one) is told, not judged. Bounds: it touches down within
  // touchdownWithinSeconds of the records' touchdown's due time where the records descend to the
  // ground; where they report the ground, within groundLineM of the line of their first ground
  // positions (those within groundLineSeconds of the first, or groundLineLengthM along the line from
  // it) and no more than beforeGroundM before the first of them along that line. Where the feed
  // stops above the field (it holds the last airborne altitude until the first ground record more
  // than stoppedAfterSeconds after the records' descent reached the field) or the stream ends in the
  // air, the records do not say when or where the aircraft came down: its time is not judged, and
  // it touches down on the field they end above (the nearest airport of the list within
  // arrivalNearNm of the last airborne record, else of the touchdown), within lastLineM of the line
  // of their last airborne positions (from lastLineSeconds before their last altitude was first
  // reported) carried on along their last track, and not more than lastLineM behind the last
  // position known in the air (where that altitude was first reported: the feed may hold it while
  // the positions move on). It stays down until the records go airborne again; in the flareSeconds
  // before it, below flareAboveFt above the field, it flies no slower than flareShare x its approach
  // speed (the slowest airborne record in the approachSeconds before the touchdown, below
  // approachAboveFt above the field).
  double arrivalNearNm = 3;
  double descentBaselineSeconds = 20;
  double touchdownBeforeSeconds = 120;
  double touchdownAfterSeconds = 300;
  double touchdownWithinSeconds = 10;
  double runwaySlackM = 60;
  double groundLineM = 150;
  double groundLineSeconds = 60;
  double groundLineLengthM = 1500;
  double beforeGroundM = 600;
  double stoppedAfterSeconds = 20;
  double lastLineM = 600;
  double lastLineSeconds = 60;
  double flareSeconds = 60;
  double flareAboveFt = 400;
  double flareShare = 0.8;
  double approachSeconds = 120;
  double approachAboveFt = 1000;
  // Roll-outs: from an aeroplane object's touchdown (its first point on the ground after the air)
  // until its ground speed first falls below rollOutEndKt, at most rollOutSeconds, it rolls faster
  // than its records' speed (the reported speed at the due time, between the records due before
  // and after it, airborne or not; past the last record, the last one's) by more than
  // rollOutExcessKt, taken as max(the records' speed, rollOutEndKt) + rollOutExcessKt. Bound: no
  // spell of more than maxRollOutFastSeconds.
  double rollOutEndKt = 30;
  double rollOutSeconds = 120;
  double rollOutExcessKt = 20;
  double maxRollOutFastSeconds = 10;
  // Bound: no object removed while the feed reports its aircraft more than reportedAfterSeconds
  // after the removal, with no later object of that hexid or callsign. A report whose position was
  // first reported due before the removal is a stale repeat of one the object had, and no news.
  // Reports within radiusEdgeNm of the radius, and on the ground farther than parkGroundNm from the
  // park airport, bring no aircraft back.
  double reportedAfterSeconds = 20;
  double radiusEdgeNm = 0.5;
  double parkGroundNm = 5;
  // Removals in the air while the feed is live: an object removed with its last point in the air more
  // than liveAboveFt above the field, when a position of its aircraft not reported before was
  // received within liveSeconds before the removal. A position is received displayDelaySeconds (the
  // engine's display delay) before it falls due; one the engine held or dropped counts too. An
  // object whose last point lies within leavingEdgeNm of the radius leaves the range, and one
  // removed when the flown clock ends goes with the run. Bound: no such removal.
  double liveAboveFt = 100;
  double liveSeconds = 60;
  double displayDelaySeconds = 30;
  double leavingEdgeNm = 1;
  // Bounds of the timing figures, where the caller measured them: the median delay between
  // reported and flown clock, the 95th percentile of the airborne cross-track distance. An engine
  // on time has its median at its delay, 30 s, give or take the noise of a median of some thousand
  // passages spread over seconds (a few hundredths of a second on the JFK recording): the lower
  // bound leaves that noise room, not lateness.
  double minDelaySeconds = 29.9;
  double maxDelaySeconds = 31;
  double maxCrossTrackP95Metres = 50;

  // The airborne cross-track against the records: once a flown second, the distance from a
  // fixed-wing aircraft's object in the air to the polyline of its aircraft's records (every recorded
  // line, repeats and silences included) with times within crossTrackWindowSeconds of the second's
  // due time (and the record just outside either end), not in an object's first and last
  // crossTrackEdgeSeconds nor once the recording's last line is past due. Only the seconds due up to
  // the aircraft's last new airborne record (a record at a position not recorded before, at the time
  // it was first recorded, in the air by the feed's judgement) are measured: those past it (the
  // flight on after a stream ends in the air, the feed's repeats of a vanished aircraft) are counted
  // apart, and judged by the other measures. Split by where the second
  // lies: near the records' jumps and reversals or away from them (within jumpWindowSeconds of the
  // due time two distinct records, each at the time it was first reported, more than jumpLeastM apart
  // that lie farther apart than jumpSpeedFactor x their higher reported speed, at least jumpLeastKt,
  // covers in the time between them; or two legs of reversalLegM or more turning by more than
  // reversalDeg), and low near an airport (below lowAboveFt above the nearest airport known by more
  // than its runways, within lowWithinNm of it) or above or farther. Bounds: the 95th percentile of
  // each of the four, where given (infinity: no bound).
  double crossTrackWindowSeconds = 120;
  double crossTrackEdgeSeconds = 2;
  double jumpWindowSeconds = 30;
  double jumpLeastM = 300;
  double jumpSpeedFactor = 2;
  double jumpLeastKt = 60;
  double reversalLegM = 50;
  double reversalDeg = 100;
  double lowAboveFt = 3000;
  double lowWithinNm = 10;
  double maxCrossTrackAllP95Metres = std::numeric_limits<double>::infinity();
  double maxCrossTrackAwayP95Metres = std::numeric_limits<double>::infinity();
  double maxCrossTrackLowP95Metres = std::numeric_limits<double>::infinity();
  double maxCrossTrackHighP95Metres = std::numeric_limits<double>::infinity();
};

// A sample of distances, metres: how many, the median, the 95th percentile (between the two nearest
// ranks) and the largest; NaN without a sample.
struct DistanceFigures {
  std::size_t n = 0;
  double p50 = std::numeric_limits<double>::quiet_NaN();
  double p95 = std::numeric_limits<double>::quiet_NaN();
  double max = std::numeric_limits<double>::quiet_NaN();
};
DistanceFigures distanceFigures(std::vector<double> metres);

// The airborne cross-track against the records (Options::crossTrackWindowSeconds), in all and split.
struct CrossTrackFigures {
  DistanceFigures all;
  DistanceFigures awayFromJumps;
  DistanceFigures lowNearAirport;
  DistanceFigures aboveOrFarther;
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
  std::size_t droppedAgreeing = 0;  // dropped though their own track agrees with their course
  std::size_t heldPastNext = 0;     // held past the next new position
  bool rolledOnGround = false;  // an object of it moved at rollKt or more on the ground

  int category = -1;   // the category measured (Large where not known)
  double bankDeg = 0;  // the category's bank
  // Standing still aloft: seconds in spells of maxStillRunSeconds or more, their count, the longest
  // spell (any length) with when it began, the altitude then, and the nose at its start and end.
  double stillSeconds = 0;
  std::size_t stillSpells = 0;
  double longestStillSeconds = 0;
  double stillAt = 0;
  double stillAltitudeFt = 0;
  double stillFromDeg = 0;
  double stillToDeg = 0;
  // Slow flight: the bound (0: no airborne report), seconds in spells of maxSlowRunSeconds or more,
  // the longest spell, the slowest flown while measured.
  double slowBoundKt = 0;
  double slowSeconds = 0;
  double longestSlowSeconds = 0;
  double slowestFlownKt = 0;
  double crawlSeconds = 0;
  // Slow against the positions: seconds in spells of maxSlowRunSeconds or more, the longest spell
  // with when it began, and the speed flown against the positions' speed where it is furthest below.
  double slowPaceSeconds = 0;
  double longestSlowPaceSeconds = 0;
  double slowPaceAt = 0;
  double slowPaceFlownKt = 0;
  double slowPacePositionsKt = 0;
  // Turn-rounds where the records' tracks do not turn: how many, the first's start and end, its turn
  // (signed, degrees) and how far the records' tracks differed then; and those the records turn
  // round with (not counted against it).
  std::size_t turnRounds = 0;
  double turnRoundFrom = 0;
  double turnRoundTo = 0;
  double turnRoundDeg = 0;
  double turnRoundRecordsDeg = 0;
  std::size_t turnRoundsWithRecords = 0;
  // Roll-outs faster than the records: the spells of more than maxRollOutFastSeconds, the seconds in
  // them, the longest spell (any length) with when it began, and the fastest over the records then.
  std::size_t fastRollOuts = 0;
  double fastRollOutSeconds = 0;
  double longestFastRollOutSeconds = 0;
  double fastRollOutAt = 0;
  double fastRollOutKt = 0;
  double fastRollOutRecordsKt = 0;
  // Turns against the category's bank (and against fixedBankDeg): seconds in spells of
  // maxBankTurnRunSeconds or more, the longest spell; the worst turn (the most over its bound).
  double bankTurnSeconds = 0;
  double longestBankTurnSeconds = 0;
  double worstBankTurnDegPerS = 0;
  double worstBankTurnBoundDegPerS = 0;
  double worstBankTurnKt = 0;
  double fixedBankTurnSeconds = 0;
  double longestFixedBankTurnSeconds = 0;
  // Porpoising: the spells counted, when the first began, the widest vertical speeds flown in them.
  std::size_t porpoiseSpells = 0;
  double porpoiseAt = 0;
  double porpoiseUpFtMin = 0;
  double porpoiseDownFtMin = 0;
  // Vertical speed beyond maxVsFtMin: seconds, the steepest (signed) and when.
  double steepSeconds = 0;
  double steepestFtMin = 0;
  double steepestAt = 0;
  // Below the ground: seconds, the deepest below the ground (feet, positive) and when.
  double belowGroundSeconds = 0;
  double deepestBelowFt = 0;
  double deepestBelowAt = 0;
  // The airborne cross-track against the records: the seconds measured, their 95th percentile and
  // the farthest, with when (flown clock).
  std::size_t crossTrackSeconds = 0;
  double crossTrackP95Metres = std::numeric_limits<double>::quiet_NaN();
  double crossTrackMaxMetres = 0;
  double crossTrackMaxAt = 0;
  // The seconds past its last new airborne record, not among those.
  std::size_t crossTrackPastSeconds = 0;
};

// An arrival of the records and how its object touched down (flown clock unless said otherwise).
struct Arrival {
  std::uint32_t hexid = 0;
  std::string callsign;
  std::string airport;
  double airborneAt = 0;  // reported clock: when the last airborne record's position was first reported
  double groundAt = 0;    // reported clock: the first ground record
  // Reported clock: when the records reach the field, their descent before the last airborne
  // altitude (first reported) carried on down to it, between that report and the first ground record.
  double recordedTouchdownAt = 0;
  // The feed held the last airborne altitude well past that, or the stream ended in the air (no
  // ground record follows; groundAt and recordedTouchdownAt are its last record's time): the records
  // do not say when it came down, and its place is judged against their last positions.
  bool feedStopped = false;
  bool endedInAir = false;
  double approachKt = 0;  // the slowest airborne record of the approach; NaN where a stream ends higher
  bool flown = false;     // an object of it flew in the air before its touchdown was due
  bool touchedDown = false;
  std::string why;      // what its objects did instead, when none touched down
  bool inTime = false;  // touched down within touchdownWithinSeconds of the records' touchdown
  double touchdownAt = 0;
  double lateSeconds = 0;  // touchdownAt - (recordedTouchdownAt + delay)
  // Where it touched down on a runway, as information: the end it landed over (empty off every
  // runway), metres past that end's threshold and off the centre line, the runway's length; and
  // where the records touch down along it (NaN off the runways).
  std::string runway;
  double alongM = 0;
  double lateralM = 0;
  double runwayLengthM = 0;
  double recordedAlongM = std::numeric_limits<double>::quiet_NaN();
  // Against the records (decided where it touched down): metres from the line of their first ground
  // positions, or of their last airborne ones carried on along their last track; metres along it
  // from the first ground record, or from the last airborne position (negative: before, behind);
  // where the records end in the air, the field they end above (empty when none) and whether it
  // touched down on it. placeHolds: within the bounds.
  double offLineM = std::numeric_limits<double>::quiet_NaN();
  double alongLineM = std::numeric_limits<double>::quiet_NaN();
  std::string field;
  bool onField = true;
  bool placeHolds = false;
  double airborneAgainAt = std::numeric_limits<double>::quiet_NaN();  // NaN: it stayed down
  double flareKt = 0;  // the slowest flown in the flare; 0 where not measured
  bool slowFlare = false;
};

// An object removed while the feed went on reporting its aircraft, never created again.
struct Removal {
  std::uint32_t hexid = 0;
  std::uint32_t objectId = 0;
  std::string callsign;
  double removedAt = 0;      // flown clock
  double reportedUntil = 0;  // the last report's due time
  float altitude = 0;        // its last flown point
  bool onGround = false;
};

// An object removed in the air while the feed sent new positions of its aircraft.
struct LiveRemoval {
  std::uint32_t hexid = 0;
  std::uint32_t objectId = 0;
  std::string callsign;
  double removedAt = 0;   // flown clock
  double heightFt = 0;    // its last point above the field
  double receivedAt = 0;  // flown clock: the last new position received before the removal
  // When an object of the aircraft was created again after it; NaN when none was.
  double createdAgainAt = std::numeric_limits<double>::quiet_NaN();
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
  std::size_t droppedAgreeing = 0;
  std::optional<std::size_t> heldPastNext;  // where the holds are known
  std::size_t aircraftOffNose = 0;         // off the nose at all
  std::size_t aircraftOffNoseOver = 0;     // more than maxOffNoseSeconds off the nose
  std::size_t aircraftFastTurnRun = 0;     // a fast-turn run of maxTurnRunSeconds or more
  std::size_t aircraftOverspeedRun = 0;    // an overspeed run of maxOverspeedRunSeconds or more
  std::vector<Departure> departures;       // the take-off rolls checked
  std::size_t departuresNotRolled = 0;

  double stillSeconds = 0;
  std::size_t aircraftStill = 0;  // a spell of maxStillRunSeconds or more
  double slowSeconds = 0;
  std::size_t aircraftSlow = 0;  // a spell of maxSlowRunSeconds or more
  double crawlSeconds = 0;
  std::size_t aircraftCrawling = 0;
  double bankTurnSeconds = 0;
  std::size_t aircraftBankTurn = 0;  // a spell of maxBankTurnRunSeconds or more
  double fixedBankTurnSeconds = 0;
  std::size_t aircraftFixedBankTurn = 0;  // the same against fixedBankDeg
  std::size_t aircraftPorpoising = 0;
  double steepSeconds = 0;
  std::size_t aircraftSteep = 0;
  // The steepest the records' own profiles (repeated altitudes left out) descend or climb (signed).
  double recordsSteepestFtMin = 0;
  std::string recordsSteepestCallsign;
  std::size_t aircraftRecordsSteep = 0;  // whose records go beyond maxVsFtMin
  double belowGroundSeconds = 0;
  std::size_t aircraftBelowGround = 0;
  std::vector<Arrival> arrivals;   // by the time of their records' touchdown
  std::size_t arrivalsJudged = 0;  // of them, those whose object flew in the air before the touchdown
  std::size_t arrivalsLate = 0;    // never touched down, or not in time where the records reach the ground
  std::size_t arrivalsLong = 0;    // touched down away from where the records say (placeHolds false)
  std::size_t arrivalsUpAgain = 0;
  std::size_t arrivalsSlowFlare = 0;
  std::vector<Removal> removedNotRecreated;
  std::vector<LiveRemoval> removedAloftLive;  // by the time of their removal
  double slowPaceSeconds = 0;
  std::size_t aircraftSlowPace = 0;  // a spell of maxSlowRunSeconds or more
  std::size_t turnRounds = 0;
  std::size_t aircraftTurnRound = 0;
  std::size_t turnRoundsWithRecords = 0;
  std::size_t fastRollOuts = 0;
  double fastRollOutSeconds = 0;
  std::size_t aircraftFastRollOut = 0;
  // Where the caller measured them: the median delay and the 95th percentile of the cross-track
  // distance.
  std::optional<double> delayMedianSeconds;
  std::optional<double> crossTrackP95Metres;
  CrossTrackFigures crossTrack;
  // The seconds past each aircraft's last new airborne record, measured apart.
  DistanceFigures crossTrackPast;

  double offNoseShare() const { return airborneSeconds > 0 ? offNoseSeconds / airborneSeconds : 0; }
};

// Options whose bank of each category is kCategoryBankDeg's.
Options categoryOptions(Options options = {});

Figures measure(const Input& input, const Options& options = {});

// The bounds of check(), each failing by itself.
enum class Bound {
  OffNoseShare,
  OffNoseAircraft,
  FastTurn,
  Overspeed,
  GroundReversal,
  DroppedConfirmed,
  DroppedAgreeing,
  HeldPastNext,
  TakeOffRoll,
  StandingStill,
  SlowFlight,
  BankTurn,
  Porpoising,
  VerticalSpeed,
  BelowGround,
  TouchdownTime,
  TouchdownPlace,
  StaysDown,
  Flare,
  RemovedNotRecreated,
  Delay,
  CrossTrack,
  CrossTrackAll,
  CrossTrackAway,
  CrossTrackLow,
  CrossTrackHigh,
  TurnRound,
  SlowPace,
  RemovedAloftLive,
  FastRollOut,
};

// The bound's name as written here ("StandingStill").
const char* boundName(Bound bound);

struct FailedBound {
  Bound bound;
  std::string text;
};

// The bounds that fail, each with its line for a person; empty when all hold.
std::vector<FailedBound> failedBounds(const Figures& figures, const Options& options = {});
// The lines of the bounds that fail, empty when all hold.
std::vector<std::string> check(const Figures& figures, const Options& options = {});

// The report for a person: every aircraft that flew, the figures in all, the worst five of each
// measure, the counts and the take-off rolls.
void print(std::ostream& out, const Figures& figures, const Options& options, bool perAircraft = true);

// One aircraft (a callsign or a decimal hexid) in time order on the flown clock: its reported
// positions at their due times (taken or dropped) and its flown intervals, one a second and every one
// a measure counts (marked NOSE, TURN, FAST, REVERSAL, STILL, SLOW, CRAWL, BANK, BANK35, VSREV for a
// reversal of the vertical speed, STEEP, BELOW, PACE(the positions' knots) for slow against them, TURNROUND where
// a turn-round is counted, ROLLOUT for rolling faster than the records), with the height above the
// field and the vertical speed; its records' touchdowns and its own, and its objects' removals
// (those in the air while the feed was live marked), for a person looking into a figure.
void printTimeline(std::ostream& out, const Input& input, const Options& options, std::string_view who);

// ---- The simulator double's trace ----

// The objects of a trace ("time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,
// on_ground,detail"): a track per created object with its position rows, the callsign from its
// "created" row's detail ("title|callsign"), when it was created and removed ("removed" or
// "removed-by-sim"). Objects whose callsign ends in '*' (static parked aircraft) are left out. Throws
// std::runtime_error on a file that cannot be read or is no trace.
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
