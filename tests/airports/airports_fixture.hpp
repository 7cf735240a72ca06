#pragma once
// Shared set-up of the airports tests: a private working folder with "input" and "airports", the
// log open in it, every table back at its start values; stands and airport files to build.

#include "airports/apf_file.hpp"
#include "airports/services.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "refdata/database.hpp"
#include "refdata/download.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace amb::test {

class AirportsTest : public ::testing::Test {
protected:
  void SetUp() override {
    reset();
    m_cwd.emplace(m_dir.path());
    std::filesystem::create_directories(m_dir / "input");
    std::filesystem::create_directories(m_dir / "airports");
    gf_startLog();
  }
  void TearDown() override {
    gf_closeLog("end");
    m_env.reset();
    m_cwd.reset();
    reset();
  }
  static void reset() {
    gf_resetDataBase();
    gf_resetDownloads();
    gf_resetExitState();
    gf_clearError();
    gf_endNoticeHold();
    gf_clearMessage();
  }
  void useServerUrl(const std::string& url) {
    m_env.reset();
    m_env.emplace("AMBT_SERVER_URL", url);
  }
  std::vector<std::string> logLines() const { return readLines(m_dir / "Log.txt"); }
  bool logHas(const std::string& text) const {
    const auto lines = logLines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  std::filesystem::path path(const std::string& rel) const { return m_dir / rel; }

  TempDir m_dir{"amb-airports"};
  std::optional<ScopedCwd> m_cwd;
  std::optional<ScopedEnv> m_env;
};

// A stand at the position with a radius in metres; cargo, ramp and heli as flags.
inline Stand makeStand(const std::string& name, double lat, double lon, double headingRad, double radiusMetres,
                       bool cargo = false, bool ramp = false, bool heli = false) {
  return Stand(name, {}, {lat, lon, headingRad}, radiusMetres, cargo ? 0 : 1, ramp ? 0 : 1, heli ? 0 : 1);
}

inline ParkPosOption makeOption(std::string airl, std::string type, std::string reg, std::uint32_t day,
                                std::uint64_t halfHours, std::uint32_t id, std::uint32_t kind = 1,
                                std::string cs1 = {}, std::string cs2 = {}) {
  return {std::move(airl), std::move(type), std::move(reg), std::move(cs1), std::move(cs2), halfHours, id, day, 0, kind};
}

// The meta block every airport file needs to be accepted.
inline const char* kMetaBlock =
    "<meta><info name=\"author\" value=\"a\" /><info name=\"version\" value=\"1\" />"
    "<info name=\"date\" value=\"d\" /></meta>\n";

}  // namespace amb::test
