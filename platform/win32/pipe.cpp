// Named pipes, client side: CreateFileW with overlapped I/O, WaitNamedPipeW while every instance is
// busy.

#include "platform/pipe.hpp"

#include "platform/win32/io_stream.hpp"
#include "platform/win32/wide.hpp"

#include <windows.h>

#include <cstdlib>

namespace amb::platform {

namespace fs = std::filesystem;

fs::path runtimeFolder() {
  fs::path dir;
  std::error_code ec;
  if (const wchar_t* v = _wgetenv(L"AMBT_RUNTIME_DIR"); v && *v)
    dir = v;
  else
    dir = fs::temp_directory_path(ec);
  fs::create_directories(dir, ec);
  return dir;
}

// On Windows the pipe is reached by its own name.
fs::path pipeSocketPath(const std::string& pipePath) { return fs::path(win32::wideOf(pipePath)); }

std::unique_ptr<AsyncStream> connectPipe(const std::string& pipePath, IoCompletionSink& sink, std::uint32_t& error,
                                         std::chrono::milliseconds busyWait) {
  error = 0;
  std::wstring name;
  if (!win32::toWide(pipePath, name)) {
    error = ERROR_INVALID_NAME;
    return nullptr;
  }
  const DWORD waitMs = static_cast<DWORD>(busyWait.count() < 0 ? 0 : busyWait.count());
  // An instance that another client takes between the wait and the open sends us back to waiting;
  // a bounded number of rounds keeps a pipe that is always busy from holding the caller for good.
  for (int round = 0; round < 20; ++round) {
    const HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr);
    if (h != INVALID_HANDLE_VALUE) return win32::makeStream(h, false, sink, error);
    const DWORD e = ::GetLastError();
    if (e != ERROR_PIPE_BUSY) {
      error = e;
      return nullptr;
    }
    if (!::WaitNamedPipeW(name.c_str(), waitMs)) {
      error = ::GetLastError();
      if (error == 0) error = kErrSemTimeout;
      return nullptr;
    }
  }
  error = kErrSemTimeout;
  return nullptr;
}

}  // namespace amb::platform
