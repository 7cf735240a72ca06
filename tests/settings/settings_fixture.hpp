#pragma once
// Each test runs in its own folder with its own log and settings file, starting from the defaults.

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "settings/settings.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace amb::test {

class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_cwd = std::make_unique<ScopedCwd>(m_dir.path());
    gf_resetSettings();
    g_parametersPath = gf_pathText(file());
    gf_startLog();
  }
  void TearDown() override {
    gf_closeLog("");
    gf_resetSettings();
    m_cwd.reset();
  }

  std::filesystem::path file() const { return m_dir / "parameters.xml"; }
  std::string fileText() const { return readFile(file()); }
  void writeParameters(const std::string& entries) {
    writeFile(file(), "<?xml version=\"1.0\"?>\n<parameters>\n" + entries + "</parameters>\n");
  }
  static std::string entry(const std::string& key, const std::string& value) {
    return "\t<parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
  }
  std::vector<std::string> log() const { return readLines(m_dir / "Log.txt"); }
  bool logHas(const std::string& line) const {
    const auto lines = log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  const TempDir& dir() const { return m_dir; }

private:
  TempDir m_dir{"amb-settings"};
  std::unique_ptr<ScopedCwd> m_cwd;
};

}  // namespace amb::test
