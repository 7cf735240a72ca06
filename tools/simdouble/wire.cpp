#include "tools/simdouble/wire.hpp"

#include <cstring>

namespace amb::simdouble {

void appendU32(Bytes& b, std::uint32_t v) {
  const auto at = b.size();
  b.resize(at + 4);
  sc::putU32(b.data() + at, v);
}

void appendF32(Bytes& b, float v) {
  const auto at = b.size();
  b.resize(at + 4);
  sc::putF32(b.data() + at, v);
}

void appendF64(Bytes& b, double v) {
  const auto at = b.size();
  b.resize(at + 8);
  sc::putF64(b.data() + at, v);
}

void appendI64(Bytes& b, std::int64_t v) {
  const auto at = b.size();
  b.resize(at + 8);
  sc::putI64(b.data() + at, v);
}

void appendText(Bytes& b, const std::string& text, std::size_t fieldSize) {
  const auto at = b.size();
  b.resize(at + fieldSize, 0);
  if (fieldSize == 0) return;
  std::memcpy(b.data() + at, text.data(), std::min(text.size(), fieldSize - 1));
}

Bytes message(std::uint32_t version, std::uint32_t id, const Bytes& body) {
  Bytes b;
  b.reserve(sc::kRecvHeaderSize + body.size());
  appendU32(b, static_cast<std::uint32_t>(sc::kRecvHeaderSize + body.size()));
  appendU32(b, version);
  appendU32(b, id);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes msgException(std::uint32_t version, std::uint32_t exception, std::uint32_t sendId, std::uint32_t index) {
  Bytes body;
  appendU32(body, exception);
  appendU32(body, sendId);
  appendU32(body, index);
  return message(version, sc::kRecvException, body);
}

Bytes msgOpen(std::uint32_t version, const std::string& simName, const std::uint32_t (&appVersion)[4],
              const std::uint32_t (&simConnectVersion)[4]) {
  Bytes body;
  appendText(body, simName, 256);
  for (auto v : appVersion) appendU32(body, v);
  for (auto v : simConnectVersion) appendU32(body, v);
  appendU32(body, 0);
  appendU32(body, 0);
  return message(version, sc::kRecvOpen, body);
}

Bytes msgQuit(std::uint32_t version) { return message(version, sc::kRecvQuit); }

Bytes msgEvent(std::uint32_t version, std::uint32_t groupId, std::uint32_t eventId, std::uint32_t data) {
  Bytes body;
  appendU32(body, groupId);
  appendU32(body, eventId);
  appendU32(body, data);
  return message(version, sc::kRecvEvent, body);
}

Bytes msgObjectAddRemove(std::uint32_t version, std::uint32_t eventId, std::uint32_t objectId,
                         std::uint32_t objectType) {
  Bytes body;
  appendU32(body, sc::kUnused);
  appendU32(body, eventId);
  appendU32(body, objectId);
  appendU32(body, objectType);
  return message(version, sc::kRecvEventObjectAddRemove, body);
}

Bytes msgFilename(std::uint32_t version, std::uint32_t eventId, const std::string& fileName, std::uint32_t flags) {
  Bytes body;
  appendU32(body, sc::kUnused);
  appendU32(body, eventId);
  appendU32(body, 0);
  appendText(body, fileName, 260);
  appendU32(body, flags);
  return message(version, sc::kRecvEventFilename, body);
}

Bytes msgFrame(std::uint32_t version, std::uint32_t eventId, std::uint32_t data, float frameRate, float simSpeed) {
  Bytes body;
  appendU32(body, sc::kUnused);
  appendU32(body, eventId);
  appendU32(body, data);
  appendF32(body, frameRate);
  appendF32(body, simSpeed);
  return message(version, sc::kRecvEventFrame, body);
}

Bytes msgObjectData(std::uint32_t version, std::uint32_t id, std::uint32_t requestId, std::uint32_t objectId,
                    std::uint32_t defineId, std::uint32_t flags, std::uint32_t entry, std::uint32_t outOf,
                    std::uint32_t defineCount, const Bytes& data) {
  Bytes body;
  body.reserve(28 + data.size());
  appendU32(body, requestId);
  appendU32(body, objectId);
  appendU32(body, defineId);
  appendU32(body, flags);
  appendU32(body, entry);
  appendU32(body, outOf);
  appendU32(body, defineCount);
  body.insert(body.end(), data.begin(), data.end());
  return message(version, id, body);
}

Bytes msgAssignedObjectId(std::uint32_t version, std::uint32_t requestId, std::uint32_t objectId) {
  Bytes body;
  appendU32(body, requestId);
  appendU32(body, objectId);
  return message(version, sc::kRecvAssignedObjectId, body);
}

std::string toHex(const std::uint8_t* data, std::size_t size) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    s += digits[data[i] >> 4];
    s += digits[data[i] & 15];
  }
  return s;
}

bool fromHex(const std::string& hex, Bytes& out) {
  out.clear();
  int high = -1;
  for (char c : hex) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else if (c == ' ' || c == '\t')
      continue;
    else
      return false;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return high < 0;
}

}  // namespace amb::simdouble
