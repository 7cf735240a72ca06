#include "dbgen/encoder.hpp"

#include "refdata/cipher.hpp"

#include <stdexcept>

namespace amb::dbgen {

using namespace amb::cipher;

namespace {
bool inRange(char c) { return c >= kRangeFirst && c <= kRangeLast; }

void requireRange(const std::string& plain) {
  for (char c : plain)
    if (!inRange(c)) throw std::invalid_argument("character outside the cipher range in \"" + plain + "\"");
}
}  // namespace

char Fillers::next() {
  std::uniform_int_distribution<int> pick(0, kRangeSize - 1);
  return static_cast<char>(kRangeFirst + pick(m_engine));
}

char shiftChar(char c, int shift) {
  int v = (static_cast<unsigned char>(c) - kRangeFirst + shift) % kRangeSize;
  if (v < 0) v += kRangeSize;
  return static_cast<char>(kRangeFirst + v);
}

std::string encryptCode(const std::string& plain, Fillers& fillers) {
  requireRange(plain);
  const std::size_t n = plain.size();
  if (n == 0) return {};
  std::string out;
  if (n == 3) {
    out.resize(3);
    for (std::size_t k = 0; k < 3; ++k) out[kCode3Positions[k]] = shiftChar(plain[k], kCode3Shifts[k]);
    return out;
  }
  if (n == 4) {
    out.resize(4);
    for (std::size_t k = 0; k < 4; ++k) out[kCode4Positions[k]] = shiftChar(plain[k], kCode4Shifts[k]);
    return out;
  }
  out.resize(n + kCodeOtherExtra);
  for (char& c : out) c = fillers.next();
  for (std::size_t k = 0; k < n; ++k)
    out[kCodeOtherLead + k] =
        shiftChar(plain[k], kCodeOtherShifts[k % kCodeOtherShifts.size()] + static_cast<int>(k));
  return out;
}

std::string encryptAirl(const std::string& plain, Fillers& fillers) {
  requireRange(plain);
  if (plain.size() != 3) throw std::invalid_argument("an airline code has three characters: \"" + plain + "\"");
  std::string out(kAirlLength, ' ');
  for (char& c : out) c = fillers.next();
  for (std::size_t k = 0; k < 3; ++k) out[kAirlPositions[k]] = shiftChar(plain[k], kAirlShifts[k]);
  return out;
}

bool isKeyedPlain(const std::string& plain) {
  for (std::size_t i = 0; i < plain.size(); ++i) {
    const char c = plain[i];
    if (c == kKeyedPass) continue;
    if (c < kKeyedPlainFirst || c > kKeyedPlainLast || i >= kKey.size()) return false;
  }
  return true;
}

std::string encryptKeyed(const std::string& plain) {
  if (!isKeyedPlain(plain)) throw std::invalid_argument("registration cannot be enciphered: \"" + plain + "\"");
  std::string out(plain);
  for (std::size_t i = 0; i < out.size(); ++i)
    if (out[i] != kKeyedPass) out[i] = static_cast<char>(out[i] + kKey[i]);
  return out;
}

}  // namespace amb::dbgen
