#pragma once
// Scripted input for the headless window. A thread reads a script file or FIFO line by line:
//   click ID         the check box or button ID is clicked (the program toggles check boxes itself)
//   type ID TEXT     the edit box ID gets TEXT (the rest of the line, may be empty), then Enter
//   enter ID         Enter in the edit box ID
//   close            the window's close button
//   sleep MS         waits MS milliseconds
//   waitlog TEXT     waits until Log.txt contains TEXT, bounded; a timeout is reported and the script
//                    goes on
// Blank lines and lines starting with # are skipped. Input commands go to the window's queue; the
// window refuses them (and reports it) when the control is unknown, disabled or of the wrong kind.
// A FIFO is opened again after each writer closes it, so a harness can write one command at a time.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>

namespace amb::platform::headless {

// Where the window and its driver report what they do (one line per call, no newline).
using DiagSink = std::function<void(std::string_view line)>;

// "HH:MM:SS.mmm" of the current UTC time, for the report lines.
std::string timeStamp();

struct ScriptCommand {
  enum class Kind { Click, Type, Enter, Close, Sleep, WaitLog };
  Kind kind = Kind::Close;
  std::uint16_t id = 0;                 // Click, Type, Enter
  std::string text;                     // Type, WaitLog
  std::chrono::milliseconds duration{}; // Sleep
  bool operator==(const ScriptCommand&) const = default;
};

struct ParsedLine {
  std::optional<ScriptCommand> command;  // empty for blank lines, comments and errors
  std::string error;                     // set when the line cannot be understood
};

ParsedLine parseScriptLine(std::string_view line);

// Finds a text in a growing file without reading it all again on every look: it remembers how far
// it has read. A file that shrinks or is replaced is read again from the start.
class LogWatcher {
public:
  LogWatcher(std::filesystem::path file, std::string needle);
  bool found();  // true once the file contains the text

private:
  std::filesystem::path m_file;
  std::string m_needle;
  std::uint64_t m_offset = 0;
  ino_t m_inode = 0;
  std::string m_tail;  // the last needle.size()-1 bytes read, for a match across two reads
};

// Where the driver sends the input commands (Click, Type, Enter, Close).
class ScriptTarget {
public:
  virtual ~ScriptTarget() = default;
  virtual void scriptInput(const ScriptCommand& command) = 0;
};

class ScriptDriver {
public:
  struct Options {
    std::filesystem::path script;
    std::filesystem::path logFile = "Log.txt";
    std::chrono::milliseconds waitLogBound{30000};
  };

  ScriptDriver(Options options, ScriptTarget& target, DiagSink diag);
  ~ScriptDriver();  // stops and joins the thread
  ScriptDriver(const ScriptDriver&) = delete;
  ScriptDriver& operator=(const ScriptDriver&) = delete;

  void start();
  void stop();
  bool finished() const;  // the script ended (end of a regular file, or an error)

private:
  void run();
  bool execute(std::string_view line);  // false when stopped
  bool waitStop(std::chrono::milliseconds d);  // true when stopped
  void report(std::string_view text);

  Options m_options;
  ScriptTarget& m_target;
  DiagSink m_diag;
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_stop = false;
  bool m_finished = false;
  int m_stopPipe[2] = {-1, -1};
  std::thread m_thread;
};

}  // namespace amb::platform::headless
