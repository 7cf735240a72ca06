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

// The registry file of the Linux backend, named by AMBT_REGISTRY; each write moves its time on.
class Registry : public ::testing::Test {
protected:
  void SetUp() override { AMB_SKIP_ON_WINDOWS("the registry file of the Linux backend; tests/win32 checks the real one"); }
  void write(const std::string& bytes) {
    test::writeFile(m_path, bytes);
    fs::last_write_time(m_path, m_stamp += std::chrono::seconds(1));
  }
  // The error code of a failing registry call, 0 when it succeeds.
  static long errorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const winreg::RegException& e) {
      return e.code().value();
    }
    return 0;
  }
  static long openError(RegRoot root, const std::u16string& key) {
    return errorOf([&] { RegKey().open(root, key); });
  }

  test::TempDir m_dir;
  fs::path m_path = m_dir / "registry.reg";
  test::ScopedEnv m_env{"AMBT_REGISTRY", gf_pathText(m_path)};
  fs::file_time_type m_stamp = fs::file_time_type::clock::now();
};

TEST_F(Registry, SimulatorKeysAndInstallPaths) {
  write("Windows Registry Editor Version 5.00\r\n\r\n" + kV6Head +
        "\"SetupPath\"=\"C:\\\\Program Files\\\\P3D \\\"v6\\\"\\\\\"\r\n");
  EXPECT_FALSE(gf_simKeyExists(5));
  EXPECT_TRUE(gf_simKeyExists(6));
  EXPECT_FALSE(gf_simKeyExists(4));  // would name the root key itself
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(6)), "C:\\Program Files\\P3D \"v6\"\\");
  EXPECT_EQ(openError(RegRoot::LocalMachine, kV5), 2);
  // A key without a string "SetupPath" gives an empty path, not an exception.
  write(kV5Head + "\"SetupPathX\"=\"D:\\\\P3D\"\n" + kV6Head + "\"SetupPath\"=dword:00000001\n");
  EXPECT_TRUE(gf_simKeyExists(5));
  EXPECT_TRUE(gf_getSimInstallPath(5).empty() && gf_getSimInstallPath(6).empty());
  test::ScopedEnv none("AMBT_REGISTRY", gf_pathText(m_dir / "missing.reg"));
  EXPECT_FALSE(gf_simKeyExists(5));
}

TEST_F(Registry, NamesFoldTypesAndRoots) {
  // UTF-16 with its byte-order mark, as regedit writes it.
  std::string bytes = "\xFF\xFE";
  for (char16_t c : gf_utf8ToUtf16("[hkey_local_machine\\software\\lockheed martin\\PREPAR3D V5]\n@=\"default\"\n"
                                   "\"SimConnect_Port_IPv4\"=dword:0000275b\n\"\xC3\x9C" "ber\"=\"\xF0\x9F\x9B\xA9\"\n"
                                   "[HKEY_CURRENT_USER\\Software\\Test]\n\"OnlyUser\"=\"cu\"\n"))
    bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  write(bytes);
  RegKey key;
  key.open(RegRoot::LocalMachine, kV5);
  EXPECT_EQ(key.getStringValue(u""), u"default");
  EXPECT_EQ(key.getStringValue(u"\u00FCBER"), u"\U0001F6E9");
  EXPECT_EQ(key.getDwordValue(u"simconnect_port_ipv4"), 10075u);
  EXPECT_EQ(errorOf([&] { key.getStringValue(u"SimConnect_Port_IPv4"); }), 1630);
  EXPECT_EQ(errorOf([&] { key.getStringValue(u"Missing"); }), 2);
  EXPECT_EQ(openError(RegRoot::CurrentUser, u"SOFTWARE\\TEST"), 0);
  EXPECT_EQ(openError(RegRoot::LocalMachine, u"Software\\Test"), 2);
  EXPECT_EQ(openError(RegRoot::LocalMachine, u"SOFTWARE\\Lockheed Martin"), 0);  // above a section
  // A change of the file reaches a key that is open.
  write("\xEF\xBB\xBF" + kV5Head + "\"SetupPath\"=\"two\"\n");  // UTF-8 with its mark
  EXPECT_EQ(key.getStringValue(u"SetupPath"), u"two");
}

TEST_F(Registry, BadLinesAreSkippedAndTheRestCounts) {
  write("garbage\n" + kV5Head +
        "\"Unterminated\"=\"abc\n\"BadEscape\"=\"a\\nb\"\n\"TooLong\"=dword:123456789\n\"NotHex\"=dword:12g4\n"
        "\"Expand\"=hex(2):41,00,\\\n  00,00\n\"Trailing\"=\"x\" junk\n\"NoEquals\" \"x\"\n\"Bad\xC3\x28\"=\"x\"\n"
        "\"SetupPath\"=\"first\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\n\"Orphan\"=\"x\"\n"
        "[HKEY_CLASSES_ROOT\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\n\"SetupPath\"=\"wrong root\"\n" +
        kV6Head + "\"SetupPath\"=\"six\"\n\"Gone\"=\"x\"\n\"Gone\"=-\n" + kV5Head + "\"SetupPath\"=\"last\"\n");
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(5)), "last");  // sections merge, the later line wins
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(6)), "six");
  RegKey key;
  key.open(RegRoot::LocalMachine, kV5);
  for (const auto* name : {u"Unterminated", u"BadEscape", u"TooLong", u"NotHex", u"Expand", u"Trailing", u"NoEquals"})
    EXPECT_EQ(errorOf([&] { key.getStringValue(name); }) + errorOf([&] { key.getDwordValue(name); }), 4);
  EXPECT_EQ(openError(RegRoot::LocalMachine, u"SOFTWARE\\Broken"), 2);
  RegKey six;
  six.open(RegRoot::LocalMachine, u"SOFTWARE\\Lockheed Martin\\Prepar3D v6");
  EXPECT_EQ(errorOf([&] { six.getStringValue(u"Gone"); }), 2);
}

}  // namespace
}  // namespace amb
