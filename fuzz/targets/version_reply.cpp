// RealTraffic's answer to "Qs999=version". The wait for RealTraffic hands on only answers that form
// one JSON value and closes the others; invalid JSON given here throws the library's parse error.
// Anything else must be handled in place.

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
