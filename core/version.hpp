#pragma once

#include <compare>

namespace amb {

// A program version: three numbers printed as "{}.{}.{}".
struct Version {
  int major = 0;
  int minor = 0;
  int patch = 0;
  auto operator<=>(const Version&) const = default;
};

}  // namespace amb
