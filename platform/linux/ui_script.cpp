#include "platform/linux/ui_script.hpp"

#include <fmt/format.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace amb::platform::headless {

namespace fs = std::filesystem;

std::string timeStamp() {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&secs, &tm);
  return fmt::format("{:02}:{:02}:{:02}.{:03}", tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms % 1000));
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view skipBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}

// Splits off the first word; rest keeps what follows the word, starting at its separator.
std::string_view firstWord(std::string_view s, std::string_view& rest) {
  std::size_t n = 0;
  while (n < s.size() && !isBlank(s[n])) ++n;
  rest = s.substr(n);
  return s.substr(0, n);
}

template <typename T>
bool parseNumber(std::string_view word, T& out) {
  if (word.empty()) return false;
  for (char c : word)
    if (c < '0' || c > '9') return false;
  const auto [p, ec] = std::from_chars(word.data(), word.data() + word.size(), out);
  return ec == std::errc() && p == word.data() + word.size();
}

}  // namespace

ParsedLine parseScriptLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  std::string_view s = skipBlanks(line);
  if (s.empty() || s.front() == '#') return {};

  std::string_view rest;
  const std::string_view keyword = firstWord(s, rest);
  ScriptCommand cmd;

  auto error = [](std::string text) { return ParsedLine{std::nullopt, std::move(text)}; };
  auto noMore = [&](std::string_view r) { return skipBlanks(r).empty(); };
  // The control id after the keyword; rest then starts right after the id.
  auto takeId = [&]() -> bool {
    std::string_view after;
    const std::string_view word = firstWord(skipBlanks(rest), after);
    unsigned long value = 0;
    if (!parseNumber(word, value) || value > 0xFFFF) return false;
    cmd.id = static_cast<std::uint16_t>(value);
    rest = after;
    return true;
  };

  if (keyword == "click" || keyword == "enter") {
    cmd.kind = keyword == "click" ? ScriptCommand::Kind::Click : ScriptCommand::Kind::Enter;
    if (!takeId()) return error(fmt::format("{} needs a control id from 0 to 65535", keyword));
    if (!noMore(rest)) return error(fmt::format("unexpected text after the id of {}", keyword));
    return {cmd, {}};
  }
  if (keyword == "type") {
    cmd.kind = ScriptCommand::Kind::Type;
    if (!takeId()) return error("type needs a control id from 0 to 65535");
    // The text is everything after the one blank that follows the id, kept as it is.
    if (!rest.empty()) rest.remove_prefix(1);
    cmd.text = std::string(rest);
    return {cmd, {}};
  }
  if (keyword == "close") {
    if (!noMore(rest)) return error("close takes no arguments");
    cmd.kind = ScriptCommand::Kind::Close;
    return {cmd, {}};
  }
  if (keyword == "sleep") {
    cmd.kind = ScriptCommand::Kind::Sleep;
    std::string_view after;
    const std::string_view word = firstWord(skipBlanks(rest), after);
    long long ms = 0;
    if (!parseNumber(word, ms) || ms > 24LL * 3600 * 1000 || !noMore(after))
      return error("sleep needs a number of milliseconds (at most one day)");
    cmd.duration = std::chrono::milliseconds(ms);
    return {cmd, {}};
  }
  if (keyword == "waitlog") {
    cmd.kind = ScriptCommand::Kind::WaitLog;
    if (!rest.empty()) rest.remove_prefix(1);
    if (rest.empty()) return error("waitlog needs a text");
    cmd.text = std::string(rest);
    return {cmd, {}};
  }
  return error(fmt::format("unknown command \"{}\"", keyword));
}

LogWatcher::LogWatcher(fs::path file, std::string needle) : m_file(std::move(file)), m_needle(std::move(needle)) {}

bool LogWatcher::found() {
  if (m_needle.empty()) return true;
  const int fd = ::open(m_file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return false;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (st.st_ino != m_inode || size < m_offset) {
    // A new or truncated file: look at it from the start.
    m_inode = st.st_ino;
    m_offset = 0;
    m_tail.clear();
  }
  bool hit = false;
  char buf[65536];
  while (!hit && m_offset < size) {
    const ssize_t n = ::pread(fd, buf, sizeof buf, static_cast<off_t>(m_offset));
    if (n <= 0) break;
    m_offset += static_cast<std::uint64_t>(n);
    std::string window = std::move(m_tail);
    window.append(buf, static_cast<std::size_t>(n));
    hit = window.find(m_needle) != std::string::npos;
    const std::size_t keep = std::min(window.size(), m_needle.size() - 1);
    m_tail = window.substr(window.size() - keep);
  }
  ::close(fd);
  return hit;
}

ScriptDriver::ScriptDriver(Options options, ScriptTarget& target, DiagSink diag)
    : m_options(std::move(options)), m_target(target), m_diag(std::move(diag)) {}

ScriptDriver::~ScriptDriver() { stop(); }

void ScriptDriver::start() {
  {
    std::lock_guard lk(m_mutex);
    if (m_thread.joinable() || m_stop) return;
  }
  if (::pipe2(m_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    report(fmt::format("cannot start the script driver: {}", std::strerror(errno)));
    std::lock_guard lk(m_mutex);
    m_finished = true;
    return;
  }
  m_thread = std::thread([this] { run(); });
}

void ScriptDriver::stop() {
  {
    std::lock_guard lk(m_mutex);
    m_stop = true;
  }
  m_cv.notify_all();
  if (m_stopPipe[1] >= 0) {
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_stopPipe[1], &b, 1);
  }
  if (m_thread.joinable()) m_thread.join();
  for (int& fd : m_stopPipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

bool ScriptDriver::finished() const {
  std::lock_guard lk(m_mutex);
  return m_finished;
}

void ScriptDriver::report(std::string_view text) {
  if (m_diag) m_diag(fmt::format("ui-script {} {}", timeStamp(), text));
}

bool ScriptDriver::waitStop(std::chrono::milliseconds d) {
  std::unique_lock lk(m_mutex);
  return m_cv.wait_for(lk, d, [this] { return m_stop; });
}

bool ScriptDriver::execute(std::string_view line) {
  const ParsedLine parsed = parseScriptLine(line);
  if (!parsed.error.empty()) {
    report(fmt::format("skipped line \"{}\": {}", line, parsed.error));
    return true;
  }
  if (!parsed.command) return true;
  const ScriptCommand& cmd = *parsed.command;
  std::string_view shown = skipBlanks(line);
  while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n')) shown.remove_suffix(1);
  report(shown);

  switch (cmd.kind) {
    case ScriptCommand::Kind::Sleep:
      return !waitStop(cmd.duration);
    case ScriptCommand::Kind::WaitLog: {
      LogWatcher watcher(m_options.logFile, cmd.text);
      const auto deadline = std::chrono::steady_clock::now() + m_options.waitLogBound;
      while (!watcher.found()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
          report(fmt::format("waitlog timed out after {} ms: {}", m_options.waitLogBound.count(), cmd.text));
          return true;
        }
        const auto step = std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(10), deadline - now);
        if (waitStop(std::chrono::duration_cast<std::chrono::milliseconds>(step) + std::chrono::milliseconds(1)))
          return false;
      }
      return true;
    }
    default:
      m_target.scriptInput(cmd);
      return true;
  }
}

void ScriptDriver::run() {
  struct stat st {};
  const bool fifo = ::stat(m_options.script.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
  // Non-blocking, so that opening a FIFO does not wait for its writer; poll waits instead.
  int fd = ::open(m_options.script.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    report(fmt::format("cannot open the script {}: {}", m_options.script.string(), std::strerror(errno)));
    std::lock_guard lk(m_mutex);
    m_finished = true;
    return;
  }

  std::string pending;
  bool stopped = false;
  // Runs every complete line of pending; with atEnd also a last line without a newline.
  auto runLines = [&](bool atEnd) {
    std::size_t start = 0;
    for (std::size_t nl; !stopped && (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1)
      stopped = !execute(std::string_view(pending).substr(start, nl - start));
    pending.erase(0, start);
    if (atEnd && !stopped && !pending.empty()) stopped = !execute(pending);
    if (atEnd) pending.clear();
  };

  char buf[4096];
  while (!stopped) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
    const int r = ::poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      report(fmt::format("cannot read the script: {}", std::strerror(errno)));
      break;
    }
    if (fds[1].revents != 0) break;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      pending.append(buf, static_cast<std::size_t>(n));
      runLines(false);
    } else if (n == 0) {
      runLines(true);
      if (!fifo) break;
      // The writer closed the FIFO. A fresh descriptor waits for the next writer; the old one would
      // report the hang-up again and again. The new one is opened first, so a writer never finds
      // the FIFO without a reader.
      const int next = ::open(m_options.script.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (next < 0) {
        report(fmt::format("cannot open the script {} again: {}", m_options.script.string(), std::strerror(errno)));
        break;
      }
      ::close(fd);
      fd = next;
    } else if (errno != EAGAIN && errno != EINTR) {
      report(fmt::format("cannot read the script: {}", std::strerror(errno)));
      break;
    }
  }
  ::close(fd);
  std::lock_guard lk(m_mutex);
  m_finished = true;
}

}  // namespace amb::platform::headless
