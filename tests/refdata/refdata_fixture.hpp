#pragma once
// Shared set-up of the reference-data tests: a private working folder with "input", the log open in
// it, every table and stand-in back at its start values, and small data bases to write.

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

inline void resetRefdataState() {
  gf_resetDataBase();
  gf_resetLiveries();
  gf_resetScan();
  gf_resetDownloads();
  gf_resetExitState();
  gf_clearError();
  gf_clearMessage();
}

class RefdataTest : public ::testing::Test {
protected:
  void SetUp() override {
    resetRefdataState();
    m_cwd.emplace(m_dir.path());
    std::filesystem::create_directories(m_dir / "input");
    gf_startLog();
  }
  void TearDown() override {
    gf_closeLog("end");
    m_env.reset();
    m_cwd.reset();
    resetRefdataState();
  }

  // Points the download server at a folder below the working folder ("server") or at a URL.
  std::filesystem::path useServerFolder() {
    const auto folder = m_dir / "server";
    std::filesystem::create_directories(folder / "release");
    useServerUrl(gf_fileUrl(folder, true));
    return folder;
  }
  void useServerUrl(const std::string& url) {
    m_env.reset();
    m_env.emplace("AMBT_SERVER_URL", url);
  }

  std::vector<std::string> logLines() const { return readLines(m_dir / "Log.txt"); }
  bool logHas(const std::string& line) const {
    const auto lines = logLines();
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

// Writes the data base's "temp2.xml" into a zip "dbase.zip" in the folder.
inline void writeDbaseZip(const std::filesystem::path& folder, const std::string& xml) {
  dbgen::writeZip(folder / "dbase.zip", {{"temp2.xml", xml}});
}

// Flips a byte inside the first entry's compressed data; the central directory stays intact, so the
// archive still opens but the entry fails its checksum.
inline void damageFirstEntry(const std::filesystem::path& zip) {
  std::string bytes = test::readFile(zip);
  ASSERT_GT(bytes.size(), 30u);
  auto u16 = [&](std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
  };
  const std::size_t data = 30 + u16(26) + u16(28);  // local header, name, extra field
  ASSERT_GT(bytes.size(), data + 10);
  bytes[data + 5] = static_cast<char>(bytes[data + 5] ^ 0x5A);
  test::writeFile(zip, bytes);
}

}  // namespace amb::test
