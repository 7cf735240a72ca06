#include "core/registry.hpp"

#include "core/files.hpp"

namespace amb {

namespace winreg {
RegException::RegException(long errorCode, const std::string& message)
    : std::system_error(static_cast<int>(errorCode), std::system_category(), message) {}
}  // namespace winreg

RegKey::~RegKey() { close(); }

void RegKey::open(platform::RegRoot root, const std::u16string& subkey) {
  close();
  platform::RegHandle h = 0;
  const long rc = platform::regOpenKey(root, subkey, h);
  if (rc != platform::kErrorSuccess) throw winreg::RegException(rc, "RegOpenKeyExW failed.");
  m_key = h;
}

std::u16string RegKey::getStringValue(const std::u16string& valueName) {
  std::u16string out;
  const long rc = platform::regGetString(m_key, valueName, out);
  if (rc == platform::kErrorMoreData) {
    // The value grew between the size query and the read.
    throw winreg::RegException(rc, "Cannot get string value: RegGetValueW failed.");
  }
  if (rc != platform::kErrorSuccess) throw winreg::RegException(rc, "Cannot get size of string value: RegGetValueW failed.");
  return out;
}

std::uint32_t RegKey::getDwordValue(const std::u16string& valueName) {
  std::uint32_t out = 0;
  const long rc = platform::regGetDword(m_key, valueName, out);
  if (rc != platform::kErrorSuccess) throw winreg::RegException(rc, "Cannot get DWORD value: RegGetValueW failed.");
  return out;
}

void RegKey::close() {
  if (m_key != 0) platform::regCloseKey(m_key);
  m_key = 0;
}

std::u16string gf_simRegistryKey(int version) {
  if (version == 5) return u"SOFTWARE\\Lockheed Martin\\Prepar3D v5";
  if (version == 6) return u"SOFTWARE\\Lockheed Martin\\Prepar3D v6";
  return u"";
}

namespace {
// Only versions 5 and 6 have a key; any other version would open the root key itself and so
// "exist".
bool lf_knownSimVersion(int version) { return version == 5 || version == 6; }
}  // namespace

bool gf_simKeyExists(int version) {
  if (!lf_knownSimVersion(version)) return false;
  try {
    RegKey key;
    key.open(platform::RegRoot::LocalMachine, gf_simRegistryKey(version));
    return true;
  } catch (const winreg::RegException&) {
    return false;
  }
}

std::filesystem::path gf_getSimInstallPath(int version) {
  if (!lf_knownSimVersion(version)) return {};
  try {
    RegKey key;
    key.open(platform::RegRoot::LocalMachine, gf_simRegistryKey(version));
    return gf_pathFromUtf8(gf_utf16ToUtf8(key.getStringValue(u"SetupPath")));
  } catch (...) {
    return {};
  }
}

}  // namespace amb
