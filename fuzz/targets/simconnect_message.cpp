// One message received from the simulator, through the dispatch procedure as the client's framing
// hands it over: at least the header, and never shorter than the fixed fields of its id. A version
// mismatch is the one user error a message may raise.

#include "core/exit.hpp"
#include "core/user_error.hpp"
#include "fuzz/fuzz_support.hpp"
#include "sim/link.hpp"
#include "sim/services.hpp"
#include "sim/simconnect/protocol.hpp"

#include <cstring>
#include <vector>

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::workFolder();
  gf_setExitHandler([](int, std::uint32_t) {});
  gf_resetSimLink(sc::kProtocolVersion);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size <= 11 || size > 0x10000) return -1;
  // The client's receive buffers are aligned for the message structures.
  std::vector<std::uint64_t> aligned((size + 7) / 8);
  std::memcpy(aligned.data(), data, size);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(aligned.data());
  const std::uint32_t id = sc::getU32(bytes + 8);
  if (size < sc::recvFixedSize(id)) return -1;
  static unsigned runs = 0;
  if (++runs % 1000 == 0) gf_resetSimLink(sc::kProtocolVersion);  // the lists it fills stay small
  try {
    lf_simDispatch(reinterpret_cast<const sc::RecvHeader*>(bytes), static_cast<std::uint32_t>(size), nullptr);
  } catch (const UserErrorException&) {
  }
  return 0;
}
