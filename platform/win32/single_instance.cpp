#include "platform/single_instance.hpp"

#include <windows.h>

#include <cstdio>
#include <string>

namespace amb::platform {

namespace fs = std::filesystem;

// Windows needs no lock file: the named mutex lives in the session's namespace.
fs::path singleInstanceLockPath(std::string_view) { return {}; }

bool acquireSingleInstance(std::string_view name) {
  const std::string text(name);
  // The handle is never closed: the mutex belongs to the process until it ends.
  HANDLE h = CreateMutexA(nullptr, FALSE, text.c_str());
  const DWORD err = GetLastError();
  if (h && err == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    return false;
  }
  if (!h) std::fprintf(stderr, "single instance: CreateMutexA failed with error %lu\n", err);
  return true;
}

}  // namespace amb::platform
