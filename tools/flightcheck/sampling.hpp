#pragma once
// The flight check's own pieces, shared by its measures (not for its callers): the flown track
// resampled into grid intervals, the field under a point, spells of a condition, and the measures
// of the flight profile and against the records that run interval by interval.

#include "flightcheck/flightcheck.hpp"

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace amb::flightcheck::detail {

inline constexpr double kSecondsPerHour = 3600;
inline constexpr double kMetresPerKnot = 1852.0 / 3600;
inline constexpr double kStandardGravity = 9.80665;  // m/s2
inline constexpr int kLarge = 2;                     // AircraftCategory's Large, the engine's default
inline constexpr int kRotorcraft = 5;                // AircraftCategory's Rotorcraft

inline LatLon posOf(const FlownPoint& p) { return {p.latitude, p.longitude}; }
inline LatLon posOf(const Reported& r) { return {r.latitude, r.longitude}; }
inline LatLon posOf(const Recorded& r) { return {r.latitude, r.longitude}; }

// The turn from a to b in degrees, in [-180, 180].
double turnDeg(double a, double b);

// The feed's own judgement of a recorded line on the ground, against the field under it.
bool recordOnGround(const Recorded& r, double field);

// The track's point at time t, interpolated; nullopt outside the track or across a gap.
std::optional<FlownPoint> pointAt(const FlownTrack& track, double t, double maxGap);

// The field under a point: the elevation of the nearest airport of the list, else the park
// airport's; and whether a flown point stands on the ground.
class Fields {
public:
  explicit Fields(const Input& input);
  double at(double latitude, double longitude) const;
  const Airport* nearest(double latitude, double longitude) const;
  // On the ground: its object says so, or it stands no higher than the field (under it) plus the
  // object's reference height and half a foot.
  bool down(const FlownPoint& p, double field) const { return p.onGround || p.altitude - m_cg - field <= 0.5; }
  double cg() const { return m_cg; }
  double height(const FlownPoint& p) const { return p.altitude - m_cg - at(p.latitude, p.longitude); }
  // The simulated world's ground under a position: the nearest field within kGroundFieldNm (the
  // simulator double and the engine's simulator lay each field's ground that far around it), else the
  // park airport's, the ground everywhere else.
  double groundAt(double latitude, double longitude) const;
  static constexpr double kGroundFieldNm = 3.0;

private:
  const std::vector<Airport>& m_airports;
  double m_park;
  double m_cg;
};

// One grid interval of a track, measured.
struct Interval {
  double start = 0, mid = 0;
  FlownPoint middle;      // the point at the middle
  bool onGround = false;  // the flown point at or before the middle stands on the ground
  bool ground = false;    // ... and both ends of the window too
  double speedKt = 0;
  double courseDeg = 0;
  double turnDegPerS = 0;
  double heightFt = 0;            // of the middle above the field
  double aboveGroundFt = 0;       // of the middle above the simulated world's ground
  std::optional<double> vsFtMin;  // over vsWindowSeconds, where the track covers it
};

// The interval of the track whose middle is at `mid`; nullopt where it cannot be measured.
std::optional<Interval> intervalAt(const FlownTrack& track, double mid, const Options& o, const Fields& fields);

// Calls fn for every grid interval of the track; gap(start) for one that cannot be measured.
template <typename Fn, typename Gap>
void forEachInterval(const FlownTrack& track, const Options& o, const Fields& fields, Fn&& fn, Gap&& gap) {
  if (track.points.empty()) return;
  const double h = o.gridSeconds;
  const double t0 = track.points.front().t, t1 = track.points.back().t;
  for (std::int64_t k = 0;; ++k) {
    const double start = t0 + static_cast<double>(k) * h;
    if (start + h > t1 + 1e-9) break;
    const auto iv = intervalAt(track, start + h / 2, o, fields);
    if (iv) {
      fn(*iv);
    } else {
      gap(start);
    }
  }
}

// Spells of a condition, interval by interval: those lasting `least` seconds or more count.
struct Spells {
  double least = 0;
  double current = 0, start = 0;
  bool on = false;
  double seconds = 0;  // in counted spells
  std::size_t count = 0;
  double longest = 0;  // of any spell
  double longestStart = 0;
  // True when this interval ended the longest spell yet (its figures are the caller's to keep).
  bool add(bool holds, double at, double h);
  bool close();
};

// The vertical profile of the records: their altitudes at their due times on the flown clock.
class RecordProfile {
public:
  // Without repeats, a record that repeats the altitude before it is left out: the altitude is
  // where the aircraft was when first reported, and it changes from there at the pace the records
  // allow at the least.
  RecordProfile(const ReportedAircraft* aircraft, double delaySeconds, bool withRepeats = true);
  // The vertical speed over the window centred on t; nullopt outside the records.
  std::optional<double> vsAt(double t, double window) const;
  // Reversals of the altitudes due within [from, to] of leastFt or more each: up 100 ft, down 100 ft
  // and up again are two.
  int swings(double from, double to, double leastFt) const;
  bool empty() const { return m_points.size() < 2; }

private:
  std::optional<double> altitudeAt(double t) const;
  std::vector<std::pair<double, double>> m_points;  // due time, altitude
};

// The reported legs' pace: from one distinct position to the next.
class Pace {
public:
  Pace(const ReportedAircraft* aircraft, double delaySeconds, double gapSeconds);
  // Knots of the leg flown at t (flown clock); nullopt where none is known.
  std::optional<double> at(double t) const;

private:
  struct Point {
    double due;
    LatLon at;
  };
  std::vector<Point> m_points;
  double m_gap;
};

// What the profile measures see in one interval, for the timeline.
enum Seen : unsigned {
  kStill = 1u << 0,
  kSlow = 1u << 1,
  kCrawl = 1u << 2,
  kBankTurn = 1u << 3,
  kFixedBankTurn = 1u << 4,
  kSteep = 1u << 5,
  kBelow = 1u << 6,
  kReversal = 1u << 7,
  kSlowPace = 1u << 8,
  kTurnRound = 1u << 9,
  kRollOutFast = 1u << 10,
};

// The measures of a track against what its aircraft's records report, fed its intervals in order:
// turn-rounds where the records' tracks do not turn, slow flight against the speed the positions
// imply, roll-outs faster than the records slow.
class AgainstRecords {
public:
  AgainstRecords(const FlownTrack& track, const ReportedAircraft* reported, const Input& input, const Options& o,
                 int category);
  unsigned add(const Interval& iv);  // what it saw, as Seen bits
  void gap();
  void finish(AircraftFigures& a);
  // The speed the positions implied over the last window measured, knots.
  double lastPaceKt() const { return m_pace / kMetresPerKnot; }
  // The speed the positions imply over the window before a time, knots; unset where they do not tell.
  std::optional<double> paceKt(double t) { return paceAt(t); }

private:
  struct Sample {
    double t, turned;
  };
  bool turnRound(const Interval& iv);
  std::optional<double> paceAt(double t);
  double recordsSpeedAt(double t) const;
  double recordsTrackSpread(double from, double to) const;
  void closeSlowPace();
  void closeRollOut();
  const Options& m_o;
  bool m_fixedWing;
  double m_from, m_to;  // the track's first and last point
  // The records' tracks at their due times (those not dropped, with a track), the distinct
  // airborne positions' due times and the metres along them, every record's speed.
  std::vector<std::pair<double, double>> m_tracks;
  std::vector<double> m_paceDue, m_paceMetres, m_paceSpeedKt;
  std::size_t m_paceFrom = 0, m_paceTo = 0;  // the last window's first and last position, and its pace, m/s
  double m_pace = 0;
  std::vector<std::pair<double, double>> m_speeds;
  // The heading turned since the stretch began, and the greatest and least of it over the last
  // turnRoundSeconds (each deque's front is the extreme).
  bool m_turnOn = false;
  double m_turned = 0, m_lastHeading = 0;
  std::deque<Sample> m_most, m_least;
  Spells m_slowPace, m_rollFast;
  double m_paceFlown = 0, m_pacePositions = 0, m_spellFlown = 0, m_spellPositions = 0;
  // The roll-out: after the air, on the ground since m_rollFrom until it slows.
  bool m_wasAirborne = false, m_rolling = false;
  double m_rollFrom = 0;
  double m_rollKt = 0, m_rollRecordsKt = 0, m_spellKt = 0, m_spellRecordsKt = 0;
  AircraftFigures m_f;
};

// The measures of the flight profile on one track, fed its intervals in order.
class ProfileMeasures {
public:
  ProfileMeasures(const FlownTrack& track, const ReportedAircraft* reported, const Input& input, const Options& o,
                  int category);
  unsigned add(const Interval& iv);  // what it saw, as Seen bits
  void gap();
  // Adds the track's figures to the aircraft's.
  void finish(AircraftFigures& a);
  double bankDeg() const { return m_bankDeg; }
  double slowBoundKt() const { return m_slowBound; }
  double lastPaceKt() const { return m_against.lastPaceKt(); }
  std::optional<double> paceKt(double t) { return m_against.paceKt(t); }

private:
  void closeAll();
  const Options& m_o;
  bool m_fixedWing;
  bool m_rotor;
  double m_bankDeg;
  double m_slowBound = 0;
  double m_from, m_to;  // the track's first and last point
  RecordProfile m_levels;  // the records without those that repeat the altitude before them
  Pace m_pace;
  AgainstRecords m_against;
  Spells m_still, m_slow, m_bank, m_fixedBank;
  // The longest still spell's figures.
  double m_stillAltitude = 0, m_stillFrom = 0, m_stillTo = 0, m_spellAltitude = 0, m_spellFrom = 0, m_lastHeading = 0;
  // Porpoising: the vertical state (+1, -1, 0 unknown), the reversals of this airborne stretch.
  int m_vsState = 0;
  std::vector<double> m_reversals;
  std::vector<std::pair<double, double>> m_vs;  // (t, vs) of the stretch, for the spell's extremes
  AircraftFigures m_f;
  void closePorpoise();
};

// The airborne cross-track against the records, in all and per aircraft.
void measureCrossTrack(const Input& input, const Options& o, const Fields& fields, Figures& f);

// Arrivals and their touchdowns; objects removed and not created again; objects removed in the air
// while the feed was live.
void measureArrivals(const Input& input, const Options& o, const Fields& fields, Figures& f);
void measureRemovals(const Input& input, const Options& o, Figures& f);
void measureLiveRemovals(const Input& input, const Options& o, const Fields& fields, Figures& f);
// The steepest vertical speed of the records' own profiles over vsWindowSeconds (signed), without
// repeated altitudes, its aircraft, and how many aircraft's records go beyond maxVsFtMin.
double recordsSteepest(const Input& input, const Options& o, std::uint32_t& hexid, std::size_t& beyond);

}  // namespace amb::flightcheck::detail
