// The unpacked aircraft data base ("temp2.xml") read into the tables. A file that does not parse or
// lacks a required list is a user error; a bad wing span, publisher list or enciphered code throws
// the error the reader names. The start-up reports every such exception to the user, so the target
// lets them pass; a crash, a sanitizer report, a hang or runaway memory is a finding.

#include "fuzz/fuzz_support.hpp"
#include "refdata/database.hpp"

#include <exception>

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::workFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto file = fuzz::workFolder() / "temp2.xml";
  fuzz::writeInput(file, data, size);
  gf_resetDataBase();
  try {
    lf_readDataBaseFile(file);
  } catch (const std::exception&) {
  }
  return 0;
}
