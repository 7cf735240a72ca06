#pragma once
// Hands fuzz input to a UDP reader's handler as its receive loop would: datagrams of 1 to 16383
// bytes, copied into the receive buffer and ended with a zero.

#include "feed/readers.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace amb::fuzz {

// False (the input is not a datagram the loop would pass on) when it is empty or too long.
inline bool receiveDatagram(UdpReader& reader, const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size >= reader.buffer.size()) return false;
  std::memcpy(reader.buffer.data(), data, size);
  reader.buffer[size] = 0;
  reader.message = reader.buffer.data();
  reader.messageLength = size;
  return true;
}

}  // namespace amb::fuzz
