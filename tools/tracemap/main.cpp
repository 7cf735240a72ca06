// amb_tracemap: draws the simulator double's trace (and optionally the reported positions) as SVG.

#include "tools/tracemap/tracemap.hpp"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
  std::filesystem::path trace, reported, out;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--trace" || a == "--reported" || a == "--out") && i + 1 < argc) {
      (a == "--trace" ? trace : a == "--reported" ? reported : out) = argv[++i];
    } else {
      std::cerr << "usage: amb_tracemap --trace TRACE.csv [--reported REPORTED.csv] --out MAP.svg\n";
      return 2;
    }
  }
  if (trace.empty() || out.empty()) {
    std::cerr << "usage: amb_tracemap --trace TRACE.csv [--reported REPORTED.csv] --out MAP.svg\n";
    return 2;
  }
  std::string error;
  if (!amb::tracemap::writeSvg(trace, reported, out, error)) {
    std::cerr << "amb_tracemap: " << error << "\n";
    return 1;
  }
  return 0;
}
