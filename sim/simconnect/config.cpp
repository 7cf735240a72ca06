// Finding the simulator: "SimConnect.cfg", the registry ports and the order of the attempts.

#include "core/files.hpp"
#include "core/registry.hpp"
#include "platform/folders.hpp"
#include "platform/ini.hpp"
#include "platform/pipe.hpp"
#include "sim/simconnect/connection.hpp"

#include <fmt/format.h>

#include <cctype>
#include <cstdlib>
#include <limits>

namespace amb {

namespace fs = std::filesystem;

namespace {

std::mutex g_seamMutex;
std::function<void(const SimConnectAttempt&)> g_attemptObserver;
std::chrono::milliseconds g_pipeBusyWait{5000};

constexpr const char* kCfgName = "SimConnect.cfg";
constexpr std::uint32_t kNoConfig = 0xFFFFFFFF;
constexpr std::size_t kMaxAddressChars = 1023;

bool equalsNoCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return i == a.size() && b[i] == '\0';
}

// The integer at the start of a text as _wtoi reads it: blanks, a sign, digits; 0 when none.
long long leadingInteger(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > std::numeric_limits<std::uint32_t>::max()) v = std::numeric_limits<std::uint32_t>::max();
  }
  return negative ? -v : v;
}

std::string sectionName(std::uint32_t configIndex) {
  return configIndex == 0 ? std::string("SimConnect") : fmt::format("SimConnect.{}", configIndex);
}

std::string pipePath(const std::string& address, const std::string& port) {
  const std::string server = address.empty() ? "." : address;
  if (port.empty()) return fmt::format("\\\\{}\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect", server);
  return fmt::format("\\\\{}\\pipe\\{}", server, port);
}

void reportAttempt(const SimConnectAttempt& a) {
  std::function<void(const SimConnectAttempt&)> observer;
  {
    std::lock_guard lock(g_seamMutex);
    observer = g_attemptObserver;
  }
  if (observer) observer(a);
}

}  // namespace

void lf_setConnectAttemptObserver(std::function<void(const SimConnectAttempt&)> observer) {
  std::lock_guard lock(g_seamMutex);
  g_attemptObserver = std::move(observer);
}

void lf_setPipeBusyWait(std::chrono::milliseconds wait) {
  std::lock_guard lock(g_seamMutex);
  g_pipeBusyWait = wait;
}

void gf_resetSimConnectClient() {
  std::lock_guard lock(g_seamMutex);
  g_attemptObserver = nullptr;
  g_pipeBusyWait = std::chrono::milliseconds(5000);
}

std::vector<fs::path> lf_simConnectCfgFiles() {
  std::vector<fs::path> files;
  if (auto p = platform::knownFolder(platform::KnownFolder::PublicDocuments)) files.push_back(*p / kCfgName);
  if (auto d = platform::knownFolder(platform::KnownFolder::Documents)) files.push_back(*d / kCfgName);
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  files.push_back(ec ? fs::path(kCfgName) : cwd / kCfgName);
  return files;
}

std::string lf_registryPort(bool ipv6) {
  try {
    // The same key serves version 6.
    RegKey key;
    key.open(platform::RegRoot::CurrentUser, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5");
    const std::u16string value = key.getStringValue(ipv6 ? u"SimConnect_Port_IPv6" : u"SimConnect_Port_IPv4");
    // The value is read into 20 bytes: nine characters and the terminating zero.
    if (value.size() > 9) return {};
    return gf_utf16ToUtf8(value);
  } catch (...) {
    return {};
  }
}

bool lf_readSimConnectCfg(const fs::path& file, std::uint32_t configIndex, SimConnectSettings& settings) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  const std::string section = sectionName(configIndex);
  auto get = [&](const char* key) { return platform::iniGetString(file, section, key, 2048).value_or(std::string()); };

  const std::string protocol = get("Protocol");
  if (equalsNoCase(protocol, "Auto")) {
    settings.protocol = "Auto";
  } else if (equalsNoCase(protocol, "Pipe")) {
    settings.protocol = "Pipe";
  } else if (equalsNoCase(protocol, "IPv4") || equalsNoCase(protocol, "IPv6")) {
    const bool v6 = equalsNoCase(protocol, "IPv6");
    settings.protocol = v6 ? "IPv6" : "IPv4";
    if (!settings.port.empty()) settings.port = lf_registryPort(v6);
  }
  if (const std::string address = get("Address"); !address.empty()) settings.address = address.substr(0, kMaxAddressChars);
  if (const std::string port = get("Port"); !port.empty()) settings.port = port.substr(0, kMaxAddressChars);
  if (const std::string size = get("MaxReceiveSize"); !size.empty()) {
    const long long v = leadingInteger(size);
    if (v > static_cast<long long>(settings.maxReceiveSize)) settings.maxReceiveSize = static_cast<std::uint32_t>(v);
  }
  if (const std::string nagle = get("DisableNagle"); !nagle.empty()) settings.disableNagle = leadingInteger(nagle) != 0;
  return true;
}

std::uint32_t lf_connectTransport(SimConnectClient& client, SimConnection::Kind kind, platform::IpFamily family,
                                  const std::string& address, const std::string& port, std::uint32_t maxReceiveSize,
                                  bool disableNagle) {
  std::uint32_t err = 0;
  std::unique_ptr<platform::AsyncStream> stream;
  std::string where = address;
  if (kind == SimConnection::kPipe) {
    where = pipePath(address, port);
    std::chrono::milliseconds busyWait;
    {
      std::lock_guard lock(g_seamMutex);
      busyWait = g_pipeBusyWait;
    }
    stream = platform::connectPipe(where, client, err, busyWait);
  } else {
    stream = platform::connectTcp(address, port, family, client, err);
  }
  if (stream) err = client.attach(std::move(stream), kind, maxReceiveSize, disableNagle);
  reportAttempt({kind, family, where, kind == SimConnection::kPipe ? std::string() : port, err});
  return err;
}

int lf_openSimConnect(SimConnectClient*& client, std::uint32_t configIndex) {
  client = nullptr;
  SimConnectSettings s;
  if (configIndex != kNoConfig) {
    const auto files = lf_simConnectCfgFiles();
    if (configIndex != 0) {
      bool found = false;
      for (const auto& f : files) found = found || platform::iniSectionExists(f, sectionName(configIndex));
      if (!found) return kOpenSectionNotFound;
    }
    for (const auto& f : files) lf_readSimConnectCfg(f, configIndex, s);
  }

  // Each attempt builds a fresh client; a failed one is released before the next.
  auto attempt = [&](SimConnection::Kind kind, platform::IpFamily family, const std::string& address,
                     const std::string& port) {
    auto* c = new SimConnectClient();
    if (lf_connectTransport(*c, kind, family, address, port, s.maxReceiveSize, s.disableNagle) == 0) {
      client = c;
      return true;
    }
    c->release();
    return false;
  };

  int step;
  if (s.protocol == "Auto" || s.protocol == "Pipe")
    step = 1;
  else if (s.protocol == "IPv6")
    step = 2;
  else if (s.protocol == "IPv4")
    step = 3;
  else
    return kOpenFailed;

  std::string address = s.address;
  std::string port = s.port;
  if (step == 1) {
    if (attempt(SimConnection::kPipe, platform::IpFamily::Any, address, port)) return kOpenOk;
    if (!address.empty() && address != ".") return kOpenFailed;
    address = "::1";
    port = lf_registryPort(true);
    step = 2;
  }
  if (step == 2) {
    if (platform::startSockets() != 0) return kOpenFailed;
    if (!port.empty() && attempt(SimConnection::kSocket, platform::IpFamily::IPv6, address, port)) return kOpenOk;
    if (address != "::1") return kOpenFailed;
    address = "127.0.0.1";
    port = lf_registryPort(false);
  }
  if (platform::startSockets() != 0) return kOpenFailed;
  if (!port.empty() && attempt(SimConnection::kSocket, platform::IpFamily::IPv4, address, port)) return kOpenOk;
  if (address != "127.0.0.1") return kOpenFailed;
  return attempt(SimConnection::kPipe, platform::IpFamily::Any, ".", "") ? kOpenOk : kOpenFailed;
}

}  // namespace amb
