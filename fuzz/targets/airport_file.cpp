// Airport files and learned files as the park airport's load reads them: the stands with their
// options and overlaps, the parameters, the merge of learned stands, and a learned file read whole
// (settings, manual stands, a handmade airport). Errors the readers report are let pass; a crash, a sanitizer
// report, a hang or runaway memory is a finding.

#include "airports/apf_file.hpp"
#include "airports/park_airport.hpp"
#include "fuzz/fuzz_support.hpp"

#include <pugixml.hpp>

#include <exception>

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::workFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    pugi::xml_document doc;
    if (doc.load_buffer(data, size)) {
      std::vector<Stand> stands;
      for (pugi::xml_node p : doc.child("parkpositions").children("parkpos")) {
        const std::string id = p.attribute("id").as_string();
        lf_readParkPos(p, id, 1, stands);
        if (!stands.empty()) lf_readLearnedStand({stands.back().name, p}, stands.back());
      }
      std::uint32_t id = 1;
      for (Stand& s : stands) s.id = id++;
      lf_linkOverlaps(stands);
      gf_getIntParameter(doc, "altitude");
      gf_getBoolParameter(doc, "handmade");
      gf_getStringParameter(doc, "airport_name");
    }
    const auto file = fuzz::workFolder() / "EGLL.xml";
    fuzz::writeInput(file, data, size);
    std::vector<Stand> stands;
    stands.emplace_back("A1", std::vector<ParkPosOption>{}, StandPosition{1, 1, 0}, 20, 1, 1, 1);
    std::uint8_t handmade = 0;
    lf_readLearned(file, ParkApfInfo{}, stands, handmade);
  } catch (const std::exception&) {
  }
  return 0;
}
