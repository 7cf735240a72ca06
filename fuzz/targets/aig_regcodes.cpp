// The downloaded registration-code list "AIG-regcodes.xml" as the table build and the scan read it:
// titles, enciphered codes deciphered one by one, the special mark. A list that does not load, and a
// code that does not decipher, are logged and read around; nothing may escape.

#include "fuzz/fuzz_support.hpp"
#include "liveries/regcodes.hpp"

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::workFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = fuzz::workFolder() / "AIG-regcodes.xml";
  fuzz::writeInput(file, data, size);
  std::list<RegcodeLivery> list;
  lf_readAigRegcodesFile(file, list);
  return 0;
}
