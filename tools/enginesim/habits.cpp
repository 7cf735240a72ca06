#include "enginesim/habits.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

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

}  // namespace

RecordedLine restamped(const RecordedLine& line, double timestamp) {
  RecordedLine out = line;
  out.timestamp = timestamp;
  std::size_t start = 0;
  for (int i = 0; i < 14 && start != std::string::npos; ++i) {
    start = line.text.find(',', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos) return out;
  const std::size_t end = line.text.find(',', start);
  out.text = line.text.substr(0, start) + fmt::format("{:.2f}", timestamp) +
             (end == std::string::npos ? std::string() : line.text.substr(end));
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
