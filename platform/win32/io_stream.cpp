// Overlapped streams whose completions run on the system thread pool.

#include "platform/win32/io_stream.hpp"

#include "platform/socket.hpp"
#include "platform/win32/wide.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace amb::platform {

namespace win32 {

namespace {

struct Channel;

// One operation in flight: the OVERLAPPED the system fills, and which channel and direction it serves.
struct Op {
  OVERLAPPED ov{};
  IoKind kind = IoKind::Read;
  Channel* channel = nullptr;
};

// What a stream shares with the completions. A pending operation holds the channel alive; the handle
// is closed once the stream was closed and no operation is pending any more, so that a completion
// never meets a handle number the system may have given to someone else.
struct Channel : std::enable_shared_from_this<Channel> {
  std::mutex m;        // the state below
  std::mutex deliver;  // held while the sink runs: one completion of the stream at a time
  std::atomic<DWORD> deliveringThread{0};
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool socket = false;
  IoCompletionSink* sink = nullptr;
  bool closed = false;

  Op readOp;
  bool readPending = false;
  std::shared_ptr<Channel> readHold;

  Op writeOp;
  bool writePending = false;
  std::shared_ptr<Channel> writeHold;
  const std::uint8_t* writeBuf = nullptr;
  std::size_t writeSize = 0;
  std::size_t writeDone = 0;

  // Under m: closes the handle when nothing is pending.
  void releaseHandleIfIdle() {
    if (!closed || readPending || writePending || handle == INVALID_HANDLE_VALUE) return;
    if (socket)
      ::closesocket(reinterpret_cast<SOCKET>(handle));
    else
      ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }

  // Under m: starts a read; 0, or the error when nothing was started.
  std::uint32_t issueRead(void* buffer, std::size_t size) {
    std::memset(&readOp.ov, 0, sizeof readOp.ov);
    readOp.kind = IoKind::Read;
    readOp.channel = this;
    const DWORD n = static_cast<DWORD>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size);
    DWORD err = 0;
    if (socket) {
      WSABUF b{static_cast<ULONG>(n), static_cast<CHAR*>(buffer)};
      DWORD flags = 0;
      if (::WSARecv(reinterpret_cast<SOCKET>(handle), &b, 1, nullptr, &flags, &readOp.ov, nullptr) != 0) {
        err = static_cast<DWORD>(::WSAGetLastError());
        if (err == WSA_IO_PENDING) err = 0;
      }
    } else if (!::ReadFile(handle, buffer, n, nullptr, &readOp.ov)) {
      err = ::GetLastError();
      // A partial message of a message-mode pipe completes like any other read.
      if (err == ERROR_IO_PENDING || err == ERROR_MORE_DATA) err = 0;
    }
    return err;
  }

  // Under m: writes the rest of the current write buffer.
  std::uint32_t issueWrite() {
    std::memset(&writeOp.ov, 0, sizeof writeOp.ov);
    writeOp.kind = IoKind::Write;
    writeOp.channel = this;
    const std::size_t left = writeSize - writeDone;
    const DWORD n = static_cast<DWORD>(left > 0x7FFFFFFF ? 0x7FFFFFFF : left);
    void* at = const_cast<std::uint8_t*>(writeBuf + writeDone);
    DWORD err = 0;
    if (socket) {
      WSABUF b{static_cast<ULONG>(n), static_cast<CHAR*>(at)};
      if (::WSASend(reinterpret_cast<SOCKET>(handle), &b, 1, nullptr, 0, &writeOp.ov, nullptr) != 0) {
        err = static_cast<DWORD>(::WSAGetLastError());
        if (err == WSA_IO_PENDING) err = 0;
      }
    } else if (!::WriteFile(handle, at, n, nullptr, &writeOp.ov)) {
      err = ::GetLastError();
      if (err == ERROR_IO_PENDING) err = 0;
    }
    return err;
  }
};

void CALLBACK onCompletion(DWORD, DWORD bytes, LPOVERLAPPED ov) {
  Op* op = CONTAINING_RECORD(ov, Op, ov);
  Channel* ch = op->channel;
  const auto status = static_cast<std::uint32_t>(static_cast<ULONG_PTR>(ov->Internal));
  const IoKind kind = op->kind;

  std::shared_ptr<Channel> hold;
  std::uint32_t reportStatus = status;
  std::uint32_t osError = 0;
  std::size_t reportBytes = bytes;
  {
    std::lock_guard lock(ch->m);
    hold = kind == IoKind::Read ? ch->readHold : ch->writeHold;
    if (kind == IoKind::Write) {
      if (status == kIoSuccess) ch->writeDone += bytes;
      // A write completes when every byte went out: what the system took only in part goes on.
      if (status == kIoSuccess && !ch->closed && ch->writeDone < ch->writeSize && bytes > 0) {
        const std::uint32_t err = ch->issueWrite();
        if (err == 0) return;  // the next completion carries on; the hold stays
        reportStatus = kIoUnsuccessful;
        osError = err;
      }
      reportBytes = ch->writeDone;
    }
    if (ch->closed) {
      // Closed while in flight: the operation counts as cancelled, whatever the system made of it.
      reportStatus = kIoCancelled;
      osError = ERROR_OPERATION_ABORTED;
      if (kind == IoKind::Read) reportBytes = 0;
    } else if (reportStatus != kIoSuccess && osError == 0) {
      osError = ::RtlNtStatusToDosError(static_cast<NTSTATUS>(reportStatus));
    }
  }

  {
    std::lock_guard delivering(ch->deliver);
    IoCompletionSink* sink;
    {
      std::lock_guard lock(ch->m);
      if (kind == IoKind::Read) {
        ch->readPending = false;
        ch->readHold.reset();
      } else {
        ch->writePending = false;
        ch->writeHold.reset();
      }
      sink = ch->sink;
      ch->releaseHandleIfIdle();
    }
    if (sink) {
      ch->deliveringThread = ::GetCurrentThreadId();
      sink->onIoCompleted(kind, reportStatus, osError, reportBytes);
      ch->deliveringThread = 0;
    }
  }
  // hold ends here: the last reference may free the channel.
}

class Win32Stream final : public AsyncStream {
public:
  explicit Win32Stream(std::shared_ptr<Channel> ch) : m_ch(std::move(ch)) {}

  ~Win32Stream() override {
    close();
    // A completion that runs the sink on another thread finishes first; later ones find no sink. The
    // sink may also destroy the stream from inside its own completion.
    if (m_ch->deliveringThread.load() == ::GetCurrentThreadId()) {
      std::lock_guard lock(m_ch->m);
      m_ch->sink = nullptr;
      return;
    }
    std::lock_guard delivering(m_ch->deliver);
    std::lock_guard lock(m_ch->m);
    m_ch->sink = nullptr;
  }

  std::uint32_t startRead(void* buffer, std::size_t size) override {
    std::lock_guard lock(m_ch->m);
    if (m_ch->closed) return kErrInvalidHandle;
    if (m_ch->readPending) return kErrIoPending;
    m_ch->readPending = true;
    m_ch->readHold = m_ch;
    const std::uint32_t err = m_ch->issueRead(buffer, size);
    if (err != 0) {
      m_ch->readPending = false;
      m_ch->readHold.reset();
    }
    return err;
  }

  std::uint32_t startWrite(const void* buffer, std::size_t size) override {
    std::lock_guard lock(m_ch->m);
    if (m_ch->closed) return kErrInvalidHandle;
    if (m_ch->writePending) return kErrIoPending;
    m_ch->writePending = true;
    m_ch->writeHold = m_ch;
    m_ch->writeBuf = static_cast<const std::uint8_t*>(buffer);
    m_ch->writeSize = size;
    m_ch->writeDone = 0;
    const std::uint32_t err = m_ch->issueWrite();
    if (err != 0) {
      m_ch->writePending = false;
      m_ch->writeHold.reset();
    }
    return err;
  }

  void close() override {
    std::lock_guard lock(m_ch->m);
    if (m_ch->closed) return;
    m_ch->closed = true;
    if (m_ch->socket) ::shutdown(reinterpret_cast<SOCKET>(m_ch->handle), SD_BOTH);
    // What is in flight completes as cancelled; the handle goes with the last of it.
    if (m_ch->readPending || m_ch->writePending) ::CancelIoEx(m_ch->handle, nullptr);
    m_ch->releaseHandleIfIdle();
  }

  bool setNoDelay(bool on) override {
    std::lock_guard lock(m_ch->m);
    if (!m_ch->socket || m_ch->closed) return false;
    const BOOL v = on ? TRUE : FALSE;
    return ::setsockopt(reinterpret_cast<SOCKET>(m_ch->handle), IPPROTO_TCP, TCP_NODELAY,
                        reinterpret_cast<const char*>(&v), sizeof v) == 0;
  }

private:
  std::shared_ptr<Channel> m_ch;
};

}  // namespace

std::unique_ptr<AsyncStream> makeStream(HANDLE handle, bool socket, IoCompletionSink& sink, std::uint32_t& error) {
  error = 0;
  if (!::BindIoCompletionCallback(handle, &onCompletion, 0)) {
    error = ::GetLastError();
    if (socket)
      ::closesocket(reinterpret_cast<SOCKET>(handle));
    else
      ::CloseHandle(handle);
    return nullptr;
  }
  auto ch = std::make_shared<Channel>();
  ch->handle = handle;
  ch->socket = socket;
  ch->sink = &sink;
  return std::make_unique<Win32Stream>(std::move(ch));
}

}  // namespace win32

std::uint32_t startSockets() { return static_cast<std::uint32_t>(socketStartup()); }

std::unique_ptr<AsyncStream> connectTcp(const std::string& address, const std::string& port, IpFamily family,
                                        IoCompletionSink& sink, std::uint32_t& error) {
  error = startSockets();
  if (error != 0) return nullptr;
  ADDRINFOW hints{};
  hints.ai_family = static_cast<int>(family);
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  const std::wstring waddr = win32::wideOf(address);
  const std::wstring wport = win32::wideOf(port);
  ADDRINFOW* res = nullptr;
  const int rc = ::GetAddrInfoW(address.empty() ? nullptr : waddr.c_str(), port.empty() ? nullptr : wport.c_str(),
                                &hints, &res);
  if (rc != 0 || res == nullptr) {
    error = rc != 0 ? static_cast<std::uint32_t>(rc) : kWsaHostNotFound;
    if (res) ::FreeAddrInfoW(res);
    return nullptr;
  }
  // Only the first result is tried.
  const SOCKET s = ::WSASocketW(res->ai_family, res->ai_socktype, res->ai_protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
  if (s == INVALID_SOCKET) {
    error = static_cast<std::uint32_t>(::WSAGetLastError());
    ::FreeAddrInfoW(res);
    return nullptr;
  }
  const int c = ::connect(s, res->ai_addr, static_cast<int>(res->ai_addrlen));
  ::FreeAddrInfoW(res);
  if (c == SOCKET_ERROR) {
    error = static_cast<std::uint32_t>(::WSAGetLastError());
    ::closesocket(s);
    return nullptr;
  }
  return win32::makeStream(reinterpret_cast<HANDLE>(s), true, sink, error);
}

}  // namespace amb::platform
