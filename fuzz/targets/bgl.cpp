// A scenery (BGL) file as the add-on airports scan reads it: the cheap section-table test on the
// file, then the whole file decoded in memory. A file the reader finds broken ends with
// std::out_of_range, which the scan writes to its log; anything else escaping is a finding, and so
// is any read outside the input (the sanitizers see it).

#include "core/files.hpp"
#include "fuzz/fuzz_support.hpp"
#include "scan/bgl.hpp"
#include "state/scan_log.hpp"

#include <stdexcept>

using namespace amb;

namespace {
struct Keep : BglAirportHandler {
  std::size_t stands = 0;
  void airportFound(const std::string&) override {}
  void airportDecoded(BglAirport& airport) override { stands += airport.stands.size(); }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path file = fuzz::workFolder() / "input.bgl";
  fuzz::writeInput(file, data, size);
  (void)lf_bglHasAirports(file);
  Keep keep;
  try {
    gf_decodeBgl({data, size}, "input.bgl", keep);
  } catch (const std::out_of_range&) {
  }
  gf_takeScanLogLines();
  return 0;
}
