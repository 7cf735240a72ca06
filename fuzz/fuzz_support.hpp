#pragma once
// Shared by the fuzz targets: a private working folder for the whole run, and writing the input as a
// file where the code under test reads files.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace amb::fuzz {

// A fresh folder (in memory when /dev/shm is there), made once per process and made the working
// folder, so whatever the code under test writes beside itself stays out of the source tree.
// Removed at exit.
const std::filesystem::path& workFolder();

// Writes the bytes to the file, replacing it.
void writeInput(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size);

inline std::string asText(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace amb::fuzz
