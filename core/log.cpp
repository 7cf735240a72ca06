#include "core/log.hpp"

#include "core/clock.hpp"
#include "core/files.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"

#include <atomic>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace amb {

namespace {
constexpr const char* kLogName = "Log.txt";
std::mutex g_logMutex;
std::ofstream g_logFile;
// Mirrors g_logFile.is_open() so that writers skip the lock while the log is closed.
std::atomic<bool> g_logOpen{false};

void writeLine(std::string_view prefix, std::string_view text) {
  if (!g_logOpen.load(std::memory_order_acquire)) return;
  std::lock_guard lock(g_logMutex);
  // Tested again under the lock: the log may have been closed meanwhile.
  if (!g_logFile.is_open()) return;
  g_logFile << prefix << text << std::endl;
}
}  // namespace

std::filesystem::path gf_logPath() { return kLogName; }

void gf_startLog() {
  gf_rotateBackups(kLogName);
  std::lock_guard lock(g_logMutex);
  if (g_logFile.is_open()) g_logFile.close();
  g_logFile.clear();
  g_logFile.open(kLogName, std::ios::out | std::ios::trunc);
  if (!g_logFile.is_open()) {
    g_logFile.clear();
    throw std::runtime_error(std::string("Failed to write file ") + kLogName);
  }
  g_logFile.clear();
  g_logOpen = true;
  g_logFile << fmt::format("{} (utc) {} version {} for {}", gf_timeString(clock::unixSeconds()),
                           g_programName, gf_versionText(g_programVersion), "Prepar3D v5/v6")
            << std::endl;
}

void gf_log(std::string_view text) { writeLine({}, text); }
void gf_log(const std::string& text) { writeLine({}, text); }
void gf_log(const char* text) { writeLine({}, text); }
void gf_logMarked(std::string_view text) { writeLine("===> ", text); }
void gf_logIndented(std::string_view text) { writeLine("          ", text); }

bool gf_logIsOpen() { return g_logOpen.load(std::memory_order_acquire); }

void gf_closeLog(std::string_view lastLine) {
  std::lock_guard lock(g_logMutex);
  if (!g_logFile.is_open()) return;
  g_logFile << lastLine << std::endl;
  g_logOpen = false;
  g_logFile.close();
}

}  // namespace amb
