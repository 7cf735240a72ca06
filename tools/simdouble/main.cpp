// amb_simdouble: the simulator double as a program.

#include "tools/simdouble/simdouble.hpp"

#include <csignal>
#include <iostream>

namespace {
amb::simdouble::SimDouble* g_double = nullptr;

extern "C" void onSignal(int) {
  if (g_double) g_double->stopFromSignal();
}
}  // namespace

int main(int argc, char** argv) {
  amb::simdouble::Options options;
  std::string error;
  if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << amb::simdouble::usageText();
    return 0;
  }
  if (!amb::simdouble::parseArguments(argc, argv, options, error)) {
    std::cerr << "amb_simdouble: " << error << "\n" << amb::simdouble::usageText();
    return 2;
  }
  try {
    amb::simdouble::SimDouble sim(options);
    sim.open();
    g_double = &sim;
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    const int rc = sim.run();
    g_double = nullptr;
    return rc;
  } catch (const std::exception& e) {
    std::cerr << "amb_simdouble: " << e.what() << "\n";
    return 1;
  }
}
