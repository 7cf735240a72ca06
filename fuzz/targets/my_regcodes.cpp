// One of the user's registration-code files in "input/my_regcodes" as the folder reader takes it: any
// encoding, lines of "title", "title;codes" and "title;codes;#", bad lines and codes logged and
// dropped. Nothing may escape.

#include "fuzz/fuzz_support.hpp"
#include "liveries/regcodes.hpp"

#include <filesystem>

using namespace amb;

namespace {
std::filesystem::path g_folder;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_folder = fuzz::workFolder() / "my_regcodes";
  std::filesystem::create_directories(g_folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::writeInput(g_folder / "codes.txt", data, size);
  std::list<RegcodeLivery> list;
  lf_readRegcodeFolder(g_folder, list);
  return 0;
}
