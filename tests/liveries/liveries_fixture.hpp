#pragma once
// Shared set-up of the livery tests: a private working folder with "input" and "output", the log
// open in it, a download server that is an empty local folder, RANDOM off, LOG on, depth 4; and the
// small reference library of liveries with its data base.

#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "dbgen/dbgen.hpp"
#include "liveries/scan_run.hpp"
#include "liveries/services.hpp"
#include "liveries/store.hpp"
#include "liveries/tables.hpp"
#include "refdata/database.hpp"
#include "refdata/download.hpp"
#include "settings/options.hpp"
#include "support/test_support.hpp"
#include "records/aircraft.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace amb::test {

// A report file's text with its line ends as "\n": the Windows build writes text files with CR LF.
inline std::string linesOf(const std::filesystem::path& p) {
  std::string text = readFile(p);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}


class LiveriesTest : public ::testing::Test {
protected:
  void SetUp() override {
    reset();
    std::filesystem::create_directories(m_dir / "input");
    std::filesystem::create_directories(m_dir / "output");
    std::filesystem::create_directories(m_dir / "server");
    m_env.emplace("AMBT_SERVER_URL", gf_fileUrl(m_dir / "server", true));
    m_parameters = g_parametersPath;
    g_parametersPath = gf_pathText(m_dir / "parameters.xml");
    gf_startLog();
  }
  void TearDown() override {
    gf_closeLog("end");
    g_parametersPath = m_parameters;
    reset();
  }
  static void reset() {
    gf_resetLiveries();
    gf_resetLiveryScan();  // the don't-use titles a test read stay otherwise
    gf_resetDataBase();
    gf_resetExitState();
    gf_clearError();
    gf_clearMessage();
    gf_setRandomOn(false);
    LOG.value = 1;
    MATCHING_DEPTH.value = 4;
    LIGHT_AIRCRAFT.value = 1;
    HIGH_PERF_AIRCRAFT.value = 1;
    HELICOPTERS.value = 1;
  }
  std::filesystem::path path(const std::string& rel) const { return m_dir / rel; }
  std::vector<std::string> log() const { return readLines(m_dir / "Log.txt"); }
  bool logHas(const std::string& line) const {
    const auto lines = log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // The log lines from the first one that begins with the text, up to the end.
  std::vector<std::string> logFrom(const std::string& start) const {
    const auto lines = log();
    auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    return {it, lines.end()};
  }
  void writeScanned(const std::vector<LiveryData>& liveries) {
    g_liveryList.assign(liveries.begin(), liveries.end());
    lf_writeLiveriesScanned();
    g_liveryList.clear();
  }
  // "AIG-regcodes.zip" on the download server, its codes enciphered as the server stores them.
  struct AigLivery {
    std::string title;
    std::vector<std::string> regs;
    std::string special;  // attribute value; empty: no attribute
  };
  void serveAig(const std::vector<AigLivery>& liveries) {
    std::string xml = "<AIG-regcodes>\n";
    for (const AigLivery& l : liveries) {
      xml += "<livery title=\"" + l.title + "\"";
      if (!l.regs.empty()) {
        std::string regs;
        for (const std::string& r : l.regs) regs += (regs.empty() ? "" : ",") + dbgen::encryptKeyed(r);
        xml += " reg=\"" + regs + "\"";
      }
      if (!l.special.empty()) xml += " special=\"" + l.special + "\"";
      xml += "/>\n";
    }
    serveAigText(xml + "</AIG-regcodes>\n");
  }
  void serveAigText(const std::string& xml) {
    dbgen::writeZip(m_dir / "server" / "AIG-regcodes.zip", {{"AIG-regcodes.xml", xml}});
  }
  void writeUserFile(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(m_dir / g_myRegcodesFolder);
    writeFile(m_dir / g_myRegcodesFolder / name, text);
  }

  TempDir m_dir{"amb-liveries"};
  ScopedCwd m_cwd{m_dir.path()};
  std::optional<ScopedEnv> m_env;
  std::string m_parameters;
};

// The reference library: twelve liveries over five airlines, the generic and the private airline.
inline std::vector<LiveryData> referenceLiveries() {
  return {{"BAW", "A320", "A320 BAW 1", "", 1, false},
          {"BAW", "A320", "A320 BAW 2 G-EUUB", "G-EUUB", 1, false},
          {"BAW", "A321", "A321 BAW 1", "", 1, false},
          {"DLH", "A319", "A319 DLH 1", "", 1, false},
          {"GEC", "B77L", "B77L GEC 1", "", 1, true},
          {"DLH", "B744", "B744 DLH cargo", "", 1, true},
          {"ZZZ", "A320", "A320 ZZZ generic", "", 1, false},
          {"ZZZ", "B744", "B744 ZZZ generic", "", 1, false},
          {"PVT", "C172", "C172 PVT 1", "", 1, false},
          {"PVT", "C182", "C182 FSLTL_PVT", "", 1, false},
          {"KLM", "A320", "A320 KLM 1 special", "", 1, false},
          {"KLM", "A320", "A320 KLM 2", "", 1, false}};
}

// Its data base: categories (everything not listed is Light), similar groups and registrations.
inline void referenceDataBase() {
  g_largeModels = {"A319", "A320", "A321", "B738"};
  g_heavyModels = {"B744", "B77L", "B77W"};
  g_similarGroups = {{"A319", "A320", "A321"}, {"C172", "C182"}, {"B744", "B77W"}};
  g_regcodeInfos = {{"G-EUUB", {"BAW", "A320", "", false}},
                    {"G-EUUC", {"BAW", "A320", "", false}},
                    {"G-EUYA", {"BAW", "A320", "CFE", false}},
                    {"D-ALCA", {"DLH", "B77L", "GEC", true}},
                    {"N12345", {"PVT", "C172", "", false}}};
}

inline AcData aircraft(const std::string& airline, const std::string& type, const std::string& reg = "",
                       bool cargo = false) {
  return AcData(airline, type, "", "", "CS" + type, "", "", reg, cargo);
}

}  // namespace amb::test
