// One RealTraffic weather datagram through the weather reader's handler (the QNH message).

#include "feed/qnh.hpp"
#include "feed/readers.hpp"
#include "fuzz/fuzz_support.hpp"

#include <cstring>

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::workFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size >= g_weatherReader.buffer.size()) return -1;
  std::memcpy(g_weatherReader.buffer.data(), data, size);
  g_weatherReader.buffer[size] = 0;
  g_weatherReader.message = g_weatherReader.buffer.data();
  g_weatherReader.messageLength = size;
  g_weatherReader.handleMessage();
  return 0;
}
