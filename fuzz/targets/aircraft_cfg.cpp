// One aircraft.cfg as a livery scan job reads it, in an ordinary package folder and in an IVAO model
// set folder (the two section rules differ). The data base knows a few types and airlines, so that
// sections get as far as the title check.

#include "core/files.hpp"
#include "fuzz/fuzz_support.hpp"
#include "liveries/cfg_section.hpp"
#include "liveries/scan_run.hpp"
#include "refdata/database.hpp"

#include <filesystem>

using namespace amb;

namespace {
std::filesystem::path g_plain, g_ivao;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_plain = fuzz::workFolder() / "pkg" / "aircraft.cfg";
  g_ivao = fuzz::workFolder() / "IVAO_MTL" / "IVAO_A320" / "aircraft.cfg";
  for (const auto& file : {g_plain, g_ivao}) {
    std::filesystem::create_directories(file.parent_path() / "model");
    std::filesystem::create_directories(file.parent_path() / "texture.BAW");
    fuzz::writeInput(file.parent_path() / "A320.air", nullptr, 0);
  }
  g_validModels = {"A320", "B738", "EUFI"};
  g_icaoAirlines = {"BAW", "KLM", "ZZZ"};
  g_modelFixes = {{"Typhoon", "EUFI"}};
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const auto& file : {g_plain, g_ivao}) {
    fuzz::writeInput(file, data, size);
    gf_resetLiveryScan();
    if (file == g_plain)
      lf_searchLiveriesinFile(1, file);
    else
      lf_searchIvaoLiveriesInFile(1, file);
  }
  return 0;
}
