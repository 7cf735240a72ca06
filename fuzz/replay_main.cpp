// Stands in for libFuzzer in the ordinary builds: runs the target once on every file of the folders
// (or files) named on the command line, so the seeds and every input that once crashed a target are
// replayed by ctest with the compiler and sanitizers of that build.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {
void runFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // A copy of exactly the input's size, so reading past its end is caught as libFuzzer would.
  std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  std::printf("%s\n", file.string().c_str());
  std::fflush(stdout);
  LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
}
}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto& f : files) runFile(f), ++count;
    } else {
      runFile(arg);
      ++count;
    }
  }
  std::printf("%zu inputs replayed\n", count);
  return count == 0 ? 1 : 0;
}
