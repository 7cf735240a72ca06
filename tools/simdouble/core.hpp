#pragma once
// Inside the simulator double: its sessions, scenario switches and the loop's state. Everything here
// is touched on the loop thread only, except what `mutex` guards.

#include "tools/simdouble/simdouble.hpp"
#include "tools/simdouble/wire.hpp"
#include "tools/simdouble/world.hpp"

#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace amb::simdouble {

using Clock = std::chrono::steady_clock;

// A client packet larger than this is a protocol error; a client that leaves more than this unread
// has stopped reading. Either is dropped.
inline constexpr std::size_t kMaxClientPacket = 1u << 20;
inline constexpr std::size_t kMaxPendingOutput = 64u << 20;

struct DataRequest {
  std::uint32_t requestId = 0;
  std::uint32_t defineId = 0;
  std::uint32_t objectId = 0;
  std::uint32_t period = 0;
  std::uint32_t sendId = 0;
  Clock::time_point next{};
};

// What the Windows build keeps of a client and of the loop (server_win32.cpp).
struct NativeSession;
struct NativeCore;

// One connected client.
struct Session {
  int fd = -1;
  std::shared_ptr<NativeSession> native;
  unsigned number = 0;
  std::string via;  // "tcp4", "tcp6" or "pipe"
  Bytes in;
  Bytes out;
  std::size_t outPos = 0;
  std::uint32_t version = sc::kProtocolVersion;  // of the client's packets; echoed in the replies
  std::uint32_t lastSendId = 0;
  bool opened = false;
  std::string appName;
  std::map<std::string, std::uint32_t> systemEvents;  // upper-case name -> the client's event id
  std::map<std::uint32_t, std::vector<Datum>> definitions;
  std::map<std::uint32_t, std::string> mappedEvents;
  std::vector<DataRequest> periodic;
  bool closeWhenWritten = false;
  bool dead = false;

  void send(const Bytes& message);
  // The client's event id for a system event it subscribed to.
  bool subscribed(const std::string& systemEvent, std::uint32_t& eventId) const;
};

// What the commands switch.
struct Scenario {
  bool running = true;  // "Sim" 1; frames and periodic data flow
  double frameRate = 60;
  std::string simName = "Lockheed Martin Prepar3D v5";
  std::uint32_t appVersion[4] = {5, 3, 17, 28160};
  std::uint32_t simConnectVersion[4] = {5, 3, 0, 0};
  bool refuseCreate = false;
  unsigned refuseNextCreates = 0;
  bool refuseFlightPlan = false;
  bool openException = false;
  std::uint32_t openExceptionNumber = 0;
  std::uint32_t openExceptionIndex = 0;
  bool assignedIdMessage = true;
  std::size_t maxObjects = 1000;
};

struct SimDouble::Core {
  Options options;
  Scenario scenario;
  World world;
  Trace trace;
  std::ofstream packetLog;

  // Descriptors on POSIX systems; in the Windows build only flags (>= 0: open), the handles are in
  // native.
  int listen4 = -1;
  int listen6 = -1;
  int listenPipe = -1;
  std::uint16_t port4 = 0;
  std::uint16_t port6 = 0;
  std::filesystem::path pipePath;
  int wakeRead = -1;
  int wakeWrite = -1;
  int controlFd = -1;
  int controlWriter = -1;  // keeps the FIFO from reporting end-of-file between writers
  std::string controlBuffer;
  bool stdinOpen = false;
  std::string stdinBuffer;

  std::vector<std::unique_ptr<Session>> sessions;
  unsigned sessionNumbers = 0;
  std::vector<std::pair<Clock::time_point, std::string>> scheduled;
  Clock::time_point nextFrame{};
  std::uint32_t frameCount = 0;
  bool stopLoop = false;
  int exitCode = 0;

  mutable std::mutex mutex;  // guards queued and packets
  std::deque<std::string> queued;
  std::vector<LoggedPacket> packets;
  std::atomic<std::size_t> connected{0};
  std::atomic<std::size_t> seen{0};
  std::atomic<std::size_t> commandsDone{0};
  std::atomic<bool> finished{false};
  std::atomic<bool> signalled{false};
  std::thread thread;
  std::shared_ptr<NativeCore> native;

  // server.cpp (server_win32.cpp): the loop and the sockets.
  void openListeners();
  void loop();
  void wake();
  void closeAll();
  void closeSession(Session& s);
  void releaseWake();
  // Writes what is pending for the client, as far as it takes it now.
  void writeSession(Session& s);

  // server.cpp, for both loops: runs the packets complete in a client's input (one that ended is
  // closed after them); one round of the loop's own work, which tells when to look again at the
  // latest; the end of the loop.
  void takePackets(Session& s, bool ended);
  Clock::time_point runRound();
  void endLoop();

  // session.cpp: what a client's packets make the double do.
  void onPacket(Session& s, const std::uint8_t* p, std::uint32_t size);
  void answerRequest(Session& s, const DataRequest& r);
  void sendFrames(int count);
  void sendPeriodic(Clock::time_point now, bool frameTick);
  void sendSystemEvent(const std::string& name, std::uint32_t data);
  void sendObjectAddRemove(const char* systemEvent, std::uint32_t objectId);
  void removeObject(std::uint32_t objectId, const char* why);

  // The SVG map of the trace so far, with the reported positions when given.
  bool writeMap(const std::filesystem::path& svg, const std::filesystem::path& reported, std::string& error);

  // commands.cpp
  bool runCommand(const std::string& line, std::string& error);
  void runAndReport(const std::string& line);
};

// Lists the commands with a line of help each.
std::string commandHelp();

}  // namespace amb::simdouble
