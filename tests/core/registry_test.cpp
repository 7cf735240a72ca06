#include "core/files.hpp"
#include "core/registry.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace amb {
namespace {

namespace fs = std::filesystem;
using platform::RegRoot;

const std::u16string kV5 = u"SOFTWARE\\Lockheed Martin\\Prepar3D v5";
const std::string kV5Head = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n";
const std::string kV6Head = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\n";

// A registry file named by AMBT_REGISTRY; each write moves its modification time on.
struct RegistryFile {
  test::TempDir dir;
  fs::path path = dir / "registry.reg";
  test::ScopedEnv env{"AMBT_REGISTRY", gf_pathText(path)};
  fs::file_time_type stamp = fs::file_time_type::clock::now();
  void write(const std::string& bytes) {
    test::writeFile(path, bytes);
    fs::last_write_time(path, stamp += std::chrono::seconds(1));
  }
};

// The error code of a failing registry call, 0 when it succeeds.
long errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const winreg::RegException& e) {
    return e.code().value();
  }
  return 0;
}
long openError(RegRoot root, const std::u16string& key) {
  return errorOf([&] { RegKey().open(root, key); });
}

TEST(Registry, SimulatorKeysAndInstallPaths) {
  AMB_SKIP_ON_WINDOWS("the registry file of the Linux backend; tests/win32 checks the real registry");
  RegistryFile reg;
  reg.write("Windows Registry Editor Version 5.00\r\n\r\n" + kV6Head +
            "\"SetupPath\"=\"C:\\\\Program Files\\\\P3D \\\"v6\\\"\\\\\"\r\n");
  EXPECT_FALSE(gf_simKeyExists(5));
  EXPECT_TRUE(gf_simKeyExists(6));
  EXPECT_FALSE(gf_simKeyExists(4));  // would name the root key itself
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(6)), "C:\\Program Files\\P3D \"v6\"\\");
  EXPECT_TRUE(gf_getSimInstallPath(5).empty());
  EXPECT_EQ(openError(RegRoot::LocalMachine, kV5), 2);
  try {
    RegKey().open(RegRoot::LocalMachine, kV5);
  } catch (const std::system_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("RegOpenKeyExW failed.", 0), 0u) << e.what();
  }
  // A key without a string "SetupPath" gives an empty path, not an exception.
  reg.write(kV5Head + "\"SetupPathX\"=\"D:\\\\P3D\"\n" + kV6Head + "\"SetupPath\"=dword:00000001\n");
  EXPECT_TRUE(gf_simKeyExists(5));
  EXPECT_TRUE(gf_getSimInstallPath(5).empty());
  EXPECT_TRUE(gf_getSimInstallPath(6).empty());
  test::ScopedEnv none("AMBT_REGISTRY", gf_pathText(reg.dir / "missing.reg"));
  EXPECT_FALSE(gf_simKeyExists(5));
}

TEST(Registry, NamesFoldTypesAndRoots) {
  AMB_SKIP_ON_WINDOWS("the registry file of the Linux backend; tests/win32 checks the real registry");
  RegistryFile reg;
  reg.write("[hkey_local_machine\\software\\lockheed martin\\PREPAR3D V5]\n@=\"default\"\n"
            "\"SimConnect_Port_IPv4\"=dword:0000275b\n\"\xC3\x9C" "ber\"=\"\xE2\x82\xAC\"\n"
            "[HKEY_CURRENT_USER\\Software\\Test]\n\"OnlyUser\"=\"cu\"\n");
  RegKey key;
  key.open(RegRoot::LocalMachine, kV5);
  EXPECT_EQ(key.getStringValue(u""), u"default");
  EXPECT_EQ(key.getStringValue(u"\u00FCBER"), u"\u20AC");
  EXPECT_EQ(key.getDwordValue(u"simconnect_port_ipv4"), 10075u);
  EXPECT_EQ(errorOf([&] { key.getStringValue(u"SimConnect_Port_IPv4"); }), 1630);
  EXPECT_EQ(errorOf([&] { key.getDwordValue(u""); }), 1630);
  EXPECT_EQ(errorOf([&] { key.getStringValue(u"Missing"); }), 2);
  EXPECT_EQ(openError(RegRoot::CurrentUser, u"SOFTWARE\\TEST"), 0);
  EXPECT_EQ(openError(RegRoot::LocalMachine, u"Software\\Test"), 2);
  EXPECT_EQ(openError(RegRoot::LocalMachine, u"SOFTWARE\\Lockheed Martin"), 0);  // above a section
  EXPECT_EQ(openError(RegRoot::LocalMachine, u"SOFTWARE\\Lockheed"), 2);
  key.close();
  EXPECT_EQ(errorOf([&] { key.getStringValue(u""); }), 6);
}

TEST(Registry, BadLinesAreSkippedAndTheRestCounts) {
  AMB_SKIP_ON_WINDOWS("the registry file of the Linux backend; tests/win32 checks the real registry");
  RegistryFile reg;
  reg.write("garbage\n" + kV5Head +
            "\"Unterminated\"=\"abc\n\"BadEscape\"=\"a\\nb\"\n\"TooLong\"=dword:123456789\n\"NotHex\"=dword:12g4\n"
            "\"Expand\"=hex(2):41,00,\\\n  00,00\n\"Trailing\"=\"x\" junk\n\"NoEquals\" \"x\"\n\"Bad\xC3\x28\"=\"x\"\n"
            "\"SetupPath\"=\"first\"\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\n\"Orphan\"=\"x\"\n"
            "[HKEY_CLASSES_ROOT\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\n\"SetupPath\"=\"wrong root\"\n" +
            kV6Head + "\"SetupPath\"=\"six\"\n\"Gone\"=\"x\"\n\"Gone\"=-\n" + kV5Head + "\"SetupPath\"=\"last\"\n");
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(5)), "last");  // sections merge, the later line wins
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(6)), "six");
  RegKey key;
  key.open(RegRoot::LocalMachine, kV5);
  for (const auto* name : {u"Unterminated", u"BadEscape", u"TooLong", u"NotHex", u"Expand", u"Trailing", u"NoEquals"})
    EXPECT_EQ(errorOf([&] { key.getStringValue(name); }) + errorOf([&] { key.getDwordValue(name); }), 4);
  EXPECT_EQ(openError(RegRoot::LocalMachine, u"SOFTWARE\\Broken"), 2);
  EXPECT_EQ(errorOf([] {
              RegKey k;
              k.open(RegRoot::LocalMachine, u"SOFTWARE\\Lockheed Martin\\Prepar3D v6");
              k.getStringValue(u"Gone");
            }),
            2);
}

TEST(Registry, Utf16FilesAndChangesAreRead) {
  AMB_SKIP_ON_WINDOWS("the registry file of the Linux backend; tests/win32 checks the real registry");
  RegistryFile reg;
  std::string bytes = "\xFF\xFE";
  for (char16_t c : gf_utf8ToUtf16(kV6Head + "\"SetupPath\"=\"C:\\\\Pr\xC3\xA9par3D \xF0\x9F\x9B\xA9\"\r\n"))
    bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  reg.write(bytes);
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(6)), "C:\\Pr\xC3\xA9par3D \xF0\x9F\x9B\xA9");

  reg.write("\xEF\xBB\xBF" + kV5Head + "\"SetupPath\"=\"one\"\n");
  RegKey open;
  open.open(RegRoot::LocalMachine, kV5);
  EXPECT_FALSE(gf_simKeyExists(6));
  reg.write(kV5Head + "\"SetupPath\"=\"two\"\n");
  EXPECT_EQ(open.getStringValue(u"SetupPath"), u"two");
  reg.write(kV6Head);  // the open key is gone
  EXPECT_EQ(errorOf([&] { open.getStringValue(u"SetupPath"); }), 1018);
}

}  // namespace
}  // namespace amb
