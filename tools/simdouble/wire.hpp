#pragma once
// Messages the simulator sends, built byte for byte (received layouts of sim/simconnect/protocol.hpp).

#include "sim/simconnect/protocol.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace amb::simdouble {

using Bytes = std::vector<std::uint8_t>;

// A message with its 12-byte header; the size field is filled from the body.
Bytes message(std::uint32_t version, std::uint32_t id, const Bytes& body = {});

Bytes msgException(std::uint32_t version, std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);
Bytes msgOpen(std::uint32_t version, const std::string& simName, const std::uint32_t (&appVersion)[4],
              const std::uint32_t (&simConnectVersion)[4]);
Bytes msgQuit(std::uint32_t version);
Bytes msgEvent(std::uint32_t version, std::uint32_t groupId, std::uint32_t eventId, std::uint32_t data);
Bytes msgObjectAddRemove(std::uint32_t version, std::uint32_t eventId, std::uint32_t objectId, std::uint32_t objectType);
Bytes msgFilename(std::uint32_t version, std::uint32_t eventId, const std::string& fileName, std::uint32_t flags);
Bytes msgFrame(std::uint32_t version, std::uint32_t eventId, std::uint32_t data, float frameRate, float simSpeed);
// Ids 8 and 9: the fixed fields, then the data.
Bytes msgObjectData(std::uint32_t version, std::uint32_t id, std::uint32_t requestId, std::uint32_t objectId,
                    std::uint32_t defineId, std::uint32_t flags, std::uint32_t entry, std::uint32_t outOf,
                    std::uint32_t defineCount, const Bytes& data);
Bytes msgAssignedObjectId(std::uint32_t version, std::uint32_t requestId, std::uint32_t objectId);

// Appending little-endian values and fixed text fields to a byte vector.
void appendU32(Bytes& b, std::uint32_t v);
void appendF32(Bytes& b, float v);
void appendF64(Bytes& b, double v);
void appendI64(Bytes& b, std::int64_t v);
void appendText(Bytes& b, const std::string& text, std::size_t fieldSize);  // cut to fieldSize - 1

std::string toHex(const std::uint8_t* data, std::size_t size);
// Hex digits (blanks allowed between bytes) to bytes; false on a bad digit or an odd count.
bool fromHex(const std::string& hex, Bytes& out);

}  // namespace amb::simdouble
