#pragma once
// Shared set-up of the livery-scan tests: a private working folder with the log open in it, a small
// data base of the types and airlines the fixtures use, and helpers that lay out aircraft folders.

#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/jobs.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "liveries/cfg_file.hpp"
#include "liveries/scan_run.hpp"
#include "liveries/services.hpp"
#include "liveries/store.hpp"
#include "refdata/database.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace amb::test {

class LiveryScanTest : public ::testing::Test {
protected:
  void SetUp() override {
    reset();
    m_cwd.emplace(m_dir.path());
    gf_startLog();
    // The data base the fixtures rely on.
    g_validModels = {"A320", "B744", "B738", "C172", "T154", "EUFI"};
    g_heavyModels = {"B744"};
    g_largeModels = {"A320", "B738"};
    g_icaoAirlines = {"BAW", "DLH", "KLM", "ZZZ", "AFR"};
    g_modelFixes = {{"A32N", "A20N"}, {"B738W", "B738"}};
    g_validModels.insert("A20N");
    g_regcodeInfos["G-EUUA"] = RegcodeInfo{"BAW", "A320", "", false};
    g_regcodeInfos["D-ABYA"] = RegcodeInfo{"DLH", "B744", "", true};
  }
  void TearDown() override {
    gf_closeLog("end");
    m_cwd.reset();
    reset();
  }
  static void reset() {
    gf_resetDataBase();
    gf_resetLiveries();
    gf_resetLiveryScan();
    gf_resetExitState();
    gf_resetJobs();
    gf_clearMessage();
  }
  std::vector<std::string> logLines() const { return readLines(m_dir / "Log.txt"); }
  bool logHas(const std::string& line) const {
    const auto lines = logLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  bool logContains(const std::string& text) const {
    for (const auto& line : logLines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  // An aircraft folder holding the configuration file and the model and texture folders and the
  // flight-model file that its sections name.
  std::filesystem::path aircraft(const std::filesystem::path& folder, const std::string& cfg,
                                 const std::vector<std::string>& entries,
                                 const std::string& fileName = "aircraft.cfg") {
    const auto dir = m_dir / folder;
    std::filesystem::create_directories(dir);
    for (const auto& entry : entries) {
      if (entry.size() > 4 && (entry.substr(entry.size() - 4) == ".air" || entry.substr(entry.size() - 4) == ".AIR"))
        writeFile(dir / entry, "");
      else
        std::filesystem::create_directories(dir / entry);
    }
    writeFile(dir / fileName, cfg);
    return dir / fileName;
  }
  template <class List>
  static std::vector<std::string> lines(const List& list) {
    return {list.begin(), list.end()};
  }

  TempDir m_dir{"amb-liveryscan"};
  std::optional<ScopedCwd> m_cwd;
};

// The real Eurofighter package (testdata/aircraft/EF2000_Ala14) copied to the folder, with the model
// and texture folders and the flight-model file that its sections name and it ships without. Gives
// its Aircraft.cfg.
inline std::filesystem::path layOutEurofighter(const std::filesystem::path& package) {
  namespace fs = std::filesystem;
  fs::create_directories(package);
  fs::copy(testData("aircraft/EF2000_Ala14"), package, fs::copy_options::recursive);
  const fs::path folder = package / "SimObjects" / "TQL_NBAI_Eurofighter_EF2000_Spain_Ala_14";
  std::string key;
  for (const auto& line : readLines(folder / "Aircraft.cfg")) {
    if (lf_readTexture(line, key)) fs::create_directories(folder / ("texture." + key));
    if (lf_readModel(line, key)) fs::create_directories(folder / ("model." + key));
  }
  writeFile(folder / "NBAI_Typhoon_F2_AI_ONLY.air", "");
  return folder / "Aircraft.cfg";
}

// A section of an AI package with everything it needs but the keys given.
inline std::string section(int n, const std::string& keys) {
  return "[fltsim." + std::to_string(n) + "]\n" + keys + "\n";
}

}  // namespace amb::test
