// amb_tracemap: draws the simulator double's trace, with the reported positions, the runways in view
// and an airport's stands, as an SVG map.

#include "tools/tracemap/tracemap.hpp"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: amb_tracemap --trace TRACE.csv [--reported REPORTED.csv] [--runways RUNWAYS.csv[.gz]]\n"
    "                    [--stands AIRPORT.xml|GROUNDNET.xml|STANDS.csv] [--inset LAT,LON,NM]\n"
    "                    [--title TEXT] [--size WIDTHxHEIGHT] --out MAP.svg\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace amb::tracemap;
  std::filesystem::path trace, reported, runways, stands, out;
  MapOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (a == "--trace") {
      trace = value;
    } else if (a == "--reported") {
      reported = value;
    } else if (a == "--runways") {
      runways = value;
    } else if (a == "--stands") {
      stands = value;
    } else if (a == "--out") {
      out = value;
    } else if (a == "--title") {
      options.title = value;
    } else if (a == "--inset") {
      Area area;
      if (std::sscanf(value.c_str(), "%lf,%lf,%lf", &area.lat, &area.lon, &area.radiusNm) != 3 || area.radiusNm <= 0)
        return usage();
      options.inset = area;
    } else if (a == "--size") {
      if (std::sscanf(value.c_str(), "%dx%d", &options.width, &options.height) != 2 || options.width < 200 ||
          options.height < 200)
        return usage();
    } else {
      return usage();
    }
  }
  if (trace.empty() || out.empty()) return usage();
  Tracks tracks;
  std::string error;
  if (!readTrace(trace, tracks, error) || (!reported.empty() && !readReported(reported, tracks, error)) ||
      (!runways.empty() && !readRunways(runways, tracks, error)) ||
      (!stands.empty() && !readStands(stands, tracks, error))) {
    std::cerr << "amb_tracemap: " << error << "\n";
    return 1;
  }
  std::ofstream file(out, std::ios::trunc);
  file << renderSvg(tracks, options);
  file.close();
  if (!file) {
    std::cerr << "amb_tracemap: cannot write " << out.string() << "\n";
    return 1;
  }
  return 0;
}
