// "parameters.xml" as the start-up reads it: every option read, missing entries added, the file
// written back; then the file read once more, as the next start would.

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "fuzz/fuzz_support.hpp"
#include "settings/settings.hpp"

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_parametersPath = gf_pathText(fuzz::workFolder() / "parameters.xml");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::writeInput(gf_pathFromUtf8(g_parametersPath), data, size);
  gf_resetSettings();
  gf_loadOptions();
  gf_resetSettings();
  gf_loadOptions();
  return 0;
}
