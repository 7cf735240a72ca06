#include "settings/version_update.hpp"

#include "core/log.hpp"
#include "core/startup.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>

namespace amb {

namespace {

// A JSON member as int: booleans give 0 or 1, floating-point numbers are truncated; anything that is
// no number or does not fit throws.
int jsonToInt(const nlohmann::json& v) {
  constexpr auto lo = std::numeric_limits<int>::min();
  constexpr auto hi = std::numeric_limits<int>::max();
  switch (v.type()) {
    case nlohmann::json::value_t::boolean:
      return v.get<bool>() ? 1 : 0;
    case nlohmann::json::value_t::number_integer: {
      const auto n = v.get<std::int64_t>();
      if (n < lo || n > hi) throw std::out_of_range("version number out of range");
      return static_cast<int>(n);
    }
    case nlohmann::json::value_t::number_unsigned: {
      const auto n = v.get<std::uint64_t>();
      if (n > static_cast<std::uint64_t>(hi)) throw std::out_of_range("version number out of range");
      return static_cast<int>(n);
    }
    case nlohmann::json::value_t::number_float: {
      const double d = std::trunc(v.get<double>());
      if (!(d >= lo && d <= hi)) throw std::out_of_range("version number out of range");
      return static_cast<int>(d);
    }
    default:
      throw std::invalid_argument("version member is no number");
  }
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A whole-text match of "(\d+).(\d+).(\d+)" (each dot any one character but a line end), found as a
// backtracking matcher finds it: the leftmost numbers as long as they can be.
bool matchThreeNumbers(const std::string& t, std::string (&groups)[3]) {
  const std::size_t n = t.size();
  auto digitsEnd = [&](std::size_t i) {
    while (i < n && isDigit(t[i])) ++i;
    return i;
  };
  auto anyChar = [&](std::size_t i) { return i < n && t[i] != '\n' && t[i] != '\r'; };
  for (std::size_t e1 = digitsEnd(0); e1 > 0; --e1) {
    if (!anyChar(e1)) continue;
    const std::size_t s2 = e1 + 1;
    for (std::size_t e2 = digitsEnd(s2); e2 > s2; --e2) {
      const std::size_t s3 = e2 + 1;
      if (!anyChar(e2) || s3 >= n || digitsEnd(s3) != n) continue;
      groups[0] = t.substr(0, e1);
      groups[1] = t.substr(s2, e2 - s2);
      groups[2] = t.substr(s3);
      return true;
    }
  }
  return false;
}

}  // namespace

Version gf_parseVersion(const std::string& text) {
  Version v;
  if (text.empty()) return v;
  try {
    std::string groups[3];
    if (matchThreeNumbers(text, groups)) {
      v.major = std::stoi(groups[0]);
      v.minor = std::stoi(groups[1]);
      v.patch = std::stoi(groups[2]);
      return v;
    }
    const nlohmann::json j = nlohmann::json::parse(text);
    if (!j.is_object()) return v;
    if (j.contains("major")) v.major = jsonToInt(j["major"]);
    if (j.contains("minor")) v.minor = jsonToInt(j["minor"]);
    if (j.contains("patch")) v.patch = jsonToInt(j["patch"]);
  } catch (const std::exception&) {
    // The fields read so far stay; the others remain 0.
  }
  return v;
}

void gf_handleVersionUpdate() {
  const std::string own = gf_versionText(g_programVersion);
  const std::string storedText = PROGRAM_VERSION.value();
  if (storedText == PROGRAM_VERSION.defaultValue) {
    gf_setStringOption(PROGRAM_VERSION, own);
    return;
  }
  const Version stored = gf_parseVersion(storedText);
  if (stored != g_programVersion) gf_setStringOption(PROGRAM_VERSION, own);
  if (g_programVersion > stored) {
    gf_logf("This is a version update from {} -> {}", gf_versionText(stored), own);
    std::filesystem::remove(g_installerName);
    for (BoolOptionCheckBox* scan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
      scan->value = 1;
      gf_saveBoolOption(*scan);
      scan->refresh();
    }
  }
}

}  // namespace amb
