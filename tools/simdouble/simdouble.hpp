#pragma once
// The simulator double: a SimConnect server (protocol 35) on TCP over IPv4 and IPv6 and on the
// named pipe (on Linux the pipe's socket file), with a scripted user aircraft, AI objects, a log of
// every packet it receives and a CSV trace of the AI objects.
//
// It is driven by commands, one per line, from a script file, the command line, a control FIFO,
// standard input or, in-process, SimDouble::command. "help" in the program lists them.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace amb::simdouble {

struct Options {
  std::optional<std::uint16_t> tcp4Port;  // 0: any free port
  std::optional<std::uint16_t> tcp6Port;
  std::optional<std::string> pipeName;    // the pipe's Windows path text
  std::filesystem::path packetLog;        // empty: no packet-log file
  std::filesystem::path trace;            // empty: no trace
  std::filesystem::path svg;              // empty: no map of the trace at the end
  std::filesystem::path reported;         // CSV of reported positions for the map; may be empty
  std::filesystem::path controlFifo;      // empty: none
  bool controlStdin = false;
  std::filesystem::path portFile;         // written once listening: "tcp4 N", "tcp6 N", "pipe PATH"
  std::vector<std::string> commands;      // run in order before the first client
};

inline constexpr const char* kDefaultPipeName = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";

// One packet as received.
struct LoggedPacket {
  unsigned session = 0;
  std::uint32_t size = 0;
  std::uint32_t version = 0;
  std::uint32_t type = 0;  // without the 0xF0000000 flag
  std::uint32_t sendId = 0;
  std::vector<std::uint8_t> bytes;  // the whole packet
};

// The packet-log line of a packet: "session=1 send=1 type=0x01 size=296 data=<hex>".
std::string packetLogLine(const LoggedPacket& p);

class SimDouble {
public:
  explicit SimDouble(Options options);
  ~SimDouble();
  SimDouble(const SimDouble&) = delete;
  SimDouble& operator=(const SimDouble&) = delete;

  // Opens the listeners and files (std::runtime_error when one cannot be opened) and runs the
  // commands of the options.
  void open();
  // Runs the loop on a thread of its own (after open).
  void start();
  // Runs the loop on the calling thread until "quit" or "exit"; the exit code.
  int run();
  // Ends the loop and closes every connection.
  void stop();

  // Queues a command line for the loop; any thread. Errors are reported on standard error.
  void command(const std::string& line);
  // Ends the loop like "exit"; safe inside a signal handler.
  void stopFromSignal();

  std::uint16_t tcp4Port() const;
  std::uint16_t tcp6Port() const;
  std::filesystem::path pipeSocket() const;

  std::vector<LoggedPacket> packets() const;
  std::size_t connectedClients() const;
  std::size_t clientsSeen() const;
  std::size_t commandsDone() const;  // commands run so far, queued ones included once run
  bool finished() const;

  struct Core;

private:
  std::unique_ptr<Core> m_core;
};

// Parses the program's arguments; false with a message for a bad argument.
bool parseArguments(int argc, char** argv, Options& options, std::string& error);
std::string usageText();

}  // namespace amb::simdouble
