#pragma once
// The registry wrapper and the simulator's install keys.

#include "platform/registry.hpp"

#include <filesystem>
#include <string>
#include <system_error>

namespace amb {

namespace winreg {
class RegException : public std::system_error {
public:
  RegException(long errorCode, const std::string& message);
};
}  // namespace winreg

class RegKey {
public:
  RegKey() = default;
  ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  void open(platform::RegRoot root, const std::u16string& subkey);  // throws RegException
  std::u16string getStringValue(const std::u16string& valueName);   // throws RegException
  std::uint32_t getDwordValue(const std::u16string& valueName);     // throws RegException
  void close();
  bool isOpen() const { return m_key != 0; }

private:
  platform::RegHandle m_key = 0;
};

std::u16string gf_simRegistryKey(int version);  // "SOFTWARE\Lockheed Martin\Prepar3D v5"
bool gf_simKeyExists(int version);
std::filesystem::path gf_getSimInstallPath(int version);

}  // namespace amb
