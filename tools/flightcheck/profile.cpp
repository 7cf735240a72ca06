// The measures of the flight profile, interval by interval: standing still aloft, slow flight,
// crawling against the reported pace, turns against the bank, porpoising where the records' own
// altitudes do not swing, steep vertical speeds and points below the ground.

#include "flightcheck/sampling.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace amb::flightcheck::detail {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool lf_samePlace(const Reported& a, const Reported& b) {
  return a.latitude == b.latitude && a.longitude == b.longitude;
}

// The rate of a coordinated turn at a bank and a ground speed, degrees a second.
double lf_bankedRateDegPerS(double bankDeg, double speedKt) {
  return kStandardGravity * std::tan(bankDeg * kDegToRad) / (speedKt * kMetresPerKnot) * kRadToDeg;
}

}  // namespace

bool Spells::add(bool holds, double at, double h) {
  if (!holds) return close();
  if (!on) {
    on = true;
    start = at;
    current = 0;
  }
  current += h;
  return false;
}

bool Spells::close() {
  if (!on) return false;
  on = false;
  if (current >= least - 1e-9) {
    seconds += current;
    ++count;
  }
  const bool longestYet = current > longest;
  if (longestYet) {
    longest = current;
    longestStart = start;
  }
  current = 0;
  return longestYet;
}

RecordProfile::RecordProfile(const ReportedAircraft* aircraft, double delaySeconds, bool withRepeats) {
  if (aircraft == nullptr) return;
  const Reported* previous = nullptr;
  for (const Reported& r : aircraft->positions) {
    if (r.taken == Taken::No) continue;
    const bool repeat = previous != nullptr && previous->altitude == r.altitude;
    previous = &r;
    if (repeat && !withRepeats) continue;
    const double due = r.t + delaySeconds;
    if (!m_points.empty() && due <= m_points.back().first) {
      if (due == m_points.back().first) m_points.back().second = r.altitude;
      continue;
    }
    m_points.emplace_back(due, r.altitude);
  }
}

std::optional<double> RecordProfile::altitudeAt(double t) const {
  if (m_points.size() < 2 || t < m_points.front().first || t > m_points.back().first) return std::nullopt;
  auto after = std::lower_bound(m_points.begin(), m_points.end(), t,
                                [](const std::pair<double, double>& p, double v) { return p.first < v; });
  if (after->first == t) return after->second;
  const auto& a = *(after - 1);
  const auto& b = *after;
  return a.second + (t - a.first) / (b.first - a.first) * (b.second - a.second);
}

std::optional<double> RecordProfile::vsAt(double t, double window) const {
  const auto a = altitudeAt(t - window / 2), b = altitudeAt(t + window / 2);
  if (!a || !b || window <= 0) return std::nullopt;
  return (*b - *a) / window * 60;
}

int RecordProfile::swings(double from, double to, double leastFt) const {
  int direction = 0, count = 0;
  double extreme = 0, low = 0, high = 0;
  bool any = false;
  for (const auto& [due, altitude] : m_points) {
    if (due < from || due > to) continue;
    if (!any) {
      any = true;
      low = high = altitude;
      continue;
    }
    if (direction == 0) {
      low = std::min(low, altitude);
      high = std::max(high, altitude);
      if (altitude - low >= leastFt || high - altitude >= leastFt) {
        direction = altitude - low >= leastFt ? 1 : -1;
        extreme = altitude;
      }
      continue;
    }
    if ((altitude - extreme) * direction > 0) {
      extreme = altitude;
    } else if (std::fabs(altitude - extreme) >= leastFt) {
      ++count;
      direction = -direction;
      extreme = altitude;
    }
  }
  return count;
}

Pace::Pace(const ReportedAircraft* aircraft, double delaySeconds, double gapSeconds) : m_gap(gapSeconds) {
  if (aircraft == nullptr) return;
  const Reported* last = nullptr;
  for (const Reported& r : aircraft->positions) {
    if (r.taken == Taken::No || !r.airborne) {
      if (!r.airborne) last = nullptr;
      continue;
    }
    // A repeat keeps the time its position was first reported.
    if (last != nullptr && lf_samePlace(*last, r)) continue;
    last = &r;
    m_points.push_back({r.t + delaySeconds, posOf(r)});
  }
}

std::optional<double> Pace::at(double t) const {
  auto after =
      std::upper_bound(m_points.begin(), m_points.end(), t, [](double v, const Point& p) { return v < p.due; });
  if (after == m_points.begin() || after == m_points.end()) return std::nullopt;
  const Point& a = *(after - 1);
  const Point& b = *after;
  const double seconds = b.due - a.due;
  if (seconds <= 0 || seconds > m_gap) return std::nullopt;
  return gf_distanceNm(a.at, b.at) / seconds * kSecondsPerHour;
}

ProfileMeasures::ProfileMeasures(const FlownTrack& track, const ReportedAircraft* reported, const Input& input,
                                 const Options& o, int category)
    : m_o(o),
      m_fixedWing(category != kRotorcraft),
      m_rotor(category == kRotorcraft),
      m_bankDeg(category >= 0 && category < 6 && o.categoryBankDeg[static_cast<std::size_t>(category)] > 0
                    ? o.categoryBankDeg[static_cast<std::size_t>(category)]
                    : o.fixedBankDeg),
      m_from(track.points.empty() ? 0 : track.points.front().t),
      m_to(track.points.empty() ? 0 : track.points.back().t),
      m_levels(reported, input.delaySeconds, false),
      m_pace(reported, input.delaySeconds, o.paceGapSeconds),
      m_against(track, reported, input, o, category) {
  m_still.least = o.maxStillRunSeconds;
  m_slow.least = o.maxSlowRunSeconds;
  m_bank.least = o.maxBankTurnRunSeconds;
  m_fixedBank.least = o.maxBankTurnRunSeconds;
  m_f.slowestFlownKt = kInfinity;
  if (reported != nullptr) {
    double slowest = kInfinity;
    for (const Reported& r : reported->positions)
      if (r.airborne && r.speedKt > 0) slowest = std::min(slowest, r.speedKt);
    if (std::isfinite(slowest)) m_slowBound = o.slowShare * slowest;
  }
}

unsigned ProfileMeasures::add(const Interval& iv) {
  const Options& o = m_o;
  const double h = o.gridSeconds, speed = iv.speedKt, heading = iv.middle.headingDeg;
  const bool airborne = !iv.onGround;
  unsigned seen = 0;

  const bool still = m_fixedWing && airborne && iv.heightFt > o.stillAboveFt && speed < o.stillKt;
  if (still && !m_still.on) {
    m_spellAltitude = iv.middle.altitude;
    m_spellFrom = heading;
  }
  if (m_still.add(still, iv.start, h)) {
    m_stillAltitude = m_spellAltitude;
    m_stillFrom = m_spellFrom;
    m_stillTo = m_lastHeading;
  }
  m_lastHeading = heading;
  if (still) seen |= kStill;

  const bool slowMeasured = m_fixedWing && m_slowBound > 0 && airborne && iv.heightFt > o.slowAboveFt &&
                            iv.mid >= m_from + o.slowMarginSeconds && iv.mid <= m_to - o.slowMarginSeconds;
  if (slowMeasured) m_f.slowestFlownKt = std::min(m_f.slowestFlownKt, speed);
  const bool slow = slowMeasured && speed < m_slowBound;
  m_slow.add(slow, iv.start, h);
  if (slow) seen |= kSlow;

  if (airborne && speed < o.crawlKt) {
    const auto pace = m_pace.at(iv.mid);
    if (pace && *pace > o.paceKt) {
      m_f.crawlSeconds += h;
      seen |= kCrawl;
    }
  }

  bool bankTurn = false, fixedBankTurn = false;
  if (airborne && speed > 0 && !(m_rotor && speed < o.rotorTurnAboveKt)) {
    const double bound = o.bankTurnFactor * lf_bankedRateDegPerS(m_bankDeg, speed) + o.bankTurnAddDegPerS;
    bankTurn = iv.turnDegPerS > bound;
    fixedBankTurn =
        iv.turnDegPerS > o.bankTurnFactor * lf_bankedRateDegPerS(o.fixedBankDeg, speed) + o.bankTurnAddDegPerS;
    if (bankTurn && (m_f.worstBankTurnBoundDegPerS == 0 ||
                     iv.turnDegPerS / bound > m_f.worstBankTurnDegPerS / m_f.worstBankTurnBoundDegPerS)) {
      m_f.worstBankTurnDegPerS = iv.turnDegPerS;
      m_f.worstBankTurnBoundDegPerS = bound;
      m_f.worstBankTurnKt = speed;
    }
  }
  m_bank.add(bankTurn, iv.start, h);
  m_fixedBank.add(fixedBankTurn, iv.start, h);
  if (bankTurn) seen |= kBankTurn;
  if (fixedBankTurn) seen |= kFixedBankTurn;

  if (iv.vsFtMin) {
    const double vs = *iv.vsFtMin;
    if (std::fabs(vs) > o.maxVsFtMin) {
      m_f.steepSeconds += h;
      seen |= kSteep;
    }
    if (std::fabs(vs) > std::fabs(m_f.steepestFtMin)) {
      m_f.steepestFtMin = vs;
      m_f.steepestAt = iv.mid;
    }
  }
  if (airborne && iv.vsFtMin) {
    const double vs = *iv.vsFtMin;
    const int now = vs > o.reversalFtMin ? 1 : vs < -o.reversalFtMin ? -1 : 0;
    if (now != 0) {
      if (m_vsState != 0 && now != m_vsState) {
        m_reversals.push_back(iv.mid);
        seen |= kReversal;
      }
      m_vsState = now;
    }
    m_vs.emplace_back(iv.mid, vs);
  } else {
    closePorpoise();
  }

  if (iv.aboveGroundFt < -o.belowGroundFt) {
    m_f.belowGroundSeconds += h;
    seen |= kBelow;
    if (-iv.aboveGroundFt > m_f.deepestBelowFt) {
      m_f.deepestBelowFt = -iv.aboveGroundFt;
      m_f.deepestBelowAt = iv.mid;
    }
  }
  return seen | m_against.add(iv);
}

void ProfileMeasures::closePorpoise() {
  const auto k = static_cast<std::size_t>(std::max(2, m_o.porpoiseReversals));
  for (std::size_t i = k - 1; i < m_reversals.size();) {
    const double first = m_reversals[i - (k - 1)], last = m_reversals[i];
    if (last - first > m_o.porpoiseSeconds) {
      ++i;
      continue;
    }
    const double w = m_o.vsWindowSeconds;
    // Where the records' own altitudes swing, the aircraft may follow them up and down.
    if (m_levels.swings(first - m_o.recordsSwingBeforeSeconds, last + m_o.recordsSwingAfterSeconds,
                        m_o.recordsSwingFt) >= m_o.recordsSwings) {
      ++i;
      continue;
    }
    if (m_f.porpoiseSpells++ == 0) m_f.porpoiseAt = first;
    for (const auto& [t, vs] : m_vs) {
      if (t < first - w || t > last + w) continue;
      m_f.porpoiseUpFtMin = std::max(m_f.porpoiseUpFtMin, vs);
      m_f.porpoiseDownFtMin = std::min(m_f.porpoiseDownFtMin, vs);
    }
    i += k;
  }
  m_reversals.clear();
  m_vs.clear();
  m_vsState = 0;
}

void ProfileMeasures::closeAll() {
  if (m_still.close()) {
    m_stillAltitude = m_spellAltitude;
    m_stillFrom = m_spellFrom;
    m_stillTo = m_lastHeading;
  }
  m_slow.close();
  m_bank.close();
  m_fixedBank.close();
  closePorpoise();
}

void ProfileMeasures::gap() {
  closeAll();
  m_against.gap();
}

void ProfileMeasures::finish(AircraftFigures& a) {
  closeAll();
  m_against.finish(a);
  a.bankDeg = m_bankDeg;
  a.slowBoundKt = m_slowBound;
  a.stillSeconds += m_still.seconds;
  a.stillSpells += m_still.count;
  if (m_still.longest > a.longestStillSeconds) {
    a.longestStillSeconds = m_still.longest;
    a.stillAt = m_still.longestStart;
    a.stillAltitudeFt = m_stillAltitude;
    a.stillFromDeg = m_stillFrom;
    a.stillToDeg = m_stillTo;
  }
  a.slowSeconds += m_slow.seconds;
  a.longestSlowSeconds = std::max(a.longestSlowSeconds, m_slow.longest);
  if (std::isfinite(m_f.slowestFlownKt) && (a.slowestFlownKt == 0 || m_f.slowestFlownKt < a.slowestFlownKt))
    a.slowestFlownKt = m_f.slowestFlownKt;
  a.crawlSeconds += m_f.crawlSeconds;
  a.bankTurnSeconds += m_bank.seconds;
  a.longestBankTurnSeconds = std::max(a.longestBankTurnSeconds, m_bank.longest);
  if (m_f.worstBankTurnBoundDegPerS > 0 &&
      (a.worstBankTurnBoundDegPerS == 0 || m_f.worstBankTurnDegPerS / m_f.worstBankTurnBoundDegPerS >
                                               a.worstBankTurnDegPerS / a.worstBankTurnBoundDegPerS)) {
    a.worstBankTurnDegPerS = m_f.worstBankTurnDegPerS;
    a.worstBankTurnBoundDegPerS = m_f.worstBankTurnBoundDegPerS;
    a.worstBankTurnKt = m_f.worstBankTurnKt;
  }
  a.fixedBankTurnSeconds += m_fixedBank.seconds;
  a.longestFixedBankTurnSeconds = std::max(a.longestFixedBankTurnSeconds, m_fixedBank.longest);
  if (m_f.porpoiseSpells > 0 && a.porpoiseSpells == 0) a.porpoiseAt = m_f.porpoiseAt;
  a.porpoiseSpells += m_f.porpoiseSpells;
  a.porpoiseUpFtMin = std::max(a.porpoiseUpFtMin, m_f.porpoiseUpFtMin);
  a.porpoiseDownFtMin = std::min(a.porpoiseDownFtMin, m_f.porpoiseDownFtMin);
  a.steepSeconds += m_f.steepSeconds;
  if (std::fabs(m_f.steepestFtMin) > std::fabs(a.steepestFtMin)) {
    a.steepestFtMin = m_f.steepestFtMin;
    a.steepestAt = m_f.steepestAt;
  }
  a.belowGroundSeconds += m_f.belowGroundSeconds;
  if (m_f.deepestBelowFt > a.deepestBelowFt) {
    a.deepestBelowFt = m_f.deepestBelowFt;
    a.deepestBelowAt = m_f.deepestBelowAt;
  }
}

double recordsSteepest(const Input& input, const Options& o, std::uint32_t& hexid, std::size_t& beyond) {
  double steepest = 0;
  beyond = 0;
  for (const auto& [h, aircraft] : input.reported) {
    const RecordProfile profile(&aircraft, input.delaySeconds, false);
    if (profile.empty()) continue;
    const double from = aircraft.positions.front().t + input.delaySeconds;
    const double to = aircraft.positions.back().t + input.delaySeconds;
    double own = 0;
    for (double t = from; t <= to; t += 1) {
      const auto vs = profile.vsAt(t, o.vsWindowSeconds);
      if (vs) own = std::max(own, std::fabs(*vs));
      if (vs && std::fabs(*vs) > std::fabs(steepest)) {
        steepest = *vs;
        hexid = h;
      }
    }
    if (own > o.maxVsFtMin) ++beyond;
  }
  return steepest;
}

}  // namespace amb::flightcheck::detail
