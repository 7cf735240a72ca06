#include "fuzz/fuzz_support.hpp"

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace amb::fuzz {

namespace fs = std::filesystem;

namespace {
struct WorkFolder {
  fs::path path;
  WorkFolder() {
    std::random_device random;
    // In memory where the machine offers it: the settings and other files are written with a flush
    // to the disk, which would otherwise bound the executions a second.
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                              ? fs::path("/dev/shm")
                              : fs::temp_directory_path();
    path = base / ("amb-fuzz-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
    fs::create_directories(path);
    fs::current_path(path);
  }
  ~WorkFolder() {
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    fs::remove_all(path, ec);
  }
};
}  // namespace

const fs::path& workFolder() {
  static const WorkFolder folder;
  return folder.path;
}

void writeInput(const fs::path& file, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out.flush()) throw std::runtime_error("cannot write the fuzz input to " + file.string());
}

}  // namespace amb::fuzz
