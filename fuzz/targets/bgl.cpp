// A scenery (BGL) file as the add-on airports scan reads it: the cheap section-table test on the
// file, then the file decoded where the walk goes, and the same bytes decoded in memory. A file the
// reader finds broken ends its walk with a log line; anything escaping is a finding, and so is any
// read outside the input (the sanitizers see it).

#include "core/files.hpp"
#include "fuzz/fuzz_support.hpp"
#include "scan/bgl.hpp"
#include "state/scan_log.hpp"

#include <cstdlib>


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
  Keep fromFile;
  Keep inMemory;
  const bool wholeFile = gf_decodeBglFile(file, "input.bgl", fromFile);
  const bool wholeMemory = gf_decodeBgl({data, size}, "input.bgl", inMemory);
  if (wholeFile != wholeMemory || fromFile.stands != inMemory.stands) std::abort();  // the two readers must agree
  gf_takeScanLogLines();
  return 0;
}
