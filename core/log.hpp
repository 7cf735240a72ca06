#pragma once
// The running log "Log.txt" in the working folder. One line per call, whole under concurrent
// writers, flushed at once. Lines written while the log is closed are dropped.

#include <fmt/format.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace amb {

// Keeps Log0.txt and Log00.txt of the two previous runs, truncates Log.txt and writes the header.
// Throws std::runtime_error "Failed to write file Log.txt" when it cannot be opened, and the
// file-system error of a failed backup copy.
void gf_startLog();

void gf_log(std::string_view text);
void gf_log(const std::string& text);
void gf_log(const char* text);
void gf_logMarked(std::string_view text);    // "===> " in front
void gf_logIndented(std::string_view text);  // ten blanks in front

// Formatting shortcut: gf_logf("{}={}", key, value).
template <typename... Args>
void gf_logf(fmt::format_string<Args...> f, Args&&... args) {
  gf_log(fmt::format(f, std::forward<Args>(args)...));
}

// Text that came from a peer (RealTraffic, the simulator or whatever answers in their place), made
// safe for one log line: cut to maxBytes (at a character boundary, "..." marking the cut), control
// characters and bytes that are not valid UTF-8 written as \xNN, so no peer can start a line of its
// own. Plain printable text is unchanged.
inline constexpr std::size_t kPeerTextBytes = 200;
std::string gf_peerText(std::string_view raw, std::size_t maxBytes = kPeerTextBytes);

// A line that carries peer text (built with gf_peerText). A line identical to one logged before is
// not written again; the count of its repeats follows once a minute, when the log closes, or when
// many other such lines came meanwhile: "last line repeated {} more times: {}".
void gf_logPeer(std::string_view text, std::string_view prefix = {});

bool gf_logIsOpen();

// Writes the final time line and closes the log; later lines are dropped.
void gf_closeLog(std::string_view lastLine);

// Tests: the path the log is written to (default "Log.txt" in the working folder).
std::filesystem::path gf_logPath();

}  // namespace amb
