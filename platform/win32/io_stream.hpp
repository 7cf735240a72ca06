#pragma once
// Win32 backend of the asynchronous streams: overlapped ReadFile/WriteFile on pipes and
// WSARecv/WSASend on sockets, with their completions run by the system thread pool
// (BindIoCompletionCallback).

#include "platform/stream.hpp"

#include <winsock2.h>  // before windows.h
#include <windows.h>

#include <cstdint>
#include <memory>

namespace amb::platform::win32 {

// Takes a connected overlapped pipe handle or socket (as a HANDLE) and binds its completions to the
// sink. On failure the handle is closed and null returned with error set.
std::unique_ptr<AsyncStream> makeStream(HANDLE handle, bool socket, IoCompletionSink& sink, std::uint32_t& error);

}  // namespace amb::platform::win32
