#pragma once
// Linux backend of the asynchronous streams: one process-wide I/O thread (epoll) on which every
// completion runs, as the Windows thread pool runs the completion routines.

#include "platform/stream.hpp"

#include <cstdint>
#include <memory>

namespace amb::platform::posix_io {

// Takes a connected socket (made non-blocking here) and binds its completions to the sink.
std::unique_ptr<AsyncStream> makeStream(int fd, bool tcp, IoCompletionSink& sink);

// errno as the Winsock error number where one exists (ECONNREFUSED -> 10061, ...), else errno.
std::uint32_t wsaFromErrno(int e);
// errno of a failed read or write as the completion status Windows would report.
std::uint32_t statusFromErrno(int e);

}  // namespace amb::platform::posix_io
