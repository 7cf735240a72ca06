// The Win32 registry backend against the real registry of a Wine prefix. The keys are written with
// reg.exe of the prefix, so these cases run only under Wine (a real Windows registry is left alone)
// and are skipped elsewhere.
#include "core/files.hpp"
#include "core/registry.hpp"
#include "platform/registry.hpp"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

namespace amb {
namespace {

// Runs reg.exe with the arguments; its exit code, -1 when it could not start or did not finish in
// time (then it is ended).
int runReg(const std::wstring& args) {
  std::wstring cmd = L"reg.exe " + args;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(pi.hProcess, &code);
  } else {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 10000);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

const std::wstring kV5 = L"\"HKLM\\SOFTWARE\\Lockheed Martin\\Prepar3D v5\"";
const std::wstring kV6 = L"\"HKLM\\SOFTWARE\\Lockheed Martin\\Prepar3D v6\"";
const std::wstring kUser = L"\"HKCU\\Software\\Ambertrail_P3D test\"";

// The error code of a failing registry call, 0 when it succeeds.
long errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const winreg::RegException& e) {
    return e.code().value();
  }
  return 0;
}

class Win32Registry : public ::testing::Test {
protected:
  void SetUp() override {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version"))
      GTEST_SKIP() << "writes to HKEY_LOCAL_MACHINE; runs only in a Wine prefix";
    clear();
  }
  void TearDown() override {
    if (!IsSkipped()) clear();
  }
  static void clear() {
    for (const auto& k : {kV5, kV6, kUser}) runReg(L"delete " + k + L" /f");
  }
  static void add(const std::wstring& key, const std::wstring& rest) {
    ASSERT_EQ(runReg(L"add " + key + L" " + rest + L" /f"), 0) << "reg add failed";
  }
};

TEST_F(Win32Registry, SimulatorKeysAndInstallPaths) {
  EXPECT_FALSE(gf_simKeyExists(5));
  EXPECT_TRUE(gf_getSimInstallPath(5).empty());
  // A non-ASCII install folder comes back unchanged.
  add(kV5, L"/v SetupPath /t REG_SZ /d \"D:\\Simul\u00E1tor \u2708\\Prepar3D v5\\\\\"");
  EXPECT_TRUE(gf_simKeyExists(5));
  EXPECT_FALSE(gf_simKeyExists(6));
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(5)), "D:\\Simul\xC3\xA1tor \xE2\x9C\x88\\Prepar3D v5\\");

  // v6 without "SetupPath": the key exists, the path is empty.
  add(kV6, L"/v Other /t REG_SZ /d x");
  EXPECT_TRUE(gf_simKeyExists(6));
  EXPECT_TRUE(gf_getSimInstallPath(6).empty());
  RegKey key;
  key.open(platform::RegRoot::LocalMachine, gf_simRegistryKey(6));
  EXPECT_EQ(errorOf([&] { key.getStringValue(u"SetupPath"); }), platform::kErrorFileNotFound);
  // A number where text is expected is refused, and read as a number it is fine.
  add(kV6, L"/v SetupPath /t REG_DWORD /d 42");
  EXPECT_TRUE(gf_getSimInstallPath(6).empty());
  EXPECT_EQ(errorOf([&] { key.getStringValue(u"SetupPath"); }), platform::kErrorUnsupportedType);
  EXPECT_EQ(key.getDwordValue(u"SetupPath"), 42u);
  EXPECT_NE(errorOf([&] { key.getDwordValue(u"Other"); }), 0);
}

TEST_F(Win32Registry, LongTextsCurrentUserAndTheRootKey) {
  add(kUser, L"/v Long /t REG_SZ /d " + std::wstring(3000, L'x'));  // longer than any fixed buffer
  add(kUser, L"/v Empty /t REG_SZ /d \"\"");
  RegKey key;
  key.open(platform::RegRoot::CurrentUser, u"Software\\Ambertrail_P3D test");
  EXPECT_EQ(key.getStringValue(u"Long"), std::u16string(3000, u'x'));
  EXPECT_EQ(key.getStringValue(u"Empty"), u"");
  EXPECT_NE(errorOf([] { RegKey().open(platform::RegRoot::LocalMachine, u"SOFTWARE\\Ambertrail_P3D no such key"); }), 0);

  // The empty subkey opens the root itself; closing that must leave the root usable.
  add(kV5, L"/v SetupPath /t REG_SZ /d C:\\P3D");
  platform::RegHandle root = 0;
  ASSERT_EQ(platform::regOpenKey(platform::RegRoot::LocalMachine, u"", root), platform::kErrorSuccess);
  EXPECT_EQ(root, reinterpret_cast<platform::RegHandle>(HKEY_LOCAL_MACHINE));
  platform::regCloseKey(root);
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(5)), "C:\\P3D");
}

}  // namespace
}  // namespace amb

#endif  // _WIN32
