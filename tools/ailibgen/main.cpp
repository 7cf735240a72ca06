// ailibgen: writes an AI aircraft package from recorded traffic and registers it with the simulator.
//
//   ailibgen --traffic TRAFFIC.rttfc[.gz] --out PACKAGE [--appdata FOLDER [--sim-version 5]]
//            [--my-regcodes FILE]
//
// With --my-regcodes also the user's registration-code file that goes with the package.

#include "ailibgen/ailibgen.hpp"

#include <fstream>
#include <iostream>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  fs::path traffic, out, appData, myRegcodes;
  std::string version = "5";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--traffic") traffic = argv[i + 1];
    else if (arg == "--out") out = argv[i + 1];
    else if (arg == "--appdata") appData = argv[i + 1];
    else if (arg == "--sim-version") version = argv[i + 1];
    else if (arg == "--my-regcodes") myRegcodes = argv[i + 1];
    else traffic.clear();
  }
  if (traffic.empty() || out.empty() || argc % 2 == 0) {
    std::cerr << "usage: ailibgen --traffic RTTFC --out PACKAGE [--appdata FOLDER [--sim-version 5]]"
                 " [--my-regcodes FILE]\n";
    return 2;
  }
  try {
    const auto library = amb::ailibgen::fromRecording(traffic, amb::ailibgen::kCargoAirlines);
    const std::size_t n = amb::ailibgen::writePackage(library, out);
    if (!appData.empty()) amb::ailibgen::registerPackage(appData, version, out);
    if (!myRegcodes.empty()) {
      fs::create_directories(myRegcodes.parent_path());
      std::ofstream file(myRegcodes, std::ios::binary | std::ios::trunc);
      for (const auto& line : amb::ailibgen::regcodeFiles(library).userLines) file << line << "\r\n";
      if (!file) throw std::runtime_error("cannot write " + myRegcodes.string());
    }
    std::cout << n << " liveries of " << library.size() << " types in " << out.string() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "ailibgen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
