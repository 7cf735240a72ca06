// airportgen: the airport list from the OurAirports tables, or an airport file from a ground
// network's parking list.
//
//   airportgen --airports AIRPORTS.csv.gz --runways RUNWAYS.csv.gz --list OUT.xml [--synthetic N]
//   airportgen --groundnet PARKING.xml --name NAME --altitude FEET --publisher PUB --out FILE.xml

#include "airportgen/airportgen.hpp"
#include "airports/apf_file.hpp"
#include "core/files.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>

int main(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i + 1 < argc; i += 2) args[argv[i]] = argv[i + 1];
  try {
    if (args.count("--list") != 0) {
      auto airports = amb::airportgen::readOurAirports(args.at("--airports"), args.at("--runways"));
      if (args.count("--synthetic") != 0) {
        const auto extra = amb::airportgen::syntheticAirports(std::stoul(args.at("--synthetic")), 7);
        airports.insert(airports.end(), extra.begin(), extra.end());
      }
      if (!amb::gf_writeFileAtomic(args.at("--list"), amb::airportgen::airportListXml(airports))) {
        std::fprintf(stderr, "cannot write %s\n", args.at("--list").c_str());
        return 1;
      }
      std::printf("%zu airports\n", airports.size());
      return 0;
    }
    if (args.count("--groundnet") != 0) {
      amb::ApfRecord airport;
      airport.airportName = args["--name"];
      airport.publisher = args.count("--publisher") != 0 ? args["--publisher"] : "stock";
      airport.altitude = std::atoi(args["--altitude"].c_str());
      airport.stands = amb::airportgen::groundnetStands(args.at("--groundnet"));
      if (!amb::gf_saveApf(airport, args.at("--out"), 1)) {
        std::fprintf(stderr, "cannot write %s\n", args.at("--out").c_str());
        return 1;
      }
      std::printf("%zu stands\n", airport.stands.size());
      return 0;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "airportgen: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: airportgen --airports A --runways R --list OUT | --groundnet G --name N --altitude FT --out OUT\n");
  return 2;
}
