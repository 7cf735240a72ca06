#pragma once
// Asynchronous byte streams (a TCP socket or a named pipe) in the shape of Windows overlapped I/O:
// a read or write is started and returns at once; its completion arrives later on an I/O thread
// as (kind, status, error, bytes) to the sink bound when the stream was made. The Win32 backend
// maps this onto overlapped ReadFile/WriteFile/WSARecv/WSASend with BindIoCompletionCallback; the
// Linux backend onto non-blocking sockets and one process-wide I/O thread.
//
// Rules both backends keep:
// - every operation that was started (start* returned 0) completes exactly once, also after close
//   (then with kIoCancelled), and never inside the start call itself;
// - completions of one stream arrive one at a time, reads in the order they were started, writes
//   likewise;
// - a write completes when all its bytes were handed to the system;
// - a read of 0 bytes with status kIoSuccess means the other end closed the stream;
// - the sink must outlive the completions of every operation it started. A sink may destroy the
//   stream from inside its last completion.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace amb::platform {

// Completion statuses (the NTSTATUS values Windows reports in the OVERLAPPED).
inline constexpr std::uint32_t kIoSuccess = 0;
inline constexpr std::uint32_t kIoBufferOverflow = 0x80000005;   // partial message on a pipe
inline constexpr std::uint32_t kIoUnsuccessful = 0xC0000001;
inline constexpr std::uint32_t kIoCancelled = 0xC0000120;
inline constexpr std::uint32_t kIoRemoteDisconnect = 0xC000013C;
inline constexpr std::uint32_t kIoLinkFailed = 0xC000013E;
inline constexpr std::uint32_t kIoPipeBroken = 0xC000014B;
inline constexpr std::uint32_t kIoConnectionReset = 0xC000020D;

// Windows error numbers the connect and start functions report.
inline constexpr std::uint32_t kErrFileNotFound = 2;
inline constexpr std::uint32_t kErrInvalidHandle = 6;
inline constexpr std::uint32_t kErrSemTimeout = 121;
inline constexpr std::uint32_t kErrFilenameTooLong = 206;
inline constexpr std::uint32_t kErrPipeBusy = 231;
inline constexpr std::uint32_t kErrIoPending = 997;
inline constexpr std::uint32_t kWsaNotSock = 10038;
inline constexpr std::uint32_t kWsaConnRefused = 10061;
inline constexpr std::uint32_t kWsaHostNotFound = 11001;

enum class IoKind { Read, Write };

class IoCompletionSink {
public:
  // status: kIoSuccess or a failure status; osError: the system error behind a failure (0 else).
  virtual void onIoCompleted(IoKind kind, std::uint32_t status, std::uint32_t osError, std::size_t bytes) = 0;

protected:
  ~IoCompletionSink() = default;
};

class AsyncStream {
public:
  virtual ~AsyncStream() = default;
  // 0 when the operation was started (its completion follows), else the error; then no completion
  // follows. At most one read and one write may be in flight at a time.
  virtual std::uint32_t startRead(void* buffer, std::size_t size) = 0;
  virtual std::uint32_t startWrite(const void* buffer, std::size_t size) = 0;
  // Shuts the stream down in both directions and cancels what is in flight. Idempotent; any thread.
  virtual void close() = 0;
  // TCP_NODELAY; false when not a TCP socket or the option failed.
  virtual bool setNoDelay(bool on) = 0;
};

// Address families as Winsock numbers them.
enum class IpFamily : int { Any = 0, IPv4 = 2, IPv6 = 23 };

// Resolves address and port, connects to the first result only (blocking) and binds the sink.
// Null with error set (Winsock numbering) on failure.
std::unique_ptr<AsyncStream> connectTcp(const std::string& address, const std::string& port, IpFamily family,
                                        IoCompletionSink& sink, std::uint32_t& error);

// Starts the process's use of sockets once (WSAStartup on Windows); 0 or the error. Cleaned up at
// process end, so that no component takes it away from another.
std::uint32_t startSockets();

}  // namespace amb::platform
