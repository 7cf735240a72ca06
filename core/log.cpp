#include "core/log.hpp"

#include "core/clock.hpp"
#include "core/files.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "platform/utf8.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
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

// Peer lines already written, with the repeats not written since. Guarded by g_logMutex.
struct Repeats {
  std::uint64_t count = 0;
  clock::SteadyTime since{};
};
constexpr std::size_t kRememberedPeerLines = 256;
constexpr auto kRepeatReport = std::chrono::minutes(1);
std::map<std::string, Repeats, std::less<>> g_peerLines;

// Each kind of peer line spends one of its budget per line written; the budget grows back by one a
// second up to a few, so a text that keeps changing is written once a second and a few different
// lines at once all are. Guarded by g_logMutex.
struct PeerKind {
  double budget = 0;
  clock::SteadyTime refilled{};
  std::uint64_t leftOut = 0;
  std::string lastLeftOut;
};
constexpr double kPeerKindBurst = 5;
std::map<std::string, PeerKind, std::less<>> g_peerKinds;

void writeRepeatsLocked(const std::string& line, Repeats& r) {
  if (r.count == 0) return;
  g_logFile << fmt::format("last line repeated {} more times: {}", r.count, line) << std::endl;
  r.count = 0;
}

void writeLeftOutLocked(PeerKind& k) {
  if (k.leftOut == 0) return;
  g_logFile << fmt::format("{} similar line{} left out, the last: {}", k.leftOut, k.leftOut == 1 ? "" : "s",
                           k.lastLeftOut)
            << std::endl;
  k.leftOut = 0;
  k.lastLeftOut.clear();
}

void flushRepeatsLocked() {
  if (g_logFile.is_open()) {
    for (auto& [line, r] : g_peerLines) writeRepeatsLocked(line, r);
    for (auto& [kind, k] : g_peerKinds) writeLeftOutLocked(k);
  }
  g_peerLines.clear();
}

std::string_view prefixOf(LogStyle style) {
  switch (style) {
    case LogStyle::Marked: return "===> ";
    case LogStyle::Indented: return "          ";
    case LogStyle::Plain: break;
  }
  return {};
}

// The length of the valid UTF-8 sequence at the start of s, 0 when it is none.
std::size_t utf8Sequence(std::string_view s) {
  for (std::size_t n = 1; n <= std::min<std::size_t>(4, s.size()); ++n)
    if (platform::isValidUtf8(s.substr(0, n))) return n;
  return 0;
}
}  // namespace

bool gf_isPlainText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::string gf_peerText(std::string_view raw, std::size_t maxBytes) {
  if (raw.size() <= maxBytes && gf_isPlainText(raw)) return std::string(raw);
  std::string out;
  out.reserve(std::min(raw.size(), maxBytes) + 8);
  std::size_t i = 0;
  while (i < raw.size()) {
    const std::size_t n = utf8Sequence(raw.substr(i));
    const std::size_t take = n == 0 ? 1 : n;
    if (i + take > maxBytes) break;
    const auto c = static_cast<unsigned char>(raw[i]);
    if (n == 0 || c < 0x20 || c == 0x7F)
      out += fmt::format("\\x{:02X}", c);
    else
      out.append(raw.substr(i, n));
    i += take;
  }
  if (i < raw.size()) out += "...";
  return out;
}

void detail::logPeerLine(LogStyle style, std::string_view kind, std::string text) {
  if (!g_logOpen.load(std::memory_order_acquire)) return;
  std::string line(prefixOf(style));
  line += text;
  std::string kindKey(1, static_cast<char>('0' + static_cast<int>(style)));
  kindKey += kind;
  const auto now = clock::steadyNow();
  std::lock_guard lock(g_logMutex);
  if (!g_logFile.is_open()) return;
  if (const auto it = g_peerLines.find(line); it != g_peerLines.end()) {
    Repeats& r = it->second;
    if (r.count++ == 0) r.since = now;
    if (now - r.since >= kRepeatReport) writeRepeatsLocked(it->first, r);
    return;
  }
  auto [at, fresh] = g_peerKinds.try_emplace(std::move(kindKey));
  PeerKind& k = at->second;
  if (fresh) {
    k.budget = kPeerKindBurst;
  } else {
    const double grown = std::chrono::duration<double>(now - k.refilled).count();
    k.budget = std::min(kPeerKindBurst, k.budget + std::max(0.0, grown));
  }
  k.refilled = now;
  if (k.budget < 1) {
    ++k.leftOut;
    k.lastLeftOut = std::move(line);
    return;
  }
  k.budget -= 1;
  writeLeftOutLocked(k);
  if (g_peerLines.size() >= kRememberedPeerLines) flushRepeatsLocked();
  g_logFile << line << std::endl;
  g_peerLines.emplace(std::move(line), Repeats{});
}

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
  g_peerLines.clear();
  g_peerKinds.clear();
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
  flushRepeatsLocked();
  g_peerKinds.clear();
  if (!g_logFile.is_open()) return;
  g_logFile << lastLine << std::endl;
  g_logOpen = false;
  g_logFile.close();
}

}  // namespace amb
