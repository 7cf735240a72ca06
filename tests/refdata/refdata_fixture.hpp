#pragma once
// Shared set-up of the reference-data tests: a private working folder with "input", the log open in
// it, every table and stand-in back at its start values, and small data bases and archives to write.

#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "dbgen/dbgen.hpp"
#include "liveries/services.hpp"
#include "refdata/database.hpp"
#include "refdata/download.hpp"
#include "refdata/queries.hpp"
#include "scan/services.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace amb::test {

class RefdataTest : public ::testing::Test {
protected:
  void SetUp() override {
    reset();
    m_cwd.emplace(m_dir.path());
    std::filesystem::create_directories(m_dir / "input");
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
    gf_resetLiveries();
    gf_resetScan();
    gf_resetDownloads();
    gf_resetExitState();
    gf_clearError();
    gf_clearMessage();
  }
  void useServerUrl(const std::string& url) {
    m_env.reset();
    m_env.emplace("AMBT_SERVER_URL", url);
  }
  bool logHas(const std::string& line) const {
    const auto lines = readLines(m_dir / "Log.txt");
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::filesystem::path path(const std::string& rel) const { return m_dir / rel; }

  TempDir m_dir{"amb-refdata"};
  std::optional<ScopedCwd> m_cwd;
  std::optional<ScopedEnv> m_env;
};

// A small complete data base: every required list filled, a few of every optional section.
inline dbgen::PlainDataBase smallDataBase() {
  using dbgen::Category;
  dbgen::PlainDataBase db;
  db.models = {{"C172", Category::Light},     {"PA28", Category::Light},      {"GLF5", Category::Buzjets},
               {"C25B", Category::Buzjets},   {"B738", Category::Large},      {"A320", Category::Large},
               {"A321", Category::Large},     {"B77W", Category::Heavy},      {"A388", Category::Heavy},
               {"F18", Category::HighPerf},   {"EC35", Category::Rotorcraft}, {"B06", Category::Rotorcraft},
               {"J3", Category::Light},       {"MD11", Category::Heavy}};
  db.similarGroups = {{"A321", "A320"}, {"B738", "B77W"}};
  db.cargoTypes = {"MD11"};
  db.airlines = {"DAL", "AAL", "UAL", "FDX"};
  db.cargoOperators = {"FDX"};
  db.publishers = {{"Northwind Scenery", "NWS_"}, {"Harbour Lights Design", "HLD_"}};
  db.wingspanMetres = {{"B738", 35.8}, {"B77W", 64.8}, {"C172", 11.0}};
  db.fixes = {{"B737-800", "B738"}};
  db.simaddonAirports = {"KJFK", "KLGA"};
  db.thirdParties = {{"Northwind Scenery", {"KJFK231", "KLGA96"}}};
  db.registrations = {{"N355DN", "DAL", "A321", "DAL", false},
                      {"D-ABCD", "DLH", "A320", "", false},
                      {"N123FE", "FDX", "MD11", "FDX", true},
                      {"D-E", "PVT", "", "", false},
                      {"G-B", "PVT", "", "", false}};
  return db;
}

// The bytes of a zip archive of the entries (a name ending with '/' is a folder); `damaged` flips a
// byte inside the first entry's compressed data, so that the archive still opens but the entry
// fails its checksum.
inline std::string zipBytes(const std::vector<dbgen::ZipInput>& entries, bool damaged = false) {
  TempDir dir("amb-zip");
  dbgen::writeZip(dir / "made.zip", entries);
  std::string bytes = readFile(dir / "made.zip");
  if (damaged) {
    const auto u16 = [&](std::size_t at) {
      return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) |
             static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    const std::size_t data = 30 + u16(26) + u16(28);  // local header, name, extra field
    if (bytes.size() > data + 10) bytes[data + 5] = static_cast<char>(bytes[data + 5] ^ 0x5A);
  }
  return bytes;
}

}  // namespace amb::test
