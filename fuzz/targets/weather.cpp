// One RealTraffic weather datagram through the weather reader's handler (the QNH message).

#include "feed/qnh.hpp"
#include "feed/readers.hpp"
#include "fuzz/datagram.hpp"
#include "fuzz/fuzz_support.hpp"

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::workFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzz::receiveDatagram(g_weatherReader, data, size)) return -1;
  g_weatherReader.handleMessage();
  return 0;
}
