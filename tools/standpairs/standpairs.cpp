#include "standpairs/standpairs.hpp"

#include "tracemap/tracemap.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace amb::standpairs {

namespace {

constexpr double kPiOver180 = 3.14159265358979323846 / 180.0;

bool number(const std::string& s, double& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && std::isfinite(out);
}

}  // namespace

double metresBetween(double lat1, double lon1, double lat2, double lon2) {
  const double p1 = lat1 * kPiOver180, p2 = lat2 * kPiOver180;
  const double dp = p2 - p1, dl = (lon2 - lon1) * kPiOver180;
  const double h =
      std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
  return 2 * 6371008.8 * std::asin(std::min(1.0, std::sqrt(h)));
}

Watch::Watch(std::vector<StandCircle> stands, double longerThanSeconds)
    : m_stands(std::move(stands)), m_bound(longerThanSeconds) {}

const StandCircle* Watch::standAt(double lat, double lon) const {
  const StandCircle* nearest = nullptr;
  double best = 0;
  for (const StandCircle& s : m_stands) {
    const double d = metresBetween(lat, lon, s.lat, s.lon);
    if (d <= s.radiusMetres && (nearest == nullptr || d < best)) {
      nearest = &s;
      best = d;
    }
  }
  return nearest;
}

void Watch::observe(double seconds, const std::vector<Seen>& objects) {
  for (const Seen& s : objects) {
    if (!isStatic(s.callsign)) continue;
    auto known = m_standOf.find(s.id);
    if (known == m_standOf.end()) known = m_standOf.emplace(s.id, standAt(s.lat, s.lon)).first;
    const StandCircle* stand = known->second;
    if (stand == nullptr) continue;
    for (const Seen& live : objects) {
      if (isStatic(live.callsign) || !live.onGround ||
          metresBetween(live.lat, live.lon, stand->lat, stand->lon) > stand->radiusMetres)
        continue;
      auto [it, added] = m_stays.try_emplace({s.id, live.id});
      Stay& stay = it->second;
      if (added) {
        stay.pair = {stand->name, s.callsign, live.callsign, seconds, seconds};
        stay.order = m_stays.size();
      }
      // A stay goes on only from the moment before; after a gap it starts again.
      if (added || stay.last != m_previous) stay.start = seconds;
      stay.last = seconds;
      if (seconds - stay.start > stay.longest) {
        stay.longest = seconds - stay.start;
        stay.pair.from = stay.start;
        stay.pair.to = seconds;
      }
    }
  }
  m_previous = seconds;
}

std::vector<Pair> Watch::pairs() const {
  std::vector<const Stay*> long_;
  for (const auto& [key, stay] : m_stays)
    if (stay.longest > m_bound) long_.push_back(&stay);
  std::sort(long_.begin(), long_.end(), [](const Stay* a, const Stay* b) { return a->order < b->order; });
  std::vector<Pair> out;
  for (const Stay* s : long_) out.push_back(s->pair);
  return out;
}

bool watchTrace(const std::filesystem::path& csv, Watch& watch, double stepSeconds, std::size_t lines,
                std::string& error) {
  std::ifstream in(csv);
  std::string line;
  if (!in || !std::getline(in, line) || line.rfind("time_s,object_id,what,lat,lon", 0) != 0) {
    error = csv.string() + " is not a trace of the simulator double";
    return false;
  }
  if (!(stepSeconds > 0)) {
    error = "the step must be above 0 s";
    return false;
  }
  std::map<std::uint32_t, Seen> now;
  std::vector<Seen> moment;
  double next = -1;  // the next moment to observe
  // The moments before t (with `through`, up to t) see the objects as they are now.
  const auto observeUpTo = [&](double t, bool through) {
    if (next < 0) next = std::floor(t);
    while (next < t || (through && next <= t)) {
      moment.clear();
      for (const auto& [id, seen] : now) moment.push_back(seen);
      watch.observe(next, moment);
      next += stepSeconds;
    }
  };
  double t = 0;
  for (std::size_t read = 1; (lines == 0 || read < lines) && std::getline(in, line); ++read) {
    const std::vector<std::string> f = tracemap::splitCsvLine(line);
    double id = 0, lat = 0, lon = 0, ground = 0;
    if (f.size() < 10 || !number(f[0], t) || !number(f[1], id) || !number(f[3], lat) || !number(f[4], lon) ||
        !number(f[9], ground))
      continue;
    observeUpTo(t, false);
    const auto key = static_cast<std::uint32_t>(id);
    const std::string& what = f[2];
    if (what == "created" || what == "added") {
      const std::string detail = f.size() > 10 ? f[10] : std::string();
      const std::size_t bar = detail.rfind('|');
      now[key] = {key, bar == std::string::npos ? detail : detail.substr(bar + 1), lat, lon, ground != 0};
    } else if (what == "position") {
      auto it = now.find(key);
      if (it != now.end()) {
        it->second.lat = lat;
        it->second.lon = lon;
        it->second.onGround = ground != 0;
      }
    } else if (what == "removed" || what == "removed-by-sim") {
      now.erase(key);
    }
  }
  observeUpTo(t, true);
  return true;
}

}  // namespace amb::standpairs
