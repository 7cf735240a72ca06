#include "enginesim/habits.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <string>

namespace amb::enginesim {

namespace {

// Draws from the generator's own words: the standard's distributions may differ between libraries,
// the Mersenne twister's words do not, so a seed gives the same habits on every build.
double lf_uniform(std::mt19937& g, double from, double to) {
  return from + (to - from) * (static_cast<double>(g()) / 4294967296.0);
}

// A generator of the stream's own: which other streams are chosen changes nothing of this one's.
std::mt19937 lf_generator(std::uint32_t seed, std::uint32_t hexid, std::uint32_t purpose) {
  std::seed_seq seq{seed, hexid, purpose};
  return std::mt19937(seq);
}

// The stream's lines frozen: each freeze repeats the last line before it over the lines of its span.
void lf_freeze(std::vector<RecordedLine>& stream, const HabitOptions& o, std::mt19937& g, HabitSummary& s) {
  if (stream.size() < 3) return;
  const double end = stream.back().timestamp;
  double from = stream.front().timestamp + lf_uniform(g, o.betweenMinSeconds, o.betweenMaxSeconds);
  std::size_t i = 1;
  while (true) {
    while (i < stream.size() && stream[i].timestamp < from) ++i;
    // The freeze ends before the stream does: after it the stream moves on.
    const double length = lf_uniform(g, o.freezeMinSeconds, o.freezeMaxSeconds);
    if (i >= stream.size() || from + length >= end) break;
    const RecordedLine held = stream[i - 1];
    std::size_t k = i;
    for (; k < stream.size() && stream[k].timestamp <= from + length; ++k) {
      stream[k] = restamped(held, stream[k].timestamp);
      ++s.frozenLines;
    }
    if (k > i) {
      ++s.freezes;
      s.longestFreezeSeconds = std::max(s.longestFreezeSeconds, stream[k].timestamp - held.timestamp);
    }
    i = k;
    from = from + length + lf_uniform(g, o.betweenMinSeconds, o.betweenMaxSeconds);
  }
}

// Each stamp shifted within the bound; the shifted stamps given to the lines in their order. Sorting
// keeps every stamp within the bound of its line's own: the k-th smallest of stamps each within d of
// a rising sequence is within d of that sequence's k-th.
void lf_shift(std::vector<RecordedLine>& stream, const HabitOptions& o, std::mt19937& g, HabitSummary& s) {
  std::vector<double> stamps;
  stamps.reserve(stream.size());
  for (const RecordedLine& l : stream) stamps.push_back(l.timestamp + lf_uniform(g, -o.jitterSeconds, o.jitterSeconds));
  std::sort(stamps.begin(), stamps.end());
  for (std::size_t k = 0; k < stream.size(); ++k) {
    s.largestShiftSeconds = std::max(s.largestShiftSeconds, std::fabs(stamps[k] - stream[k].timestamp));
    stream[k] = restamped(stream[k], stamps[k]);
  }
}

// The text with field i replaced; as it was when it has fewer fields.
std::string lf_withField(const std::string& text, int index, const std::string& value) {
  std::size_t start = 0;
  for (int i = 0; i < index && start != std::string::npos; ++i) {
    start = text.find(',', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos) return text;
  const std::size_t end = text.find(',', start);
  return text.substr(0, start) + value + (end == std::string::npos ? std::string() : text.substr(end));
}

double lf_arrival(const RecordedLine& line) { return std::isnan(line.arrival) ? line.timestamp : line.arrival; }

// Lines with their places in the recording (a copy takes its original's).
using Placed = std::vector<std::pair<std::size_t, RecordedLine>>;

// The stream's lines (in stamp order) late, and stale copies sent again among them.
void lf_lateAndStale(Placed& stream, const HostileOptions& o, std::mt19937& g, HostileSummary& s) {
  if (stream.empty()) return;
  Placed copies;
  bool restamp = false;
  for (double sent = stream.front().second.timestamp + lf_uniform(g, o.copyMinSeconds, o.copyMaxSeconds);
       sent <= stream.back().second.timestamp; sent += lf_uniform(g, o.copyMinSeconds, o.copyMaxSeconds)) {
    const auto after =
        std::upper_bound(stream.begin(), stream.end(), sent - o.staleSeconds,
                         [](double t, const std::pair<std::size_t, RecordedLine>& l) { return t < l.second.timestamp; });
    if (after == stream.begin()) continue;
    const auto& [place, line] = *(after - 1);
    RecordedLine copy = restamp ? restamped(line, sent) : line;
    copy.arrival = sent;
    copies.emplace_back(place, std::move(copy));
    ++s.copies;
    if (restamp) ++s.restampedCopies;
    restamp = !restamp;
  }
  const std::size_t own = stream.size();
  stream.insert(stream.end(), copies.begin(), copies.end());
  for (std::size_t k = 0; k < stream.size(); ++k) {
    RecordedLine& l = stream[k].second;
    const double late = lf_uniform(g, 0, o.lateMaxSeconds);
    l.arrival = lf_arrival(l) + late;
    if (late > 0) ++s.lateLines;
    if (k < own) s.latestSeconds = std::max(s.latestSeconds, late);
  }
}

}  // namespace

RecordedLine restamped(const RecordedLine& line, double timestamp) {
  RecordedLine out = line;
  out.timestamp = timestamp;
  out.text = lf_withField(line.text, 14, fmt::format("{:.2f}", timestamp));
  return out;
}

RecordedLine relabelled(const RecordedLine& line, std::uint32_t hexid, const std::string& callsign) {
  RecordedLine out = line;
  out.hexid = hexid;
  out.text = lf_withField(lf_withField(line.text, 1, std::to_string(hexid)), 9, callsign);
  return out;
}

std::vector<RecordedLine> applyHostile(const std::vector<RecordedLine>& lines, const HostileOptions& o,
                                       HostileSummary* summary) {
  HostileSummary s;
  std::string callsign;
  for (const RecordedLine& l : lines)
    if (l.hexid == o.address && callsign.empty()) callsign = lineField(l.text, 9);
  // Each stream's lines; the second sender's among the address's.
  std::map<std::uint32_t, Placed> streams;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const RecordedLine& l = lines[i];
    if (o.address != 0 && l.hexid == o.secondSender) {
      streams[o.address].emplace_back(i, relabelled(l, o.address, callsign));
      ++s.relabelled;
    } else {
      streams[l.hexid].emplace_back(i, l);
    }
  }
  Placed placed;
  placed.reserve(lines.size());
  for (auto& [hexid, stream] : streams) {
    if (o.hexids.count(hexid) != 0) {
      s.streams.insert(hexid);
      std::mt19937 g = lf_generator(o.seed, hexid, 2);
      std::stable_sort(stream.begin(), stream.end(),
                       [](const auto& a, const auto& b) { return a.second.timestamp < b.second.timestamp; });
      lf_lateAndStale(stream, o, g, s);
    }
    for (auto& line : stream) placed.push_back(std::move(line));
  }
  // By arrival; lines that arrive together in the recording's order.
  std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) {
    const double x = lf_arrival(a.second), y = lf_arrival(b.second);
    return x != y ? x < y : a.first < b.first;
  });
  std::vector<RecordedLine> out;
  out.reserve(placed.size());
  double latest = -std::numeric_limits<double>::infinity();
  std::map<std::uint32_t, double> latestOf;
  for (auto& [place, line] : placed) {
    if (line.timestamp < latest) ++s.outOfOrder;
    latest = std::max(latest, line.timestamp);
    auto [own, added] = latestOf.emplace(line.hexid, line.timestamp);
    if (!added) {
      if (line.timestamp < own->second) ++s.outOfOrderInStream;
      own->second = std::max(own->second, line.timestamp);
    }
    out.push_back(std::move(line));
  }
  if (summary != nullptr) *summary = s;
  return out;
}

std::vector<RecordedLine> applyHabits(const std::vector<RecordedLine>& lines, const HabitOptions& o,
                                      HabitSummary* summary) {
  HabitSummary s;
  // Each stream's lines with their places in the recording: a changed line takes its original's.
  std::map<std::uint32_t, std::vector<RecordedLine>> streams;
  std::map<std::uint32_t, std::vector<std::size_t>> places;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    streams[lines[i].hexid].push_back(lines[i]);
    places[lines[i].hexid].push_back(i);
  }
  std::vector<std::pair<std::size_t, RecordedLine>> placed;
  placed.reserve(lines.size());
  for (auto& [hexid, stream] : streams) {
    std::mt19937 choice = lf_generator(o.seed, hexid, 0);
    const bool chosen = o.hexids.count(hexid) != 0 || lf_uniform(choice, 0, 1) < o.share;
    if (chosen) {
      s.streams.insert(hexid);
      std::mt19937 g = lf_generator(o.seed, hexid, 1);
      if (o.freezes) lf_freeze(stream, o, g, s);
      if (o.jitterSeconds > 0) lf_shift(stream, o, g, s);
    }
    for (std::size_t k = 0; k < stream.size(); ++k) placed.emplace_back(places[hexid][k], std::move(stream[k]));
  }
  // In stamp order; lines of one stamp in the recording's order.
  std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) {
    return a.second.timestamp != b.second.timestamp ? a.second.timestamp < b.second.timestamp : a.first < b.first;
  });
  std::vector<RecordedLine> out;
  out.reserve(placed.size());
  for (auto& [place, line] : placed) out.push_back(std::move(line));
  if (summary != nullptr) *summary = s;
  return out;
}

}  // namespace amb::enginesim
