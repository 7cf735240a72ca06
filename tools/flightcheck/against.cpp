// The measures of a flown track against what its aircraft's records report, interval by interval:
// turn-rounds the records' own tracks do not make, slow flight against the speed the positions
// imply, and roll-outs faster than the records slow.

#include "flightcheck/sampling.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

namespace amb::flightcheck::detail {

namespace {

constexpr double kMetresPerNm = 1852;

}  // namespace

AgainstRecords::AgainstRecords(const FlownTrack& track, const ReportedAircraft* reported, const Input& input,
                               const Options& o, int category)
    : m_o(o),
      m_fixedWing(category != kRotorcraft),
      m_from(track.points.empty() ? 0 : track.points.front().t),
      m_to(track.points.empty() ? 0 : track.points.back().t) {
  m_slowPace.least = o.maxSlowRunSeconds;
  // More than the bound: a spell exactly as long holds it.
  m_rollFast.least = o.maxRollOutFastSeconds + 1e-6;
  if (reported == nullptr) return;
  std::set<std::pair<double, double>> seen;
  LatLon last;
  const Reported* previous = nullptr;
  for (const Reported& r : reported->positions) {
    const double due = r.t + input.delaySeconds;
    m_speeds.emplace_back(due, r.speedKt);
    if (r.taken == Taken::No) continue;
    // A repeat says nothing new of the track either.
    const bool repeat = previous != nullptr && previous->latitude == r.latitude && previous->longitude == r.longitude;
    previous = &r;
    if (r.trackDeg != 0 && !repeat) m_tracks.emplace_back(due, r.trackDeg);
    // Each distinct position once, at the time it was first reported: a repeat, or a stale copy of
    // an older one sent again, is nothing new.
    if (!r.airborne || !seen.emplace(r.latitude, r.longitude).second) continue;
    const LatLon at = posOf(r);
    const double metres = m_paceMetres.empty() ? 0 : m_paceMetres.back() + gf_distanceNm(last, at) * kMetresPerNm;
    last = at;
    m_paceDue.push_back(due);
    m_paceMetres.push_back(metres);
    m_paceSpeedKt.push_back(r.speedKt);
  }
}

std::optional<double> AgainstRecords::paceAt(double t) {
  const auto first = std::lower_bound(m_paceDue.begin(), m_paceDue.end(), t - m_o.paceSeconds);
  const auto end = std::upper_bound(m_paceDue.begin(), m_paceDue.end(), t);
  if (end - first < 2) return std::nullopt;
  const auto a = static_cast<std::size_t>(first - m_paceDue.begin());
  const auto b = static_cast<std::size_t>(end - m_paceDue.begin()) - 1;
  if (m_paceDue[b] - m_paceDue[a] < m_o.paceLeastSeconds) return std::nullopt;
  if (a == m_paceFrom && b == m_paceTo) return m_pace > 0 ? std::optional<double>(m_pace / kMetresPerKnot) : std::nullopt;
  m_paceFrom = a;
  m_paceTo = b;
  m_pace = 0;
  // The legs' speeds, each weighing its time: their median is what most of the way was flown at. A
  // leg faster than no aircraft flies between two reports of those speeds (a second sender's position,
  // a stale one) is no way flown at all.
  std::vector<std::pair<double, double>> legs;
  double metres = 0, seconds = 0;
  for (std::size_t k = a; k < b; ++k) {
    const double s = m_paceDue[k + 1] - m_paceDue[k];
    const double m = m_paceMetres[k + 1] - m_paceMetres[k];
    const double mostKt = m_o.implausibleFactor * std::max(m_paceSpeedKt[k], m_paceSpeedKt[k + 1]) + m_o.implausibleAddKt;
    if (s <= 0 || m / s > mostKt * kMetresPerKnot) continue;
    legs.emplace_back(m / s, s);
    metres += m;
    seconds += s;
  }
  if (seconds < m_o.paceLeastSeconds) return std::nullopt;
  std::sort(legs.begin(), legs.end());
  double median = legs.back().first, weight = 0;
  for (const auto& [speed, s] : legs)
    if ((weight += s) >= seconds / 2) {
      median = speed;
      break;
    }
  m_pace = std::min(metres / seconds, median);
  return m_pace / kMetresPerKnot;
}

double AgainstRecords::recordsSpeedAt(double t) const {
  const auto after = std::upper_bound(m_speeds.begin(), m_speeds.end(), t,
                                      [](double v, const std::pair<double, double>& s) { return v < s.first; });
  if (after == m_speeds.begin()) return after->second;
  if (after == m_speeds.end()) return m_speeds.back().second;
  const auto& a = *(after - 1);
  const auto& b = *after;
  if (b.first <= a.first) return b.second;
  return a.second + (t - a.first) / (b.first - a.first) * (b.second - a.second);
}

// The most two of the records' tracks differ over [from, to], with the one before and after.
double AgainstRecords::recordsTrackSpread(double from, double to) const {
  auto first = std::lower_bound(m_tracks.begin(), m_tracks.end(), from,
                                [](const std::pair<double, double>& s, double v) { return s.first < v; });
  auto end = std::upper_bound(first, m_tracks.end(), to,
                              [](double v, const std::pair<double, double>& s) { return v < s.first; });
  if (first != m_tracks.begin()) --first;
  if (end != m_tracks.end()) ++end;
  double spread = 0;
  for (auto i = first; i != end; ++i)
    for (auto j = i + 1; j != end; ++j) spread = std::max(spread, std::fabs(turnDeg(i->second, j->second)));
  return spread;
}

// Adds the interval's heading to the turn summed over the last turnRoundSeconds; true when it has
// turned through more than turnRoundDeg one way and the records' tracks do not, counted.
bool AgainstRecords::turnRound(const Interval& iv) {
  const double t = iv.mid, heading = iv.middle.headingDeg;
  if (!m_turnOn) {
    m_turnOn = true;
    m_turned = 0;
  } else {
    m_turned += turnDeg(m_lastHeading, heading);
  }
  m_lastHeading = heading;
  while (!m_most.empty() && m_most.back().turned <= m_turned) m_most.pop_back();
  m_most.push_back({t, m_turned});
  while (!m_least.empty() && m_least.back().turned >= m_turned) m_least.pop_back();
  m_least.push_back({t, m_turned});
  while (m_most.front().t < t - m_o.turnRoundSeconds - 1e-9) m_most.pop_front();
  while (m_least.front().t < t - m_o.turnRoundSeconds - 1e-9) m_least.pop_front();
  const double right = m_turned - m_least.front().turned, left = m_most.front().turned - m_turned;
  if (right <= m_o.turnRoundDeg && left <= m_o.turnRoundDeg) return false;
  const bool toRight = right > m_o.turnRoundDeg;
  const double from = toRight ? m_least.front().t : m_most.front().t;
  const double turned = toRight ? right : -left;
  // The next turn-round is counted from here.
  m_most.clear();
  m_least.clear();
  m_most.push_back({t, m_turned});
  m_least.push_back({t, m_turned});
  const double spread = recordsTrackSpread(from, t);
  if (spread >= m_o.turnRoundRecordsDeg) {
    ++m_f.turnRoundsWithRecords;
    return false;
  }
  if (m_f.turnRounds++ == 0) {
    m_f.turnRoundFrom = from;
    m_f.turnRoundTo = t;
    m_f.turnRoundDeg = turned;
    m_f.turnRoundRecordsDeg = spread;
  }
  return true;
}

void AgainstRecords::closeSlowPace() {
  if (m_slowPace.close()) {
    m_paceFlown = m_spellFlown;
    m_pacePositions = m_spellPositions;
  }
}

void AgainstRecords::closeRollOut() {
  if (m_rollFast.close()) {
    m_rollKt = m_spellKt;
    m_rollRecordsKt = m_spellRecordsKt;
  }
  m_spellKt = 0;
}

unsigned AgainstRecords::add(const Interval& iv) {
  const Options& o = m_o;
  const double h = o.gridSeconds;
  unsigned seen = 0;
  if (!m_fixedWing) return seen;
  const bool airborne = !iv.onGround;

  if (airborne) {
    if (turnRound(iv)) seen |= kTurnRound;
  } else {
    m_turnOn = false;
    m_most.clear();
    m_least.clear();
  }

  bool slow = false;
  if (airborne && iv.heightFt > o.slowAboveFt && iv.mid >= m_from + o.slowMarginSeconds &&
      iv.mid <= m_to - o.slowMarginSeconds) {
    const auto pace = paceAt(iv.mid);
    slow = pace && iv.speedKt < o.slowShare * *pace;
    if (slow && (!m_slowPace.on || iv.speedKt - o.slowShare * *pace < m_spellFlown - o.slowShare * m_spellPositions)) {
      m_spellFlown = iv.speedKt;
      m_spellPositions = *pace;
    }
  }
  if (slow) {
    m_slowPace.add(true, iv.start, h);
    seen |= kSlowPace;
  } else {
    closeSlowPace();
  }

  if (airborne) {
    m_wasAirborne = true;
    m_rolling = false;
    closeRollOut();
    return seen;
  }
  if (m_wasAirborne) {
    m_wasAirborne = false;
    m_rolling = true;
    m_rollFrom = iv.mid;
  }
  if (m_rolling && (iv.speedKt < o.rollOutEndKt || iv.mid - m_rollFrom > o.rollOutSeconds)) {
    m_rolling = false;
    closeRollOut();
  }
  // Without records nothing says how fast it should roll.
  if (!m_rolling || m_speeds.empty()) return seen;
  const double records = recordsSpeedAt(iv.mid);
  const double over = iv.speedKt - (std::max(records, o.rollOutEndKt) + o.rollOutExcessKt);
  const bool fast = over > 0;
  if (fast && (!m_rollFast.on || over > m_spellKt - (std::max(m_spellRecordsKt, o.rollOutEndKt) + o.rollOutExcessKt))) {
    m_spellKt = iv.speedKt;
    m_spellRecordsKt = records;
  }
  if (!fast) {
    closeRollOut();
  } else {
    m_rollFast.add(true, iv.start, h);
    seen |= kRollOutFast;
  }
  return seen;
}

void AgainstRecords::gap() {
  m_turnOn = false;
  m_most.clear();
  m_least.clear();
  closeSlowPace();
  closeRollOut();
  m_rolling = false;
  m_wasAirborne = false;
}

void AgainstRecords::finish(AircraftFigures& a) {
  gap();
  a.slowPaceSeconds += m_slowPace.seconds;
  if (m_slowPace.longest > a.longestSlowPaceSeconds) {
    a.longestSlowPaceSeconds = m_slowPace.longest;
    a.slowPaceAt = m_slowPace.longestStart;
    a.slowPaceFlownKt = m_paceFlown;
    a.slowPacePositionsKt = m_pacePositions;
  }
  if (m_f.turnRounds > 0 && a.turnRounds == 0) {
    a.turnRoundFrom = m_f.turnRoundFrom;
    a.turnRoundTo = m_f.turnRoundTo;
    a.turnRoundDeg = m_f.turnRoundDeg;
    a.turnRoundRecordsDeg = m_f.turnRoundRecordsDeg;
  }
  a.turnRounds += m_f.turnRounds;
  a.turnRoundsWithRecords += m_f.turnRoundsWithRecords;
  a.fastRollOuts += m_rollFast.count;
  a.fastRollOutSeconds += m_rollFast.seconds;
  if (m_rollFast.longest > a.longestFastRollOutSeconds) {
    a.longestFastRollOutSeconds = m_rollFast.longest;
    a.fastRollOutAt = m_rollFast.longestStart;
    a.fastRollOutKt = m_rollKt;
    a.fastRollOutRecordsKt = m_rollRecordsKt;
  }
}

}  // namespace amb::flightcheck::detail
