#pragma once
// Named pipes, client side, as asynchronous streams (platform/stream.hpp). A pipe is named by its
// Windows path text, "\\server\pipe\name". The Linux backend stands in for the pipe with an AF_UNIX
// stream socket at pipeSocketPath(pipe path): only the local server "." can be reached there.

#include "platform/stream.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace amb::platform {

// Opens the pipe for reading and writing. While every instance of the pipe is busy it waits for a
// free one, at most busyWait per attempt (WaitNamedPipe); a busy pipe that stays busy fails with
// kErrSemTimeout, a missing pipe with kErrFileNotFound. Null with error set on failure.
std::unique_ptr<AsyncStream> connectPipe(const std::string& pipePath, IoCompletionSink& sink, std::uint32_t& error,
                                         std::chrono::milliseconds busyWait = std::chrono::milliseconds(5000));

// Where a server of the pipe listens on this platform (the Linux socket file). The name is made
// into one lower-case file name inside the runtime folder: AMBT_RUNTIME_DIR, else XDG_RUNTIME_DIR,
// else the temp folder.
std::filesystem::path pipeSocketPath(const std::string& pipePath);

// The runtime folder itself (created when missing).
std::filesystem::path runtimeFolder();

}  // namespace amb::platform
