#include "flightcheck/flightcheck.hpp"

#include "core/geometry.hpp"
#include "flightcheck/sampling.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <istream>
#include <limits>
#include <ostream>
#include <stdexcept>

namespace amb::flightcheck {

namespace {

using detail::Fields;
using detail::Interval;
using detail::kMetresPerKnot;
using detail::kSecondsPerHour;
using detail::kStandardGravity;
using detail::posOf;

LatLon lf_pos(const FlownPoint& p) { return posOf(p); }
LatLon lf_pos(const Reported& r) { return posOf(r); }
double lf_turnDeg(double a, double b) { return detail::turnDeg(a, b); }
std::optional<FlownPoint> lf_at(const FlownTrack& track, double t, double maxGap) {
  return detail::pointAt(track, t, maxGap);
}

double lf_median(std::vector<double> v) {
  if (v.empty()) return std::numeric_limits<double>::infinity();
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

// A run of intervals that meet a condition, in one track.
struct Run {
  double current = 0;
  double longest = 0;
  bool on = false;
  // Returns true when a run starts here.
  bool add(bool holds, double seconds) {
    if (!holds) {
      current = 0;
      on = false;
      return false;
    }
    const bool starts = !on;
    on = true;
    current += seconds;
    longest = std::max(longest, current);
    return starts;
  }
  void stop() { add(false, 0); }
};

std::string lf_trimUnderscore(std::string s) {
  while (!s.empty() && s.back() == '_') s.pop_back();
  return s;
}

// The tracks of each hexid.
std::map<std::uint32_t, std::vector<const FlownTrack*>> lf_tracksByHexid(const Input& input) {
  std::map<std::uint32_t, std::vector<const FlownTrack*>> out;
  for (const FlownTrack& t : input.tracks)
    if (t.hexid != 0 && !t.points.empty()) out[t.hexid].push_back(&t);
  return out;
}

// A record stamped before the last one taken (it came late): old news, not a position dropped.
bool lf_oldNews(const Reported& p, const Reported& taken) {
  return !std::isnan(p.stamp) && !std::isnan(taken.stamp) && p.stamp < taken.stamp;
}

// Whether the next record moves on from a dropped airborne position (see Options::nextWithinSeconds)
// and the dropped one's track could have been flown from the last one taken.
bool lf_movesOnFrom(const Reported& p, const Reported& next, const Reported& taken,
                    const std::vector<LatLon>& takenTrack, int category, const Options& o) {
  if (!p.airborne || !next.airborne) return true;
  const double course = gf_bearingRad(lf_pos(p), lf_pos(next));
  if (next.trackDeg != 0 && std::fabs(gf_angleDiff(course, next.trackDeg * kDegToRad)) >= kPi / 2) return false;
  // The way out to the dropped position has to agree with the track the next record reports, unless
  // the tracks themselves turn round (from the last one taken through the dropped one to the next, a
  // right angle or more in all): an aeroplane turns round only where its records say so.
  // Nor is it confirmed where the next record goes on as well from the last one taken, along its own
  // track: the records then do not single out the dropped one as where the aircraft went.
  if (next.trackDeg != 0 && gf_distanceNm(lf_pos(taken), lf_pos(next)) > o.droppedAwayNm / 5 &&
      std::fabs(gf_angleDiff(gf_bearingRad(lf_pos(taken), lf_pos(next)), next.trackDeg * kDegToRad)) <=
          o.agreeDeg * kDegToRad)
    return false;
  if (next.trackDeg != 0 && gf_distanceNm(lf_pos(taken), lf_pos(p)) > o.droppedAwayNm / 5) {
    const double way = gf_bearingRad(lf_pos(taken), lf_pos(p));
    const double turned = p.trackDeg == 0 || taken.trackDeg == 0
                              ? 0.0
                              : std::fabs(gf_angleDiff(taken.trackDeg * kDegToRad, p.trackDeg * kDegToRad)) +
                                    std::fabs(gf_angleDiff(p.trackDeg * kDegToRad, next.trackDeg * kDegToRad));
    if (std::fabs(gf_angleDiff(way, next.trackDeg * kDegToRad)) > kPi / 2 && turned < kPi / 2) return false;
  }
  for (std::size_t i = 0; i + 1 < takenTrack.size(); ++i)
    if (gf_segmentDistanceNm(lf_pos(next), takenTrack[i], takenTrack[i + 1]) <= o.repeatedTrackNm) return false;
  if (takenTrack.size() < o.trackPositions || p.trackDeg == 0 || taken.trackDeg == 0 || category < 0 || category > 5)
    return true;
  const double bankDeg = o.categoryBankDeg[static_cast<std::size_t>(category)];
  if (bankDeg <= 0) return true;
  const double speedMps = std::max({p.speedKt, taken.speedKt, 1.0}) * kMetresPerKnot;
  const double rate = std::max(std::min(kStandardGravity * std::tan(bankDeg * kDegToRad) / speedMps, 30 * kDegToRad),
                               o.standardRateDegPerS * kDegToRad);
  const double turn = std::fabs(gf_angleDiff(taken.trackDeg * kDegToRad, p.trackDeg * kDegToRad));
  return turn <= rate * std::max(p.t - taken.t, 0.0) + o.trackPlayDeg * kDegToRad;
}

// Positions dropped although the next distinct record continues from them rather than from the last
// position taken, and moves on from them; before the aircraft's object came down (`landedAt`).
std::size_t lf_droppedConfirmed(const ReportedAircraft& aircraft, const Options& o, double landedAt) {
  const auto& r = aircraft.positions;
  std::size_t count = 0;
  const Reported* taken = nullptr;  // the last distinct position taken
  std::vector<LatLon> takenTrack;   // the distinct positions taken, the last 64
  for (std::size_t i = 0; i < r.size(); ++i) {
    const Reported& p = r[i];
    if (p.t >= landedAt) break;
    const bool repeat = i > 0 && r[i - 1].latitude == p.latitude && r[i - 1].longitude == p.longitude;
    if (p.taken == Taken::Yes) {
      // A repeat keeps the time the position was first reported.
      if (taken == nullptr || taken->latitude != p.latitude || taken->longitude != p.longitude) {
        taken = &p;
        takenTrack.push_back(lf_pos(p));
        if (takenTrack.size() > 64) takenTrack.erase(takenTrack.begin());
      }
      continue;
    }
    if (p.taken != Taken::No || repeat || taken == nullptr || lf_oldNews(p, *taken)) continue;
    if (!p.airborne && !taken->airborne) continue;
    if (gf_distanceNm(lf_pos(*taken), lf_pos(p)) < o.droppedAwayNm) continue;
    // A copy of a position taken before, sent again, is never the aircraft's news.
    const LatLon at = lf_pos(p);
    if (std::any_of(takenTrack.begin(), takenTrack.end(), [&](const LatLon& q) { return q.lat == at.lat && q.lon == at.lon; }))
      continue;
    const Reported* next = nullptr;
    for (std::size_t j = i + 1; j < r.size() && r[j].t - p.t <= o.nextWithinSeconds; ++j)
      if (r[j].latitude != p.latitude || r[j].longitude != p.longitude) {
        next = &r[j];
        break;
      }
    if (next == nullptr) continue;
    const double seconds = std::max(1.0, next->t - p.t);
    const double reach = (1.5 * std::max(p.speedKt, next->speedKt) + 50) * seconds / kSecondsPerHour + 0.05;
    const double fromDropped = gf_distanceNm(lf_pos(p), lf_pos(*next));
    if (fromDropped <= reach && fromDropped < gf_distanceNm(lf_pos(*taken), lf_pos(*next)) &&
        lf_movesOnFrom(p, *next, *taken, takenTrack, aircraft.category, o))
      ++count;
  }
  return count;
}

// Airborne records dropped although their own reported track agrees with their course from the last
// distinct position taken (Options::agreeDeg); and those held past the next new position.
// Records due after the aircraft's object came down (`landedAt`, on the reported clock) are left out:
// a landed aircraft is not flown back up to the airborne records the feed sends late.
std::size_t lf_droppedAgreeing(const ReportedAircraft& aircraft, const Options& o, double landedAt) {
  const auto& r = aircraft.positions;
  std::size_t count = 0;
  const Reported* taken = nullptr;  // the last distinct position taken
  for (std::size_t i = 0; i < r.size(); ++i) {
    const Reported& p = r[i];
    if (p.t >= landedAt) break;
    if (p.taken == Taken::Yes) {
      if (taken == nullptr || taken->latitude != p.latitude || taken->longitude != p.longitude) taken = &p;
      continue;
    }
    const bool repeat = i > 0 && r[i - 1].latitude == p.latitude && r[i - 1].longitude == p.longitude;
    if (p.taken != Taken::No || repeat || taken == nullptr || !p.airborne || p.trackDeg == 0 || lf_oldNews(p, *taken))
      continue;
    if (gf_distanceNm(lf_pos(*taken), lf_pos(p)) < o.agreeLeastNm) continue;
    const double course = gf_bearingRad(lf_pos(*taken), lf_pos(p)) * kRadToDeg;
    if (std::fabs(lf_turnDeg(course, p.trackDeg)) <= o.agreeDeg) ++count;
  }
  return count;
}

std::size_t lf_heldPast(const ReportedAircraft& aircraft) {
  return static_cast<std::size_t>(std::count_if(aircraft.positions.begin(), aircraft.positions.end(),
                                                [](const Reported& p) { return p.heldPast; }));
}

struct Key {
  std::uint32_t hexid;
  std::uint32_t objectId;  // only when the hexid is unknown
  bool operator<(const Key& k) const { return hexid != k.hexid ? hexid < k.hexid : objectId < k.objectId; }
};

// The category an aircraft is measured as: its object's as the engine derived it, else the one its
// recorded type gives, else the engine's default.
int lf_category(const FlownTrack& track, const ReportedAircraft* reported) {
  if (track.category >= 0) return track.category;
  if (reported != nullptr && reported->category >= 0) return reported->category;
  return detail::kLarge;
}

const ReportedAircraft* lf_reported(const Input& input, std::uint32_t hexid) {
  auto it = input.reported.find(hexid);
  return hexid != 0 && it != input.reported.end() ? &it->second : nullptr;
}

}  // namespace

Options categoryOptions(Options options) {
  options.categoryBankDeg = kCategoryBankDeg;
  return options;
}

Figures measure(const Input& input, const Options& o) {
  Figures f;
  const Fields fields(input);
  std::map<Key, AircraftFigures> byKey;
  const double h = o.gridSeconds;
  double flownFrom = std::numeric_limits<double>::infinity(), flownTo = -flownFrom;
  // Ground rolls by hexid: times (flown clock) of the intervals rolled at rollKt or more.
  std::map<std::uint32_t, std::vector<double>> rolls;

  for (const FlownTrack& track : input.tracks) {
    if (track.points.empty()) continue;
    const Key key{track.hexid, track.hexid == 0 ? track.objectId : 0};
    AircraftFigures& a = byKey[key];
    if (a.objects++ == 0) {
      a.hexid = track.hexid;
      a.callsign = track.callsign;
      auto rep = input.reported.find(track.hexid);
      if (rep != input.reported.end() && rep->second.highestSpeedKt > 0) {
        a.highestReportedKt = rep->second.highestSpeedKt;
        a.overspeedBoundKt = o.overspeedFactor * a.highestReportedKt + o.overspeedAddKt;
      }
    }
    flownFrom = std::min(flownFrom, track.points.front().t);
    flownTo = std::max(flownTo, track.points.back().t);
    const ReportedAircraft* reported = lf_reported(input, track.hexid);
    a.category = lf_category(track, reported);
    detail::ProfileMeasures profile(track, reported, input, o, a.category);
    Run turnRun, overRun, reversalRun;
    const auto gap = [&](double) {
      turnRun.stop();
      overRun.stop();
      reversalRun.stop();
      profile.gap();
    };
    detail::forEachInterval(track, o, fields, [&](const Interval& iv) {
      const double speed = iv.speedKt, turnRate = iv.turnDegPerS;
      a.seconds += h;
      profile.add(iv);
      if (!iv.onGround) {
        a.airborneSeconds += h;
        if (speed >= o.courseAboveKt) {
          const double off = std::fabs(lf_turnDeg(iv.courseDeg, iv.middle.headingDeg));
          if (off > o.offNoseDeg) a.offNoseSeconds += h;
          if (off > a.worstOffNoseDeg) {
            a.worstOffNoseDeg = off;
            a.worstOffNoseKt = speed;
          }
        }
      }
      if (speed > o.fastTurnAboveKt) a.fastestTurnDegPerS = std::max(a.fastestTurnDegPerS, turnRate);
      const bool fastTurn = speed > o.fastTurnAboveKt && turnRate > o.fastTurnDegPerS;
      if (fastTurn) a.fastTurnSeconds += h;
      turnRun.add(fastTurn, h);
      a.longestFastTurnSeconds = std::max(a.longestFastTurnSeconds, turnRun.longest);

      a.highestFlownKt = std::max(a.highestFlownKt, speed);
      // A feed's reported speed may freeze far below the aircraft's: in the air the speed its positions
      // imply counts where it is faster.
      double overBoundKt = a.overspeedBoundKt;
      if (overBoundKt > 0 && !iv.onGround)
        if (const std::optional<double> pace = profile.paceKt(iv.mid); pace && *pace > a.highestReportedKt)
          overBoundKt = o.overspeedFactor * *pace + o.overspeedAddKt;
      const bool over = overBoundKt > 0 && speed > overBoundKt;
      if (over) a.overspeedSeconds += h;
      overRun.add(over, h);
      a.longestOverspeedSeconds = std::max(a.longestOverspeedSeconds, overRun.longest);

      if (iv.ground && speed > o.groundTurnAboveKt) a.fastestGroundTurnDegPerS = std::max(a.fastestGroundTurnDegPerS, turnRate);
      const bool reversal = iv.ground && speed > o.groundTurnAboveKt && turnRate > o.groundTurnDegPerS;
      if (reversal) a.groundReversalSeconds += h;
      if (reversalRun.add(reversal, h)) ++a.groundReversals;

      if (iv.ground && speed >= o.rollKt) {
        a.rolledOnGround = true;
        if (track.hexid != 0) rolls[track.hexid].push_back(iv.mid);
      }
    }, gap);
    profile.finish(a);
  }

  if (input.holdsKnown) f.heldPastNext = 0;
  // When each aircraft's object first came down out of the air, on the reported clock.
  std::map<std::uint32_t, double> landedAt;
  for (const FlownTrack& track : input.tracks) {
    bool aloft = false;
    for (const FlownPoint& point : track.points) {
      if (!point.onGround) {
        aloft = true;
      } else if (aloft) {
        const double t = point.t - input.delaySeconds;
        auto [at, added] = landedAt.emplace(track.hexid, t);
        if (!added) at->second = std::min(at->second, t);
        break;
      }
    }
  }
  for (const auto& [hexid, aircraft] : input.reported) {
    const auto landed = landedAt.find(hexid);
    const double down = landed == landedAt.end() ? std::numeric_limits<double>::infinity() : landed->second;
    const std::size_t dropped = lf_droppedConfirmed(aircraft, o, down);
    const std::size_t agreeing = lf_droppedAgreeing(aircraft, o, down);
    const std::size_t held = input.holdsKnown ? lf_heldPast(aircraft) : 0;
    if (dropped == 0 && agreeing == 0 && held == 0) continue;
    AircraftFigures& a = byKey[Key{hexid, 0}];
    if (a.hexid == 0) {
      a.hexid = hexid;
      a.callsign = aircraft.callsign;
    }
    a.droppedConfirmed = dropped;
    a.droppedAgreeing = agreeing;
    a.heldPastNext = held;
  }

  // Take-off rolls: a ground record at rollKt or more after a slower ground record, with no airborne
  // record between them.
  for (const auto& [hexid, aircraft] : input.reported) {
    bool slowOnGround = false;
    for (const Reported& r : aircraft.positions) {
      if (r.airborne) {
        slowOnGround = false;
        continue;
      }
      if (r.speedKt < o.rollKt) {
        slowOnGround = true;
        continue;
      }
      if (!slowOnGround) continue;
      slowOnGround = false;
      const double due = r.t + input.delaySeconds;
      if (due < flownFrom + o.rollMarginSeconds || due > flownTo - o.rollMarginSeconds) continue;
      Departure d{hexid, aircraft.callsign, r.t, false, false};
      d.hasObject = std::any_of(input.tracks.begin(), input.tracks.end(),
                                [&](const FlownTrack& t) { return t.hexid == hexid && !t.points.empty(); });
      auto it = rolls.find(hexid);
      if (it != rolls.end())
        d.rolled = std::any_of(it->second.begin(), it->second.end(), [&](double t) { return t >= due - 120 && t <= due + 300; });
      if (!d.rolled) ++f.departuresNotRolled;
      f.departures.push_back(std::move(d));
    }
  }

  for (auto& [key, a] : byKey) {
    f.airborneSeconds += a.airborneSeconds;
    f.offNoseSeconds += a.offNoseSeconds;
    f.fastTurnSeconds += a.fastTurnSeconds;
    f.overspeedSeconds += a.overspeedSeconds;
    f.groundReversals += a.groundReversals;
    f.groundReversalSeconds += a.groundReversalSeconds;
    f.droppedConfirmed += a.droppedConfirmed;
    f.droppedAgreeing += a.droppedAgreeing;
    if (f.heldPastNext) *f.heldPastNext += a.heldPastNext;
    if (a.offNoseSeconds > 0) ++f.aircraftOffNose;
    if (a.offNoseSeconds > o.maxOffNoseSeconds) ++f.aircraftOffNoseOver;
    if (a.longestFastTurnSeconds >= o.maxTurnRunSeconds - 1e-9) ++f.aircraftFastTurnRun;
    if (a.longestOverspeedSeconds >= o.maxOverspeedRunSeconds - 1e-9) ++f.aircraftOverspeedRun;
    f.stillSeconds += a.stillSeconds;
    if (a.stillSpells > 0) ++f.aircraftStill;
    f.slowSeconds += a.slowSeconds;
    if (a.longestSlowSeconds >= o.maxSlowRunSeconds - 1e-9) ++f.aircraftSlow;
    f.crawlSeconds += a.crawlSeconds;
    if (a.crawlSeconds > 0) ++f.aircraftCrawling;
    f.bankTurnSeconds += a.bankTurnSeconds;
    if (a.longestBankTurnSeconds >= o.maxBankTurnRunSeconds - 1e-9) ++f.aircraftBankTurn;
    f.fixedBankTurnSeconds += a.fixedBankTurnSeconds;
    if (a.longestFixedBankTurnSeconds >= o.maxBankTurnRunSeconds - 1e-9) ++f.aircraftFixedBankTurn;
    if (a.porpoiseSpells > 0) ++f.aircraftPorpoising;
    f.steepSeconds += a.steepSeconds;
    if (a.steepSeconds > 0) ++f.aircraftSteep;
    f.belowGroundSeconds += a.belowGroundSeconds;
    if (a.belowGroundSeconds > 0) ++f.aircraftBelowGround;
    f.slowPaceSeconds += a.slowPaceSeconds;
    if (a.longestSlowPaceSeconds >= o.maxSlowRunSeconds - 1e-9) ++f.aircraftSlowPace;
    f.turnRounds += a.turnRounds;
    if (a.turnRounds > 0) ++f.aircraftTurnRound;
    f.turnRoundsWithRecords += a.turnRoundsWithRecords;
    f.fastRollOuts += a.fastRollOuts;
    f.fastRollOutSeconds += a.fastRollOutSeconds;
    if (a.fastRollOuts > 0) ++f.aircraftFastRollOut;
    f.aircraft.push_back(std::move(a));
  }
  std::uint32_t steepestHexid = 0;
  f.recordsSteepestFtMin = detail::recordsSteepest(input, o, steepestHexid, f.aircraftRecordsSteep);
  if (const ReportedAircraft* r = lf_reported(input, steepestHexid); r != nullptr)
    f.recordsSteepestCallsign = fmt::format("{} ({})", r->callsign, steepestHexid);
  detail::measureArrivals(input, o, fields, f);
  detail::measureRemovals(input, o, f);
  detail::measureLiveRemovals(input, o, fields, f);
  detail::measureCrossTrack(input, o, fields, f);
  std::sort(f.aircraft.begin(), f.aircraft.end(), [](const AircraftFigures& x, const AircraftFigures& y) {
    return x.callsign != y.callsign ? x.callsign < y.callsign : x.hexid < y.hexid;
  });
  return f;
}

const char* boundName(Bound bound) {
  static const char* const names[] = {
      "OffNoseShare",    "OffNoseAircraft",     "FastTurn",    "Overspeed",     "GroundReversal",   "DroppedConfirmed",
      "DroppedAgreeing", "HeldPastNext",        "TakeOffRoll", "StandingStill", "SlowFlight",       "BankTurn",
      "Porpoising",      "VerticalSpeed",       "BelowGround", "TouchdownTime", "TouchdownPlace",   "StaysDown",
      "Flare",           "RemovedNotRecreated", "Delay",       "CrossTrack",    "CrossTrackAll",    "CrossTrackAway",
      "CrossTrackLow",   "CrossTrackHigh",      "TurnRound",   "SlowPace",      "RemovedAloftLive", "FastRollOut"};
  const auto i = static_cast<std::size_t>(bound);
  return i < std::size(names) ? names[i] : "?";
}

std::vector<FailedBound> failedBounds(const Figures& f, const Options& o) {
  std::vector<FailedBound> out;
  const auto fail = [&](Bound b, std::string text) { out.push_back({b, std::move(text)}); };
  if (f.offNoseShare() > o.maxOffNoseShare)
    fail(Bound::OffNoseShare,
         fmt::format("{:.2f} % of airborne seconds more than {:.0f} deg off the nose (at most {:.2f} %)",
                     100 * f.offNoseShare(), o.offNoseDeg, 100 * o.maxOffNoseShare));
  if (f.aircraftOffNoseOver > 0)
    fail(Bound::OffNoseAircraft,
         fmt::format("{} aircraft more than {:.0f} s off the nose", f.aircraftOffNoseOver, o.maxOffNoseSeconds));
  if (f.aircraftFastTurnRun > 0)
    fail(Bound::FastTurn,
         fmt::format("{} aircraft turning faster than {:.0f} deg/s for {:.0f} s or more above {:.0f} kt",
                     f.aircraftFastTurnRun, o.fastTurnDegPerS, o.maxTurnRunSeconds, o.fastTurnAboveKt));
  if (f.aircraftOverspeedRun > 0)
    fail(Bound::Overspeed,
         fmt::format("{} aircraft faster than {} x its highest reported speed + {:.0f} kt for {:.0f} s or more",
                     f.aircraftOverspeedRun, o.overspeedFactor, o.overspeedAddKt, o.maxOverspeedRunSeconds));
  if (f.groundReversals > 0)
    fail(Bound::GroundReversal, fmt::format("{} reversals on the ground (faster than {:.0f} deg/s above {:.0f} kt)",
                                            f.groundReversals, o.groundTurnDegPerS, o.groundTurnAboveKt));
  if (f.droppedConfirmed > 0)
    fail(Bound::DroppedConfirmed, fmt::format("{} dropped positions that later records confirm", f.droppedConfirmed));
  if (f.droppedAgreeing > 0)
    fail(Bound::DroppedAgreeing,
         fmt::format("{} airborne records dropped whose own track agrees with their course from the last position "
                     "taken (within {:.0f} deg)",
                     f.droppedAgreeing, o.agreeDeg));
  if (f.heldPastNext && *f.heldPastNext > 0)
    fail(Bound::HeldPastNext, fmt::format("{} records held past the next new position", *f.heldPastNext));
  if (f.departuresNotRolled > 0)
    fail(Bound::TakeOffRoll,
         fmt::format("{} of {} take-off rolls in the records not rolled", f.departuresNotRolled, f.departures.size()));
  if (f.aircraftStill > 0)
    fail(Bound::StandingStill,
         fmt::format("{} aeroplanes below {:.0f} kt more than {:.0f} ft above the field for {:.0f} s or more",
                     f.aircraftStill, o.stillKt, o.stillAboveFt, o.maxStillRunSeconds));
  if (f.aircraftSlow > 0)
    fail(Bound::SlowFlight,
         fmt::format("{} aeroplanes below {:.0f} % of their slowest reported airborne speed for {:.0f} s or more",
                     f.aircraftSlow, 100 * o.slowShare, o.maxSlowRunSeconds));
  if (f.aircraftBankTurn > 0)
    fail(Bound::BankTurn,
         fmt::format("{} aircraft turning faster than {} x the rate of a turn at their category's bank + {} deg/s "
                     "for {:.0f} s or more",
                     f.aircraftBankTurn, o.bankTurnFactor, o.bankTurnAddDegPerS, o.maxBankTurnRunSeconds));
  if (f.aircraftPorpoising > 0)
    fail(Bound::Porpoising,
         fmt::format("{} aircraft porpoising (vertical speed reversing beyond +-{:.0f} ft/min {} times "
                     "within {:.0f} s where the records do not)",
                     f.aircraftPorpoising, o.reversalFtMin, o.porpoiseReversals, o.porpoiseSeconds));
  if (f.aircraftSteep > 0)
    fail(Bound::VerticalSpeed,
         fmt::format("{} aircraft beyond {:.0f} ft/min ({:.1f} s)", f.aircraftSteep, o.maxVsFtMin, f.steepSeconds));
  if (f.aircraftBelowGround > 0)
    fail(Bound::BelowGround, fmt::format("{} aircraft more than {:.0f} ft below the ground ({:.1f} s)",
                                         f.aircraftBelowGround, o.belowGroundFt, f.belowGroundSeconds));
  if (f.arrivalsLate > 0)
    fail(Bound::TouchdownTime, fmt::format("{} of {} arrivals not touched down within {:.0f} s of their records",
                                           f.arrivalsLate, f.arrivalsJudged, o.touchdownWithinSeconds));
  if (f.arrivalsLong > 0)
    fail(Bound::TouchdownPlace,
         fmt::format("{} of {} arrivals touched down away from their records (more than {:.0f} m off the line of "
                     "their ground positions or {:.0f} m before it; where they end in the air, off their field or "
                     "more than {:.0f} m off or behind the line of their last positions)",
                     f.arrivalsLong, f.arrivalsJudged, o.groundLineM, o.beforeGroundM, o.lastLineM));
  if (f.arrivalsUpAgain > 0)
    fail(Bound::StaysDown,
         fmt::format("{} of {} arrivals in the air again after touchdown", f.arrivalsUpAgain, f.arrivalsJudged));
  if (f.arrivalsSlowFlare > 0)
    fail(Bound::Flare, fmt::format("{} of {} arrivals below {:.0f} % of their approach speed in the flare",
                                   f.arrivalsSlowFlare, f.arrivalsJudged, 100 * o.flareShare));
  if (!f.removedNotRecreated.empty())
    fail(Bound::RemovedNotRecreated,
         fmt::format("{} objects removed while the feed reported their aircraft, never created again",
                     f.removedNotRecreated.size()));
  // The delay bound as read to a hundredth of a second.
  if (f.delayMedianSeconds &&
      (*f.delayMedianSeconds < o.minDelaySeconds - 0.005 || *f.delayMedianSeconds > o.maxDelaySeconds + 0.005))
    fail(Bound::Delay, fmt::format("delay median {:.2f} s (between {:.0f} and {:.0f} s)", *f.delayMedianSeconds,
                                   o.minDelaySeconds, o.maxDelaySeconds));
  if (f.crossTrackP95Metres && *f.crossTrackP95Metres > o.maxCrossTrackP95Metres)
    fail(Bound::CrossTrack, fmt::format("airborne cross-track p95 {:.1f} m (at most {:.0f} m)", *f.crossTrackP95Metres,
                                        o.maxCrossTrackP95Metres));
  const auto crossTrack = [&](Bound b, const char* what, const DistanceFigures& d, double bound) {
    if (d.n > 0 && d.p95 > bound)
      fail(b, fmt::format("airborne cross-track against the records, {}: p95 {:.0f} m (at most {:.0f} m)", what, d.p95,
                          bound));
  };
  crossTrack(Bound::CrossTrackAll, "all", f.crossTrack.all, o.maxCrossTrackAllP95Metres);
  crossTrack(Bound::CrossTrackAway, "away from the records' jumps", f.crossTrack.awayFromJumps,
             o.maxCrossTrackAwayP95Metres);
  crossTrack(Bound::CrossTrackLow, "low near an airport", f.crossTrack.lowNearAirport, o.maxCrossTrackLowP95Metres);
  crossTrack(Bound::CrossTrackHigh, "above or farther", f.crossTrack.aboveOrFarther, o.maxCrossTrackHighP95Metres);
  if (f.turnRounds > 0)
    fail(Bound::TurnRound,
         fmt::format("{} turn-rounds of {} aeroplanes (through more than {:.0f} deg within {:.0f} s) where the tracks "
                     "their records report differ by less than {:.0f} deg",
                     f.turnRounds, f.aircraftTurnRound, o.turnRoundDeg, o.turnRoundSeconds, o.turnRoundRecordsDeg));
  if (f.aircraftSlowPace > 0)
    fail(Bound::SlowPace,
         fmt::format("{} aeroplanes below {:.0f} % of the speed their positions imply over the last {:.0f} s for "
                     "{:.0f} s or more",
                     f.aircraftSlowPace, 100 * o.slowShare, o.paceSeconds, o.maxSlowRunSeconds));
  if (!f.removedAloftLive.empty())
    fail(Bound::RemovedAloftLive,
         fmt::format("{} objects removed in the air with a new position of their aircraft received within {:.0f} s "
                     "before",
                     f.removedAloftLive.size(), o.liveSeconds));
  if (f.fastRollOuts > 0)
    fail(
        Bound::FastRollOut,
        fmt::format("{} roll-outs of {} aeroplanes more than {:.0f} kt faster than their records (taxi speed {:.0f} "
                    "kt at the least) for more than {:.0f} s",
                    f.fastRollOuts, f.aircraftFastRollOut, o.rollOutExcessKt, o.rollOutEndKt, o.maxRollOutFastSeconds));
  return out;
}

std::vector<std::string> check(const Figures& f, const Options& o) {
  std::vector<std::string> out;
  for (FailedBound& b : failedBounds(f, o)) out.push_back(std::move(b.text));
  return out;
}

namespace {

std::string lf_name(const AircraftFigures& a) {
  return a.hexid != 0 ? fmt::format("{} ({})", a.callsign.empty() ? "?" : a.callsign, a.hexid)
                      : fmt::format("{} (no hexid)", a.callsign.empty() ? "?" : a.callsign);
}

void lf_worstFive(std::ostream& out, const Figures& f, const std::string& title,
                  const std::function<double(const AircraftFigures&)>& value,
                  const std::function<std::string(const AircraftFigures&)>& detail) {
  std::vector<const AircraftFigures*> v;
  for (const AircraftFigures& a : f.aircraft)
    if (value(a) > 0) v.push_back(&a);
  std::stable_sort(v.begin(), v.end(), [&](const AircraftFigures* x, const AircraftFigures* y) { return value(*x) > value(*y); });
  out << fmt::format("worst five, {}:{}\n", title, v.empty() ? " none" : "");
  for (std::size_t i = 0; i < v.size() && i < 5; ++i) out << fmt::format("  {:<22} {}\n", lf_name(*v[i]), detail(*v[i]));
}

const char* lf_categoryName(int category) {
  static const char* const names[] = {"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};
  return category >= 0 && category < 6 ? names[category] : "?";
}

void lf_printProfileTable(std::ostream& out, const Figures& f, const Options& o) {
  out << fmt::format(
      "{:<22} {:<10} {:>4} {:>6} {:>3} {:>6} {:>5} {:>6} {:>6} {:>6} {:>6} {:>6} {:>6} {:>4} {:>6} {:>6} {:>6} {:>4} "
      "{:>6}\n",
      "aircraft", "category", "bank", "still", "n", "run s", "slow<", "slow s", "run s", "crawl", "bank s", "run s",
      "35deg", "porp", "vs s", "below", "pace s", "trn", "roll s");
  for (const AircraftFigures& a : f.aircraft) {
    if (a.seconds <= 0) continue;
    out << fmt::format(
        "{:<22} {:<10} {:>4.0f} {:>6.1f} {:>3} {:>6.1f} {:>5.0f} {:>6.1f} {:>6.1f} {:>6.1f} {:>6.1f} {:>6.1f} {:>6.1f} "
        "{:>4} {:>6.1f} {:>6.1f} {:>6.1f} {:>4} {:>6.1f}\n",
        lf_name(a), lf_categoryName(a.category), a.bankDeg, a.stillSeconds, a.stillSpells, a.longestStillSeconds,
        a.slowBoundKt, a.slowSeconds, a.longestSlowSeconds, a.crawlSeconds, a.bankTurnSeconds, a.longestBankTurnSeconds,
        a.fixedBankTurnSeconds, a.porpoiseSpells, a.steepSeconds, a.belowGroundSeconds, a.slowPaceSeconds, a.turnRounds,
        a.fastRollOutSeconds);
  }
  out << fmt::format(
      "(bank: the category's, deg; still: seconds below {0:.0f} kt more than {1:.0f} ft above the field in "
      "spells of {2:.0f} s or more, n: those spells, run s: the longest spell; slow<: {3:.0f} % of the "
      "slowest reported airborne speed, kt, slow s: seconds below it in spells of {4:.0f} s or more, run s: "
      "the longest; crawl: seconds below {5:.0f} kt while the reported leg goes faster than {6:.0f} kt; bank "
      "s: seconds turning faster than the bank allows in spells of {7:.0f} s or more, run s: the longest; "
      "35deg: the same against a {8:.0f} deg bank; porp: porpoising spells; vs s: seconds beyond {9:.0f} "
      "ft/min; below: seconds more than {10:.0f} ft below the ground; pace s: seconds below {3:.0f} % of the "
      "speed the positions imply over the last {11:.0f} s in spells of {4:.0f} s or more; trn: turn-rounds where "
      "the records' tracks do not turn; roll s: seconds rolling out more than {12:.0f} kt faster than the records "
      "in spells of more than {13:.0f} s)\n\n",
      o.stillKt, o.stillAboveFt, o.maxStillRunSeconds, 100 * o.slowShare, o.maxSlowRunSeconds, o.crawlKt, o.paceKt,
      o.maxBankTurnRunSeconds, o.fixedBankDeg, o.maxVsFtMin, o.belowGroundFt, o.paceSeconds, o.rollOutExcessKt,
      o.maxRollOutFastSeconds);
}

std::size_t lf_countLongest(const Figures& f, double AircraftFigures::*field, double least) {
  return static_cast<std::size_t>(std::count_if(f.aircraft.begin(), f.aircraft.end(),
                                                [&](const AircraftFigures& a) { return a.*field >= least - 1e-9; }));
}

double lf_longest(const Figures& f, double AircraftFigures::*field) {
  double most = 0;
  for (const AircraftFigures& a : f.aircraft) most = std::max(most, a.*field);
  return most;
}

void lf_printProfileTotals(std::ostream& out, const Figures& f, const Options& o) {
  out << fmt::format(
      "aeroplanes below {:.0f} kt more than {:.0f} ft above the field for {:.0f} s or more: {} ({} for 5 s "
      "or more), {:.1f} s in those spells, the longest {:.1f} s\n",
      o.stillKt, o.stillAboveFt, o.maxStillRunSeconds, f.aircraftStill,
      lf_countLongest(f, &AircraftFigures::longestStillSeconds, 5), f.stillSeconds,
      lf_longest(f, &AircraftFigures::longestStillSeconds));
  out << fmt::format(
      "aeroplanes below {:.0f} % of their slowest reported airborne speed for {:.0f} s or more: {}, {:.1f} s "
      "in those spells\n",
      100 * o.slowShare, o.maxSlowRunSeconds, f.aircraftSlow, f.slowSeconds);
  out << fmt::format(
      "aeroplanes below {:.0f} % of the speed their positions imply over the last {:.0f} s for {:.0f} s or more: {}, "
      "{:.1f} s in those spells\n",
      100 * o.slowShare, o.paceSeconds, o.maxSlowRunSeconds, f.aircraftSlowPace, f.slowPaceSeconds);
  out << fmt::format(
      "aircraft in the air below {:.0f} kt while the reported leg goes faster than {:.0f} kt: {}, {:.1f} s\n",
      o.crawlKt, o.paceKt, f.aircraftCrawling, f.crawlSeconds);
  out << fmt::format(
      "turn-rounds (through more than {:.0f} deg within {:.0f} s) where the records' tracks differ by less than "
      "{:.0f} deg: {} of {} aeroplanes; where the records' tracks turn too: {}\n",
      o.turnRoundDeg, o.turnRoundSeconds, o.turnRoundRecordsDeg, f.turnRounds, f.aircraftTurnRound,
      f.turnRoundsWithRecords);
  out << fmt::format(
      "aircraft turning faster than {} x the rate of a turn at their category's bank + {} deg/s for {:.0f} s "
      "or more: {}, {:.1f} s in those spells\n",
      o.bankTurnFactor, o.bankTurnAddDegPerS, o.maxBankTurnRunSeconds, f.aircraftBankTurn, f.bankTurnSeconds);
  out << fmt::format("the same against a {:.0f} deg bank: {} ({} for 5 s or more), {:.1f} s in those spells\n",
                     o.fixedBankDeg, f.aircraftFixedBankTurn,
                     lf_countLongest(f, &AircraftFigures::longestFixedBankTurnSeconds, 5), f.fixedBankTurnSeconds);
  out << fmt::format(
      "aircraft porpoising (vertical speed reversing beyond +-{:.0f} ft/min {} times within {:.0f} s where "
      "the records do not): {}\n",
      o.reversalFtMin, o.porpoiseReversals, o.porpoiseSeconds, f.aircraftPorpoising);
  out << fmt::format(
      "aircraft beyond {:.0f} ft/min (over {:.0f} s): {}, {:.1f} s; the records' own profiles (repeated "
      "altitudes left out) beyond it: {} aircraft, the steepest {:+.0f} ft/min ({})\n",
      o.maxVsFtMin, o.vsWindowSeconds, f.aircraftSteep, f.steepSeconds, f.aircraftRecordsSteep, f.recordsSteepestFtMin,
      f.recordsSteepestCallsign);
  out << fmt::format("aircraft more than {:.0f} ft below the ground: {}, {:.1f} s\n", o.belowGroundFt,
                     f.aircraftBelowGround, f.belowGroundSeconds);
  out << fmt::format(
      "arrivals the records land at an airport of the list or end in the air above: {}, flown {}: not touched down "
      "within {:.0f} s {} (where the records reach the ground), away from the records {}, in the air again {}, slow "
      "in the flare {}\n",
      f.arrivals.size(), f.arrivalsJudged, o.touchdownWithinSeconds, f.arrivalsLate, f.arrivalsLong, f.arrivalsUpAgain,
      f.arrivalsSlowFlare);
  out << fmt::format(
      "roll-outs more than {:.0f} kt faster than the records (taxi speed {:.0f} kt at the least) for more than "
      "{:.0f} s: {} of {} aeroplanes, {:.1f} s in them\n",
      o.rollOutExcessKt, o.rollOutEndKt, o.maxRollOutFastSeconds, f.fastRollOuts, f.aircraftFastRollOut,
      f.fastRollOutSeconds);
  out << fmt::format("objects removed while the feed reported their aircraft, never created again: {}\n",
                     f.removedNotRecreated.size());
  out << fmt::format("objects removed in the air with a new position received within {:.0f} s before: {}\n",
                     o.liveSeconds, f.removedAloftLive.size());
}

void lf_printProfileWorst(std::ostream& out, const Figures& f) {
  lf_worstFive(
      out, f, "standing still aloft", [](const auto& a) { return a.stillSeconds; },
      [](const auto& a) {
        return fmt::format(
            "{:.1f} s in {} spells, the longest {:.1f} s from {:.1f} s at {:.0f} ft, nose {:.0f} -> {:.0f} deg",
            a.stillSeconds, a.stillSpells, a.longestStillSeconds, a.stillAt, a.stillAltitudeFt, a.stillFromDeg,
            a.stillToDeg);
      });
  lf_worstFive(
      out, f, "slow flight", [](const auto& a) { return a.slowSeconds; },
      [](const auto& a) {
        return fmt::format("{:.1f} s, longest {:.1f} s, slowest {:.0f} kt, bound {:.0f} kt", a.slowSeconds,
                           a.longestSlowSeconds, a.slowestFlownKt, a.slowBoundKt);
      });
  lf_worstFive(
      out, f, "slow against the positions", [](const auto& a) { return a.slowPaceSeconds; },
      [](const auto& a) {
        return fmt::format("{:.1f} s, longest {:.1f} s from {:.1f} s, {:.0f} kt where the positions go {:.0f} kt",
                           a.slowPaceSeconds, a.longestSlowPaceSeconds, a.slowPaceAt, a.slowPaceFlownKt,
                           a.slowPacePositionsKt);
      });
  lf_worstFive(
      out, f, "crawling against the reported pace", [](const auto& a) { return a.crawlSeconds; },
      [](const auto& a) { return fmt::format("{:.1f} s", a.crawlSeconds); });
  lf_worstFive(
      out, f, "turn-rounds the records do not make", [](const auto& a) { return static_cast<double>(a.turnRounds); },
      [](const auto& a) {
        return fmt::format("{}, the first {:+.0f} deg from {:.1f} s to {:.1f} s, the records' tracks within {:.0f} deg",
                           a.turnRounds, a.turnRoundDeg, a.turnRoundFrom, a.turnRoundTo, a.turnRoundRecordsDeg);
      });
  lf_worstFive(
      out, f, "roll-outs faster than the records", [](const auto& a) { return a.fastRollOutSeconds; },
      [](const auto& a) {
        return fmt::format(
            "{:.1f} s in {}, the longest {:.1f} s from {:.1f} s, {:.0f} kt where the records go {:.0f} kt",
            a.fastRollOutSeconds, a.fastRollOuts, a.longestFastRollOutSeconds, a.fastRollOutAt, a.fastRollOutKt,
            a.fastRollOutRecordsKt);
      });
  lf_worstFive(
      out, f, "turning beyond the category's bank", [](const auto& a) { return a.bankTurnSeconds; },
      [](const auto& a) {
        return fmt::format(
            "{:.1f} s, longest {:.1f} s, worst {:.1f} deg/s at {:.0f} kt where {:.1f} deg/s is the bound "
            "({}, {:.0f} deg bank)",
            a.bankTurnSeconds, a.longestBankTurnSeconds, a.worstBankTurnDegPerS, a.worstBankTurnKt,
            a.worstBankTurnBoundDegPerS, lf_categoryName(a.category), a.bankDeg);
      });
  lf_worstFive(
      out, f, "turning beyond a fixed bank", [](const auto& a) { return a.fixedBankTurnSeconds; },
      [](const auto& a) {
        return fmt::format("{:.1f} s, longest {:.1f} s", a.fixedBankTurnSeconds, a.longestFixedBankTurnSeconds);
      });
  lf_worstFive(
      out, f, "porpoising", [](const auto& a) { return static_cast<double>(a.porpoiseSpells); },
      [](const auto& a) {
        return fmt::format("{} spells, the first from {:.1f} s, {:+.0f} to {:+.0f} ft/min", a.porpoiseSpells,
                           a.porpoiseAt, a.porpoiseUpFtMin, a.porpoiseDownFtMin);
      });
  lf_worstFive(
      out, f, "steep vertical speed", [](const auto& a) { return a.steepSeconds; },
      [](const auto& a) {
        return fmt::format("{:.1f} s, steepest {:+.0f} ft/min at {:.1f} s", a.steepSeconds, a.steepestFtMin,
                           a.steepestAt);
      });
  lf_worstFive(
      out, f, "below the ground", [](const auto& a) { return a.belowGroundSeconds; },
      [](const auto& a) {
        return fmt::format("{:.1f} s, deepest {:.0f} ft below the ground at {:.1f} s", a.belowGroundSeconds,
                           a.deepestBelowFt, a.deepestBelowAt);
      });
}

void lf_printArrivals(std::ostream& out, const Figures& f) {
  out << fmt::format(
      "\narrivals (on the records' clock their last airborne and first ground report and when they reach the "
      "field; the touchdown on the flown clock and against the records' due time):\n");
  std::vector<std::string> notFlown;
  for (const Arrival& a : f.arrivals) {
    const std::string who = fmt::format("{} ({})", a.callsign.empty() ? "?" : a.callsign, a.hexid);
    if (!a.flown) {
      notFlown.push_back(who);
      continue;
    }
    std::string text = a.endedInAir
                           ? fmt::format("  {:<22} {:<4} air {:6.1f} the stream ends in the air {:6.1f}: ", who,
                                         a.airport, a.airborneAt, a.groundAt)
                           : fmt::format("  {:<22} {:<4} air {:6.1f} ground {:6.1f} down {:6.1f}: ", who, a.airport,
                                         a.airborneAt, a.groundAt, a.recordedTouchdownAt);
    if (!a.touchedDown) {
      out << text << "NEVER TOUCHED DOWN" << (a.why.empty() ? "" : ": ") << a.why << "\n";
      continue;
    }
    text += fmt::format("down at {:.1f} s ({:+.1f} s{})", a.touchdownAt, a.lateSeconds,
                        a.endedInAir    ? ""
                        : a.feedStopped ? ", the feed stopped above the field"
                        : a.inTime      ? ""
                                        : ", NOT IN TIME");
    // Where it came down against the records: the line of their ground positions, or of their last
    // airborne ones and the field they end above.
    const std::string along =
        std::isnan(a.alongLineM) ? std::string() : fmt::format(", {:+.0f} m along it", a.alongLineM);
    if (a.feedStopped || a.endedInAir)
      text += fmt::format(", {:.0f} m off the line of the records' last positions{}{}", a.offLineM, along,
                          a.onField         ? fmt::format(", on {}", a.field)
                          : a.field.empty() ? std::string(", NO FIELD")
                                            : fmt::format(", OFF {}", a.field));
    else
      text +=
          fmt::format(", {:.0f} m off the line of the records' ground positions{} from the first", a.offLineM, along);
    if (!a.placeHolds) text += " AWAY FROM THE RECORDS";
    if (a.runway.empty()) {
      text += ", off the runways";
    } else {
      text += fmt::format(", {} {:.0f} m past the threshold of {:.0f}, {:.0f} m off the centre line", a.runway,
                          a.alongM, a.runwayLengthM, a.lateralM);
    }
    if (!a.endedInAir)
      text += !std::isnan(a.recordedAlongM) ? fmt::format(" (the records {:.0f} m)", a.recordedAlongM)
                                            : std::string(" (the records off the runways)");
    text += std::isnan(a.airborneAgainAt) ? std::string(", stays down")
                                          : fmt::format(", IN THE AIR AGAIN at {:.1f} s", a.airborneAgainAt);
    if (a.flareKt > 0 && std::isnan(a.approachKt))
      text += fmt::format(", flare {:.0f} kt (no approach in the records)", a.flareKt);
    else if (a.flareKt > 0)
      text += fmt::format(", flare {:.0f} kt (approach {:.0f} kt){}", a.flareKt, a.approachKt,
                          a.slowFlare ? " TOO SLOW" : "");
    out << text << "\n";
  }
  if (f.arrivals.empty()) out << "  none\n";
  if (!notFlown.empty())
    out << fmt::format("  not flown in the air before their touchdown ({}): {}\n", notFlown.size(),
                       fmt::join(notFlown, ", "));
}

void lf_printRemovals(std::ostream& out, const Figures& f) {
  out << fmt::format("objects removed while the feed reported their aircraft, never created again:{}\n",
                     f.removedNotRecreated.empty() ? " none" : "");
  for (const Removal& r : f.removedNotRecreated)
    out << fmt::format("  {} ({}) object {} removed at {:.1f} s {} at {:.0f} ft, reported until {:.1f} s\n",
                       r.callsign.empty() ? "?" : r.callsign, r.hexid, r.objectId, r.removedAt,
                       r.onGround ? "on the ground" : "in the air", r.altitude, r.reportedUntil);
  out << fmt::format("objects removed in the air while the feed sent new positions:{}\n",
                     f.removedAloftLive.empty() ? " none" : "");
  for (const LiveRemoval& r : f.removedAloftLive)
    out << fmt::format(
        "  {} ({}) object {} removed at {:.1f} s {:.0f} ft above the field, a new position received at {:.1f} s{}\n",
        r.callsign.empty() ? "?" : r.callsign, r.hexid, r.objectId, r.removedAt, r.heightFt, r.receivedAt,
        std::isnan(r.createdAgainAt) ? std::string() : fmt::format(", created again at {:.1f} s", r.createdAgainAt));
}

void lf_printCrossTrack(std::ostream& out, const Figures& f, const Options& o) {
  const CrossTrackFigures& x = f.crossTrack;
  if (x.all.n == 0) return;
  out << fmt::format(
      "\nairborne cross-track against the records' polyline within {:.0f} s of the due time, once a flown "
      "second of fixed-wing aircraft (m):\n",
      o.crossTrackWindowSeconds);
  const auto line = [&](const char* what, const DistanceFigures& d, double bound) {
    out << fmt::format("  {:<42} n={:6} p50 {:5.0f} p95 {:5.0f} max {:6.0f}{}\n", what, d.n, d.p50, d.p95, d.max,
                       std::isfinite(bound) ? fmt::format("  (bound {:.0f})", bound) : std::string());
  };
  line("all", x.all, o.maxCrossTrackAllP95Metres);
  line("away from the records' jumps", x.awayFromJumps, o.maxCrossTrackAwayP95Metres);
  line(fmt::format("below {:.0f} ft within {:.0f} nm of an airport", o.lowAboveFt, o.lowWithinNm).c_str(),
       x.lowNearAirport, o.maxCrossTrackLowP95Metres);
  line("above or farther", x.aboveOrFarther, o.maxCrossTrackHighP95Metres);
  out << fmt::format(
      "  past each aircraft's last new airborne record, apart: n={:6} p50 {:5.0f} p95 {:5.0f} max {:6.0f}\n",
      f.crossTrackPast.n, f.crossTrackPast.p50, f.crossTrackPast.p95, f.crossTrackPast.max);
  lf_worstFive(
      out, f, "cross-track p95",
      [](const auto& a) { return std::isnan(a.crossTrackP95Metres) ? 0.0 : a.crossTrackP95Metres; },
      [](const auto& a) {
        return fmt::format(
            "p95 {:.0f} m over {} s, the farthest {:.0f} m at {:.1f} s; {} s past the last new airborne "
            "record",
            a.crossTrackP95Metres, a.crossTrackSeconds, a.crossTrackMaxMetres, a.crossTrackMaxAt,
            a.crossTrackPastSeconds);
      });
}

}  // namespace

void print(std::ostream& out, const Figures& f, const Options& o, bool perAircraft) {
  if (perAircraft) {
    out << fmt::format("{:<22} {:>3} {:>7} {:>7} {:>6} {:>6} {:>6} {:>6} {:>6} {:>6} {:>6} {:>4} {:>4}\n", "aircraft", "obj",
                       "air s", "nose s", "worst", "turn s", "run s", "fast s", "run s", "flown", "bound", "rev", "drop");
    for (const AircraftFigures& a : f.aircraft)
      out << fmt::format("{:<22} {:>3} {:>7.1f} {:>7.1f} {:>6.0f} {:>6.1f} {:>6.1f} {:>6.1f} {:>6.1f} {:>6.0f} {:>6.0f} {:>4} {:>4}\n",
                         lf_name(a), a.objects, a.airborneSeconds, a.offNoseSeconds, a.worstOffNoseDeg, a.fastTurnSeconds,
                         a.longestFastTurnSeconds, a.overspeedSeconds, a.longestOverspeedSeconds, a.highestFlownKt,
                         a.overspeedBoundKt, a.groundReversals, a.droppedConfirmed);
    out << "(air s: airborne seconds; nose s: of those more than " << o.offNoseDeg
        << " deg off the course flown, worst: the most, deg; turn s: seconds turning faster than " << o.fastTurnDegPerS
        << " deg/s above " << o.fastTurnAboveKt << " kt, run s: the longest run; fast s: seconds faster than the bound, "
        << o.overspeedFactor << " x the highest reported speed + " << o.overspeedAddKt
        << " kt, run s: the longest run; flown: the highest speed flown, kt; rev: reversals on the ground; drop: dropped "
           "positions that later records confirm)\n\n";
    lf_printProfileTable(out, f, o);
  }
  std::size_t aircraft = 0;
  for (const AircraftFigures& a : f.aircraft)
    if (a.seconds > 0) ++aircraft;
  out << fmt::format("aircraft flown: {}\n", aircraft);
  out << fmt::format("airborne seconds more than {:.0f} deg off the nose: {:.1f} of {:.1f} s ({:.2f} %)\n", o.offNoseDeg,
                     f.offNoseSeconds, f.airborneSeconds, 100 * f.offNoseShare());
  out << fmt::format("seconds turning faster than {:.0f} deg/s above {:.0f} kt: {:.1f} s\n", o.fastTurnDegPerS,
                     o.fastTurnAboveKt, f.fastTurnSeconds);
  out << fmt::format("seconds faster than {} x the highest reported speed + {:.0f} kt: {:.1f} s\n", o.overspeedFactor,
                     o.overspeedAddKt, f.overspeedSeconds);
  out << fmt::format("reversals on the ground (faster than {:.0f} deg/s above {:.0f} kt): {} ({:.1f} s)\n",
                     o.groundTurnDegPerS, o.groundTurnAboveKt, f.groundReversals, f.groundReversalSeconds);
  out << fmt::format("dropped positions that later records confirm: {}\n", f.droppedConfirmed);
  out << fmt::format(
      "airborne records dropped whose own track agrees with their course from the last position taken (within "
      "{:.0f} deg, {:.2f} nm or more from it): {}\n",
      o.agreeDeg, o.agreeLeastNm, f.droppedAgreeing);
  out << fmt::format("records held past the next new position: {}\n",
                     f.heldPastNext ? fmt::format("{}", *f.heldPastNext) : std::string("not known (a trace)"));
  out << fmt::format("aircraft off the nose at all: {}, more than {:.0f} s: {}\n", f.aircraftOffNose, o.maxOffNoseSeconds,
                     f.aircraftOffNoseOver);
  out << fmt::format("aircraft turning faster than {:.0f} deg/s for {:.0f} s or more above {:.0f} kt: {}\n",
                     o.fastTurnDegPerS, o.maxTurnRunSeconds, o.fastTurnAboveKt, f.aircraftFastTurnRun);
  out << fmt::format("aircraft faster than the bound for {:.0f} s or more: {}\n", o.maxOverspeedRunSeconds,
                     f.aircraftOverspeedRun);
  out << fmt::format("take-off rolls in the records: {}, not rolled in the simulator: {}\n", f.departures.size(),
                     f.departuresNotRolled);
  for (const Departure& d : f.departures)
    if (!d.rolled)
      out << fmt::format("  {} ({}) rolls at {:.0f} s of the records: {}\n", d.callsign, d.hexid, d.rollTime,
                         d.hasObject ? "its objects never rolled then" : "no object of it was flown");
  lf_printProfileTotals(out, f, o);
  out << "\n";
  lf_worstFive(out, f, "seconds off the nose", [](const auto& a) { return a.offNoseSeconds; },
               [](const auto& a) { return fmt::format("{:.1f} s, worst {:.0f} deg at {:.0f} kt", a.offNoseSeconds,
                                                      a.worstOffNoseDeg, a.worstOffNoseKt); });
  lf_worstFive(out, f, "seconds turning fast", [](const auto& a) { return a.fastTurnSeconds; },
               [](const auto& a) { return fmt::format("{:.1f} s, longest run {:.1f} s, fastest {:.0f} deg/s", a.fastTurnSeconds,
                                                      a.longestFastTurnSeconds, a.fastestTurnDegPerS); });
  lf_worstFive(out, f, "seconds too fast", [](const auto& a) { return a.overspeedSeconds; },
               [](const auto& a) { return fmt::format("{:.1f} s, longest run {:.1f} s, flown up to {:.0f} kt, bound {:.0f} kt",
                                                      a.overspeedSeconds, a.longestOverspeedSeconds, a.highestFlownKt,
                                                      a.overspeedBoundKt); });
  lf_worstFive(out, f, "reversals on the ground",
               [](const auto& a) { return static_cast<double>(a.groundReversals) + a.groundReversalSeconds / 1e6; },
               [](const auto& a) { return fmt::format("{} ({:.1f} s), fastest {:.0f} deg/s", a.groundReversals,
                                                      a.groundReversalSeconds, a.fastestGroundTurnDegPerS); });
  lf_worstFive(out, f, "dropped positions confirmed", [](const auto& a) { return static_cast<double>(a.droppedConfirmed); },
               [](const auto& a) { return fmt::format("{}", a.droppedConfirmed); });
  lf_worstFive(
      out, f, "records dropped whose own track agrees",
      [](const auto& a) { return static_cast<double>(a.droppedAgreeing); },
      [](const auto& a) { return fmt::format("{}", a.droppedAgreeing); });
  lf_worstFive(
      out, f, "records held past the next new position",
      [](const auto& a) { return static_cast<double>(a.heldPastNext); },
      [](const auto& a) { return fmt::format("{}", a.heldPastNext); });
  lf_printProfileWorst(out, f);
  lf_printArrivals(out, f);
  lf_printRemovals(out, f);
  lf_printCrossTrack(out, f, o);
  if (f.delayMedianSeconds || f.crossTrackP95Metres) out << "\n";
  if (f.delayMedianSeconds)
    out << fmt::format("delay between reported and flown clock, median: {:.2f} s\n", *f.delayMedianSeconds);
  if (f.crossTrackP95Metres)
    out << fmt::format("airborne cross-track distance, p95: {:.1f} m\n", *f.crossTrackP95Metres);
}

void printTimeline(std::ostream& out, const Input& input, const Options& o, std::string_view who) {
  std::uint32_t hexid = 0;
  {
    const std::string text(who);
    char* end = nullptr;
    const unsigned long n = std::strtoul(text.c_str(), &end, 10);
    if (end != text.c_str() && *end == '\0') hexid = static_cast<std::uint32_t>(n);
  }
  const auto matches = [&](std::uint32_t h, const std::string& callsign) {
    return (hexid != 0 && h == hexid) || lf_trimUnderscore(callsign) == lf_trimUnderscore(std::string(who));
  };
  struct Row {
    double t;
    int order;
    std::string text;
  };
  std::vector<Row> rows;
  double bound = 0;
  for (const auto& [h, a] : input.reported) {
    if (!matches(h, a.callsign)) continue;
    if (a.highestSpeedKt > 0) bound = o.overspeedFactor * a.highestSpeedKt + o.overspeedAddKt;
    for (const Reported& r : a.positions) {
      std::string taken = r.taken == Taken::Yes ? "taken" : r.taken == Taken::No ? "DROPPED" : "";
      if (r.heldPast) taken += " HELD PAST THE NEXT";
      rows.push_back({r.t + input.delaySeconds, 0,
                      fmt::format("{:9.2f} report {:>10} {:11.6f} {:11.6f} {:7.0f} {:6.0f} {:>6.0f} {:>7} {:>4} {}",
                                  r.t + input.delaySeconds, h, r.latitude, r.longitude, r.altitude, r.trackDeg,
                                  r.speedKt, "", r.airborne ? "A" : "G", taken)});
    }
  }
  const int every = std::max(1, static_cast<int>(std::lround(1.0 / o.gridSeconds)));
  const Fields fields(input);
  for (const FlownTrack& track : input.tracks) {
    if (!matches(track.hexid, track.callsign)) continue;
    const ReportedAircraft* reported = lf_reported(input, track.hexid);
    detail::ProfileMeasures profile(track, reported, input, o, lf_category(track, reported));
    std::int64_t k = 0;
    detail::forEachInterval(
        track, o, fields,
        [&](const Interval& iv) {
          const unsigned seen = profile.add(iv);
          const double off = std::fabs(lf_turnDeg(iv.courseDeg, iv.middle.headingDeg));
          std::string flags;
          if (!iv.onGround && iv.speedKt >= o.courseAboveKt && off > o.offNoseDeg) flags += " NOSE";
          if (iv.speedKt > o.fastTurnAboveKt && iv.turnDegPerS > o.fastTurnDegPerS) flags += " TURN";
          if (bound > 0 && iv.speedKt > bound) flags += " FAST";
          if (iv.ground && iv.speedKt > o.groundTurnAboveKt && iv.turnDegPerS > o.groundTurnDegPerS)
            flags += " REVERSAL";
          static const std::pair<detail::Seen, const char*> kMarks[] = {
              {detail::kStill, " STILL"},          {detail::kSlow, " SLOW"},
              {detail::kCrawl, " CRAWL"},          {detail::kBankTurn, " BANK"},
              {detail::kFixedBankTurn, " BANK35"}, {detail::kReversal, " VSREV"},
              {detail::kSteep, " STEEP"},          {detail::kBelow, " BELOW"},
              {detail::kTurnRound, " TURNROUND"},  {detail::kRollOutFast, " ROLLOUT"}};
          for (const auto& [bit, mark] : kMarks)
            if ((seen & bit) != 0) flags += mark;
          if ((seen & detail::kSlowPace) != 0) flags += fmt::format(" PACE({:.0f})", profile.lastPaceKt());
          if (k++ % every == 0 || !flags.empty())
            rows.push_back(
                {iv.mid, 1,
                 fmt::format(
                     "{:9.2f} flown  {:>10} {:11.6f} {:11.6f} {:7.0f} {:6.1f} {:6.0f} {:7.1f} {:>4} course {:5.1f} "
                     "above {:6.0f} vs {:>6}{}",
                     iv.mid, track.objectId, iv.middle.latitude, iv.middle.longitude, iv.middle.altitude,
                     iv.middle.headingDeg, iv.speedKt, iv.turnDegPerS, iv.onGround ? "G" : "A", iv.courseDeg,
                     iv.heightFt, iv.vsFtMin ? fmt::format("{:.0f}", *iv.vsFtMin) : "-", flags)});
        },
        [&](double) { profile.gap(); });
    if (std::isfinite(track.removedAt))
      rows.push_back({track.removedAt, 2, fmt::format("{:9.2f} object {} removed", track.removedAt, track.objectId)});
  }
  // The arrivals and the removals as measure() judges them.
  Input own;
  own.delaySeconds = input.delaySeconds;
  own.airports = input.airports;
  own.parkElevationFt = input.parkElevationFt;
  own.cgFt = input.cgFt;
  own.user = input.user;
  own.radiusNm = input.radiusNm;
  for (const FlownTrack& t : input.tracks)
    if (matches(t.hexid, t.callsign)) own.tracks.push_back(t);
  for (const auto& [h, a] : input.reported)
    if (matches(h, a.callsign)) own.reported[h] = a;
  Figures judged;
  const Fields ownFields(own);
  detail::measureArrivals(own, o, ownFields, judged);
  detail::measureLiveRemovals(own, o, ownFields, judged);
  for (const Arrival& a : judged.arrivals) {
    rows.push_back({a.airborneAt + input.delaySeconds, 2,
                    fmt::format("{:9.2f} records: last airborne position ({} {})", a.airborneAt + input.delaySeconds,
                                a.airport, a.flown ? "flown" : "not flown then")});
    if (a.endedInAir) {
      rows.push_back({a.groundAt + input.delaySeconds, 2,
                      fmt::format("{:9.2f} records: the stream ends in the air", a.groundAt + input.delaySeconds)});
    } else {
      rows.push_back({a.recordedTouchdownAt + input.delaySeconds, 2,
                      fmt::format("{:9.2f} records: touchdown", a.recordedTouchdownAt + input.delaySeconds)});
      rows.push_back({a.groundAt + input.delaySeconds, 2,
                      fmt::format("{:9.2f} records: first on the ground", a.groundAt + input.delaySeconds)});
    }
    if (a.touchedDown)
      rows.push_back(
          {a.touchdownAt, 2,
           fmt::format("{:9.2f} TOUCHDOWN {:+.1f} s, {:.0f} m off the records' line, {:+.0f} m along it{}, {} {:.0f} m "
                       "of {:.0f}, flare {:.0f} kt{}",
                       a.touchdownAt, a.lateSeconds, a.offLineM, a.alongLineM, a.placeHolds ? "" : " AWAY",
                       a.runway.empty() ? "off the runways" : a.runway, a.alongM, a.runwayLengthM, a.flareKt,
                       std::isnan(a.airborneAgainAt) ? "" : ", in the air again")});
  }
  for (const LiveRemoval& r : judged.removedAloftLive)
    rows.push_back({r.removedAt, 3,
                    fmt::format("{:9.2f} object {} REMOVED IN THE AIR {:.0f} ft above the field, a new position "
                                "received at {:.2f}",
                                r.removedAt, r.objectId, r.heightFt, r.receivedAt)});
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.t != b.t ? a.t < b.t : a.order < b.order; });
  out << fmt::format(
      "timeline of {} (flown clock; reports at their due time, hdg their track; speed bound {:.0f} kt)\n", who, bound);
  out << fmt::format("{:>9} {:6} {:>10} {:>11} {:>11} {:>7} {:>6} {:>6} {:>7} {:>4}\n", "t s", "", "hexid/obj", "lat", "lon",
                     "alt ft", "hdg", "kt", "deg/s", "A/G");
  for (const Row& r : rows) out << r.text << "\n";
}

// ---- The trace ----

namespace {

// The fields of a trace row: ten plain ones, then the detail (quoted when it holds a comma).
bool lf_splitRow(const std::string& line, std::vector<std::string_view>& fields, std::string& detail) {
  fields.clear();
  std::size_t start = 0;
  for (int i = 0; i < 10; ++i) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string::npos) return false;
    fields.emplace_back(line.data() + start, comma - start);
    start = comma + 1;
  }
  detail = line.substr(start);
  if (!detail.empty() && detail.back() == '\r') detail.pop_back();
  if (detail.size() >= 2 && detail.front() == '"' && detail.back() == '"') {
    std::string plain;
    for (std::size_t i = 1; i + 1 < detail.size(); ++i) {
      plain += detail[i];
      if (detail[i] == '"' && detail[i + 1] == '"') ++i;
    }
    detail = plain;
  }
  return true;
}

double lf_number(std::string_view s) {
  const std::string text(s);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(v)) throw std::runtime_error("not a number in the trace: " + text);
  return v;
}

}  // namespace

std::vector<FlownTrack> readTrace(std::istream& in) {
  std::string line;
  if (!std::getline(in, line) || line.rfind("time_s,object_id,what,", 0) != 0)
    throw std::runtime_error("not a simulator trace (its header is missing)");
  std::map<std::uint32_t, FlownTrack> byId;
  std::vector<std::uint32_t> order;
  std::vector<std::string_view> f;
  std::string detail;
  std::size_t row = 1;
  while (std::getline(in, line)) {
    ++row;
    if (line.empty()) continue;
    if (!lf_splitRow(line, f, detail)) throw std::runtime_error(fmt::format("trace row {} has too few fields", row));
    const auto id = static_cast<std::uint32_t>(lf_number(f[1]));
    const std::string_view what = f[2];
    if (what == "created" || what == "added") {
      FlownTrack& t = byId[id];
      if (t.points.empty() && t.callsign.empty()) order.push_back(id);
      t.objectId = id;
      const std::size_t bar = detail.rfind('|');
      t.callsign = bar == std::string::npos ? detail : detail.substr(bar + 1);
      if (std::isnan(t.createdAt)) t.createdAt = lf_number(f[0]);
    } else if (what == "removed" || what == "removed-by-sim") {
      auto it = byId.find(id);
      if (it != byId.end() && std::isnan(it->second.removedAt)) it->second.removedAt = lf_number(f[0]);
    } else if (what == "position") {
      auto it = byId.find(id);
      if (it == byId.end()) continue;  // an object created before the trace began
      FlownPoint p;
      p.t = lf_number(f[0]);
      p.latitude = lf_number(f[3]);
      p.longitude = lf_number(f[4]);
      p.altitude = static_cast<float>(lf_number(f[5]));
      double heading = std::fmod(lf_number(f[8]), 360.0);
      if (heading < 0) heading += 360;
      p.headingDeg = static_cast<float>(heading);
      p.onGround = f[9] == "1";
      auto& pts = it->second.points;
      // Rows of one object come in time order; two at the same time keep the later.
      if (!pts.empty() && p.t <= pts.back().t) {
        if (p.t == pts.back().t) pts.back() = p;
        continue;
      }
      pts.push_back(p);
    }
  }
  std::vector<FlownTrack> out;
  for (std::uint32_t id : order) {
    FlownTrack& t = byId[id];
    if (!t.callsign.empty() && t.callsign.back() == '*') continue;
    out.push_back(std::move(t));
  }
  return out;
}

void matchHexids(std::vector<FlownTrack>& tracks, const std::map<std::uint32_t, ReportedAircraft>& reported) {
  std::map<std::string, std::vector<std::uint32_t>> byCallsign;
  for (const auto& [hexid, a] : reported)
    if (!a.callsign.empty()) byCallsign[lf_trimUnderscore(a.callsign)].push_back(hexid);
  for (FlownTrack& t : tracks) {
    if (t.hexid != 0 || t.points.empty()) continue;
    auto it = byCallsign.find(lf_trimUnderscore(t.callsign));
    if (it == byCallsign.end()) continue;
    double best = std::numeric_limits<double>::infinity();
    for (std::uint32_t hexid : it->second) {
      for (const Reported& r : reported.at(hexid).positions) {
        const double d = gf_distanceNm(lf_pos(t.points.front()), lf_pos(r));
        if (d < best) {
          best = d;
          t.hexid = hexid;
        }
      }
    }
  }
}

std::optional<double> fitDelay(const Input& input, double from, double to) {
  const auto tracks = lf_tracksByHexid(input);
  struct Use {
    const Reported* r;
    const std::vector<const FlownTrack*>* tracks;
  };
  std::vector<Use> uses;
  for (const auto& [hexid, a] : input.reported) {
    auto t = tracks.find(hexid);
    if (t == tracks.end()) continue;
    for (std::size_t i = 0; i < a.positions.size(); ++i) {
      const Reported& r = a.positions[i];
      if (!r.airborne) continue;
      if (i > 0 && a.positions[i - 1].latitude == r.latitude && a.positions[i - 1].longitude == r.longitude) continue;
      uses.push_back({&r, &t->second});
    }
  }
  // Every n-th position is plenty for one number.
  const std::size_t stride = std::max<std::size_t>(1, uses.size() / 4000);
  // The flown clock: a run shorter than the recording meets only the positions due while it ran.
  double flownFrom = std::numeric_limits<double>::infinity(), flownTo = -flownFrom;
  for (const FlownTrack& t : input.tracks) {
    if (t.points.empty()) continue;
    flownFrom = std::min(flownFrom, t.points.front().t);
    flownTo = std::max(flownTo, t.points.back().t);
  }
  const auto medianAt = [&](double delay) {
    std::vector<double> d;
    std::size_t due = 0;
    for (std::size_t i = 0; i < uses.size(); i += stride) {
      const double at = uses[i].r->t + delay;
      if (at >= flownFrom && at <= flownTo) ++due;
      for (const FlownTrack* t : *uses[i].tracks) {
        const auto p = lf_at(*t, at, 10);
        if (!p) continue;
        d.push_back(gf_distanceNm(lf_pos(*p), lf_pos(*uses[i].r)));
        break;
      }
    }
    // A delay that meets few of the positions due while the objects flew is no fit.
    if (d.empty() || d.size() * 4 < due) return std::numeric_limits<double>::infinity();
    return lf_median(std::move(d));
  };
  double best = std::numeric_limits<double>::infinity(), bestDelay = 0;
  for (double d = from; d <= to; d += 1) {
    const double m = medianAt(d);
    if (m < best) {
      best = m;
      bestDelay = d;
    }
  }
  if (!std::isfinite(best)) return std::nullopt;
  const double coarse = bestDelay;
  for (double d = coarse - 1; d <= coarse + 1 + 1e-9; d += 0.1) {
    const double m = medianAt(d);
    if (m < best) {
      best = m;
      bestDelay = d;
    }
  }
  return bestDelay;
}

void keepDropsOfFlownAircraft(Input& input) {
  const auto tracks = lf_tracksByHexid(input);
  for (auto& [hexid, a] : input.reported) {
    auto t = tracks.find(hexid);
    for (Reported& r : a.positions) {
      if (r.taken != Taken::No) continue;
      const double due = r.t + input.delaySeconds;
      const bool flew = t != tracks.end() && std::any_of(t->second.begin(), t->second.end(), [&](const FlownTrack* track) {
                          return track->points.front().t <= due && due <= track->points.back().t;
                        });
      if (!flew) r.taken = Taken::Unknown;
    }
  }
}

void inferTaken(Input& input, const Options& o) {
  const auto tracks = lf_tracksByHexid(input);
  // A position due so late that the flown clock ends before its time to be passed is not judged.
  double end = -std::numeric_limits<double>::infinity();
  for (const FlownTrack& t : input.tracks)
    if (!t.points.empty()) end = std::max(end, t.points.back().t);
  for (auto& [hexid, a] : input.reported) {
    auto t = tracks.find(hexid);
    double lastPass = -std::numeric_limits<double>::infinity();  // when the position taken before was passed
    for (Reported& r : a.positions) {
      r.taken = Taken::Unknown;
      if (t == tracks.end()) continue;
      const double due = r.t + input.delaySeconds;
      if (due + o.passSeconds > end) continue;
      const double from = std::max(due - o.passSeconds, lastPass);
      const double to = due + std::max(o.passSeconds, o.lateSeconds);
      bool flew = false;
      double passed = std::numeric_limits<double>::infinity();
      for (const FlownTrack* track : t->second) {
        const auto& p = track->points;
        // Only an object flown at the due time can have dropped the position.
        if (p.front().t <= due && due <= p.back().t) flew = true;
        if (p.back().t < from || p.front().t > to) continue;
        auto it = std::lower_bound(p.begin(), p.end(), from, [](const FlownPoint& q, double v) { return q.t < v; });
        for (; it != p.end() && it->t <= to && it->t < passed; ++it)
          if (gf_distanceNm(lf_pos(*it), lf_pos(r)) <= o.passNm) passed = it->t;
      }
      if (!flew) continue;
      r.taken = std::isfinite(passed) ? Taken::Yes : Taken::No;
      if (std::isfinite(passed)) lastPass = passed;
    }
  }
}

}  // namespace amb::flightcheck
