#pragma once
// What a peer must never leave in a log: control characters other than the line ends, and bytes that
// are not UTF-8.

#include "platform/utf8.hpp"

#include <fmt/format.h>

#include <string>
#include <string_view>

namespace amb::test {

// The first line of the text that holds such bytes, with its number; empty when there is none.
inline std::string rawPeerBytes(std::string_view text) {
  std::size_t number = 1;
  for (std::size_t start = 0; start < text.size(); ++number) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);  // the line end of a Windows text file
    bool raw = !platform::isValidUtf8(line);
    for (const char c : line) raw = raw || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    if (raw) {
      std::string shown;
      for (const char c : line.substr(0, 120))
        shown += c >= 0x20 && c < 0x7F ? std::string(1, c) : fmt::format("<{:02X}>", static_cast<unsigned char>(c));
      return fmt::format("line {}: {}", number, shown);
    }
    start = end + 1;
  }
  return {};
}

}  // namespace amb::test
