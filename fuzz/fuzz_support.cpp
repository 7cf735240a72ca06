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
    path = fs::temp_directory_path() / ("amb-fuzz-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
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
