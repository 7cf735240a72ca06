#pragma once
// The running log "Log.txt" in the working folder. One line per call, whole under concurrent
// writers, flushed at once. Lines written while the log is closed are dropped.

#include <fmt/format.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

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
// Printable ASCII only: gf_peerText leaves it as it is (up to its cut).
bool gf_isPlainText(std::string_view text);

bool gf_logIsOpen();

// How a line begins: as gf_log, gf_logMarked ("===> ") or gf_logIndented (ten blanks).
enum class LogStyle : std::uint8_t { Plain, Marked, Indented };

// A text of the program's own (a path it built, a text of its own) among the arguments of a peer
// line: written as it is, neither escaped nor cut.
struct OwnText {
  std::string_view text;
};

namespace detail {
// A text argument of a peer line goes through gf_peerText; any other argument as it is.
inline std::string peerArg(std::string_view text) { return gf_peerText(text); }
inline std::string_view peerArg(OwnText own) { return own.text; }
template <typename T>
  requires(!std::is_convertible_v<const T&, std::string_view>)
const T& peerArg(const T& value) {
  return value;
}
void logPeerLine(LogStyle style, std::string_view kind, std::string text);
}  // namespace detail

// A line that carries text from outside the program (RealTraffic, the simulator, the download
// server, or whatever answers in their place): every text argument is escaped and cut by
// gf_peerText. No peer can flood the log with it:
// - a line identical to one logged before is not written again; the count of its repeats follows
//   once a minute, when the log closes, or when many other such lines came meanwhile: "last line
//   repeated {} more times: {}";
// - a kind of line (its format text and style) whose text keeps changing is written at most once a
//   second after a first few; the lines left out are counted, and the count comes before the next
//   line of that kind that is written, or when the log closes: "{} similar lines left out, the
//   last: {}".
template <typename... Args>
void gf_logPeerf(LogStyle style, fmt::format_string<Args...> f, Args&&... args) {
  if (!gf_logIsOpen()) return;
  const std::tuple<decltype(detail::peerArg(args))...> escaped(detail::peerArg(args)...);
  const fmt::string_view format = f;
  std::string text = std::apply(
      [&](const auto&... a) { return fmt::vformat(format, fmt::make_format_args(a...)); }, escaped);
  detail::logPeerLine(style, std::string_view(format.data(), format.size()), std::move(text));
}
template <typename... Args>
void gf_logPeerf(fmt::format_string<Args...> f, Args&&... args) {
  gf_logPeerf(LogStyle::Plain, f, std::forward<Args>(args)...);
}

// Writes the final time line and closes the log; later lines are dropped.
void gf_closeLog(std::string_view lastLine);

// Tests: the path the log is written to (default "Log.txt" in the working folder).
std::filesystem::path gf_logPath();

}  // namespace amb

// For the check of a peer line's format text; the line itself is written with the text as it is.
template <>
struct fmt::formatter<amb::OwnText> : fmt::formatter<fmt::string_view> {
  template <typename Context>
  auto format(amb::OwnText own, Context& ctx) const {
    return fmt::formatter<fmt::string_view>::format(fmt::string_view(own.text.data(), own.text.size()), ctx);
  }
};
