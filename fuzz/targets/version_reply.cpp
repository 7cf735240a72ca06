// RealTraffic's answer to "Qs999=version". Invalid JSON is an error of the service run, which
// catches it and starts again; anything else must be handled in place.

#include "feed/link.hpp"
#include "fuzz/fuzz_support.hpp"

#include <nlohmann/json.hpp>

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::workFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    lf_checkRealTrafficVersion(fuzz::asText(data, size));
  } catch (const nlohmann::json::exception&) {
  }
  return 0;
}
