// amb_standpairs: the static aircraft that stood on their stand together with a live aircraft on the
// ground within the stand's radius for longer than a make-way takes, from the simulator double's
// trace and the stands of an airport file (or a ground network, or a CSV of stands). Prints each
// pair with its longest stay, then "pairs: N".
//
//   amb_standpairs --trace TRACE.csv --stands AIRPORT.xml [--longer-than SECONDS] [--step SECONDS]
//                  [--lines N]

#include "standpairs/standpairs.hpp"
#include "tracemap/tracemap.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: amb_standpairs --trace TRACE.csv --stands AIRPORT.xml|GROUNDNET.xml|STANDS.csv "
               "[--longer-than SECONDS (5)] [--step SECONDS (1)] [--lines N]\n");
  return 2;
}

bool positive(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && out > 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace amb;
  std::string trace, stands;
  double longerThan = 5, step = 1, lines = 0;
  for (int i = 1; i < argc; i += 2) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string v = argv[i + 1];
    if (a == "--trace") {
      trace = v;
    } else if (a == "--stands") {
      stands = v;
    } else if ((a == "--longer-than" && !positive(v, longerThan)) || (a == "--step" && !positive(v, step)) ||
               (a == "--lines" && !positive(v, lines))) {
      return usage();
    } else if (a != "--longer-than" && a != "--step" && a != "--lines") {
      return usage();
    }
  }
  if (trace.empty() || stands.empty()) return usage();
  tracemap::Tracks marks;
  std::string error;
  if (!tracemap::readStands(stands, marks, error)) {
    std::fprintf(stderr, "amb_standpairs: %s\n", error.c_str());
    return 1;
  }
  std::vector<standpairs::StandCircle> circles;
  for (const tracemap::Mark& m : marks.marks) circles.push_back({m.label, m.at.lat, m.at.lon, m.radiusMetres});
  standpairs::Watch watch(std::move(circles), longerThan);
  if (!standpairs::watchTrace(trace, watch, step, static_cast<std::size_t>(lines), error)) {
    std::fprintf(stderr, "amb_standpairs: %s\n", error.c_str());
    return 1;
  }
  const auto pairs = watch.pairs();
  for (const standpairs::Pair& p : pairs)
    std::printf("%-8s %s with live %s from %.0f s to %.0f s\n", p.stand.c_str(), p.staticCallsign.c_str(),
                p.liveCallsign.c_str(), p.from, p.to);
  std::printf("pairs: %zu\n", pairs.size());
  return 0;
}
