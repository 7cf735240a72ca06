#include "refdata/cipher.hpp"

#include "core/log.hpp"

#include <fmt/format.h>

#include <stdexcept>

namespace amb {

using namespace cipher;

char lf_unshiftChar(char c, int shift) {
  int v = (static_cast<unsigned char>(c) - kRangeFirst - shift) % kRangeSize;
  if (v < 0) v += kRangeSize;
  return static_cast<char>(kRangeFirst + v);
}

std::string gf_decryptCode(const std::string& text) {
  const std::size_t n = text.size();
  if (n == 0) return {};
  std::string out;
  if (n == 3) {
    out.resize(3);
    for (std::size_t k = 0; k < 3; ++k) out[k] = lf_unshiftChar(text[kCode3Positions[k]], kCode3Shifts[k]);
    return out;
  }
  if (n == 4) {
    out.resize(4);
    for (std::size_t k = 0; k < 4; ++k) out[k] = lf_unshiftChar(text[kCode4Positions[k]], kCode4Shifts[k]);
    return out;
  }
  if (n <= kCodeOtherExtra) return {};  // too short to hold a code with its fillers
  out.resize(n - kCodeOtherExtra);
  for (std::size_t k = 0; k < out.size(); ++k)
    out[k] = lf_unshiftChar(text[kCodeOtherLead + k],
                            kCodeOtherShifts[k % kCodeOtherShifts.size()] + static_cast<int>(k));
  return out;
}

std::string gf_decryptAirl(const std::string& text) {
  if (text.empty()) return {};
  if (text.size() == kAirlLength) {
    std::string out(3, ' ');
    for (std::size_t k = 0; k < 3; ++k) out[k] = lf_unshiftChar(text[kAirlPositions[k]], kAirlShifts[k]);
    return out;
  }
  if (text.size() == 3) {
    gf_logPeerf(LogStyle::Marked, "Unencrypted airline {} in decrypt airl?", text);
    return text;
  }
  throw std::runtime_error(fmt::format("decrypt airl \"{}\" error", gf_peerText(text)));
}

std::string gf_decryptKeyed(const std::string& text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == kKeyedPass) continue;
    // Checked explicitly: a registration longer than the key is a data error to report, not a read
    // past the table.
    if (i >= kKey.size()) throw std::out_of_range("invalid array<T, N> subscript");
    out[i] = static_cast<char>(out[i] - kKey[i]);
  }
  return out;
}

}  // namespace amb
