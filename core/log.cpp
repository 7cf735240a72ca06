#include "core/log.hpp"

#include "core/clock.hpp"
#include "core/files.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "platform/append_file.hpp"
#include "platform/utf8.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>

namespace amb {

namespace {
constexpr const char* kLogName = "Log.txt";
std::mutex g_logMutex;
platform::AppendFile g_logFile;
// Mirrors g_logFile.isOpen() so that writers skip the lock while the log is closed.
std::atomic<bool> g_logOpen{false};
// Lines that could not be written (a full disk) since the last line that could; guarded by
// g_logMutex.
std::uint64_t g_linesLost = 0;

// Appends the line's text as it is, with the line ends of the platform's text files.
void appendText(std::string& out, std::string_view text) {
  if (platform::kTextLineEnd == "\n") {
    out += text;
    return;
  }
  for (const char c : text) {
    if (c == '\n')
      out += platform::kTextLineEnd;
    else
      out += c;
  }
}

// Writes one line with one write of the system, after the count of the lines lost before it when
// there are any: both go whole or not at all, and a line that does not go is counted, so that the
// log goes on once the disk has room again. Under g_logMutex, with the log open.
void writeLocked(std::string_view prefix, std::string_view text) {
  std::string piece;
  if (g_linesLost > 0) {
    appendText(piece, fmt::format("{} log line{} lost: the log could not be written (a full disk?)", g_linesLost,
                                  g_linesLost == 1 ? "" : "s"));
    piece += platform::kTextLineEnd;
  }
  appendText(piece, prefix);
  appendText(piece, text);
  piece += platform::kTextLineEnd;
  if (g_logFile.append(piece))
    g_linesLost = 0;
  else
    ++g_linesLost;
}

void writeLine(std::string_view prefix, std::string_view text) {
  if (!g_logOpen.load(std::memory_order_acquire)) return;
  std::lock_guard lock(g_logMutex);
  // Tested again under the lock: the log may have been closed meanwhile.
  if (!g_logFile.isOpen()) return;
  writeLocked(prefix, text);
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
  writeLocked({}, fmt::format("last line repeated {} more times: {}", r.count, line));
  r.count = 0;
}

void writeLeftOutLocked(PeerKind& k) {
  if (k.leftOut == 0) return;
  writeLocked(
      {}, fmt::format("{} similar line{} left out, the last: {}", k.leftOut, k.leftOut == 1 ? "" : "s", k.lastLeftOut));
  k.leftOut = 0;
  k.lastLeftOut.clear();
}

void flushRepeatsLocked() {
  if (g_logFile.isOpen()) {
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
  if (!g_logFile.isOpen()) return;
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
  writeLocked({}, line);
  g_peerLines.emplace(std::move(line), Repeats{});
}

std::filesystem::path gf_logPath() { return kLogName; }

void gf_startLog() {
  gf_rotateBackups(kLogName);
  std::lock_guard lock(g_logMutex);
  g_logOpen = false;
  if (!g_logFile.openTruncated(kLogName)) throw std::runtime_error(std::string("Failed to write file ") + kLogName);
  g_linesLost = 0;
  g_peerLines.clear();
  g_peerKinds.clear();
  g_logOpen = true;
  writeLocked({}, fmt::format("{} (utc) {} version {} for {}", gf_timeString(clock::unixSeconds()), g_programName,
                              gf_versionText(g_programVersion), "Prepar3D v5/v6"));
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
  if (!g_logFile.isOpen()) return;
  writeLocked({}, lastLine);
  g_logOpen = false;
  g_logFile.close();
}

}  // namespace amb
