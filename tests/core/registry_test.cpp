#include "core/files.hpp"
#include "core/registry.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace amb {
namespace {

namespace fs = std::filesystem;
using platform::RegRoot;
using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::u16string kV5 = u"SOFTWARE\\Lockheed Martin\\Prepar3D v5";
const std::u16string kV6 = u"SOFTWARE\\Lockheed Martin\\Prepar3D v6";

// A registry file in a private folder, named by AMBT_REGISTRY while the object lives.
class RegistryFile {
public:
  RegistryFile() : m_path(m_dir / "registry.reg"), m_env("AMBT_REGISTRY", gf_pathText(m_path)) {}
  // Each write moves the modification time on, so the change is seen even on coarse clocks.
  void write(const std::string& bytes) {
    writeFile(m_path, bytes);
    m_stamp += std::chrono::seconds(1);
    fs::last_write_time(m_path, m_stamp);
  }
  const fs::path& path() const { return m_path; }
  const TempDir& dir() const { return m_dir; }

private:
  TempDir m_dir;
  fs::path m_path;
  ScopedEnv m_env;
  fs::file_time_type m_stamp = fs::file_time_type::clock::now();
};

std::u16string stringValue(RegRoot root, const std::u16string& key, const std::u16string& name) {
  RegKey k;
  k.open(root, key);
  return k.getStringValue(name);
}

long errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const winreg::RegException& e) {
    return e.code().value();
  }
  return 0;
}

TEST(Registry, OnlyVersionSixInstalled) {
  RegistryFile reg;
  reg.write(std::string(kHeader) +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\r\n"
            "\"SetupPath\"=\"C:\\\\Program Files\\\\Lockheed Martin\\\\Prepar3D v6\\\\\"\r\n");
  EXPECT_FALSE(gf_simKeyExists(5));
  EXPECT_TRUE(gf_simKeyExists(6));
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(6)), "C:\\Program Files\\Lockheed Martin\\Prepar3D v6\\");
  EXPECT_TRUE(gf_getSimInstallPath(5).empty());
  // Other versions have no key, although the root key they would name exists.
  EXPECT_FALSE(gf_simKeyExists(4));
  EXPECT_FALSE(gf_simKeyExists(0));
  EXPECT_TRUE(gf_getSimInstallPath(7).empty());
}

TEST(Registry, KeyWithoutSetupPathGivesAnEmptyPath) {
  RegistryFile reg;
  reg.write(std::string(kHeader) +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
            "\"SetupPathX\"=\"D:\\\\P3D\"\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\n"
            "\"SetupPath\"=dword:00000001\n");
  EXPECT_TRUE(gf_simKeyExists(5));
  EXPECT_TRUE(gf_getSimInstallPath(5).empty());
  EXPECT_TRUE(gf_getSimInstallPath(6).empty());  // not a string value
}

TEST(Registry, NoFileNoKeys) {
  {
    ScopedEnv none("AMBT_REGISTRY", "");
    EXPECT_FALSE(gf_simKeyExists(5));
    EXPECT_FALSE(gf_simKeyExists(6));
  }
  TempDir dir;
  ScopedEnv missing("AMBT_REGISTRY", gf_pathText(dir / "missing.reg"));
  EXPECT_FALSE(gf_simKeyExists(6));
  RegKey key;
  EXPECT_EQ(errorOf([&] { key.open(RegRoot::LocalMachine, kV6); }), 2);
  try {
    key.open(RegRoot::LocalMachine, kV6);
  } catch (const std::system_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("RegOpenKeyExW failed.", 0), 0u) << e.what();
  }
  EXPECT_FALSE(key.isOpen());
}

TEST(Registry, ValuesNamesEscapesAndTypes) {
  RegistryFile reg;
  reg.write(std::string(kHeader) +
            "[hkey_local_machine\\software\\lockheed martin\\PREPAR3D V5]\n"
            "\"setuppath\"=\"D:\\\\Sims\\\\P3D \\\"five\\\"\"\n"
            "@=\"the default\"\n"
            "\"SimConnect_Port_IPv4\"=dword:0000275b\n"
            "\"Small\"=dword:ff\n"
            "\"\xC3\x9C" "ber\"=\"\xE2\x82\xAC\"\n"
            "[HKEY_CURRENT_USER\\Software\\Test]\n"
            "\"OnlyUser\"=\"cu\"\n");
  EXPECT_EQ(stringValue(RegRoot::LocalMachine, kV5, u"SetupPath"), u"D:\\Sims\\P3D \"five\"");
  EXPECT_EQ(stringValue(RegRoot::LocalMachine, kV5, u""), u"the default");
  EXPECT_EQ(stringValue(RegRoot::LocalMachine, kV5, u"\u00FCBER"), u"\u20AC");  // Latin-1 letters fold too
  RegKey key;
  key.open(RegRoot::LocalMachine, kV5);
  EXPECT_EQ(key.getDwordValue(u"simconnect_port_ipv4"), 10075u);
  EXPECT_EQ(key.getDwordValue(u"Small"), 255u);
  EXPECT_EQ(errorOf([&] { key.getStringValue(u"SimConnect_Port_IPv4"); }), 1630);
  EXPECT_EQ(errorOf([&] { key.getDwordValue(u"SetupPath"); }), 1630);
  EXPECT_EQ(errorOf([&] { key.getStringValue(u"Missing"); }), 2);
  try {
    key.getStringValue(u"Missing");
  } catch (const std::system_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot get size of string value: RegGetValueW failed.", 0), 0u);
  }

  // The two roots are apart; the keys above a section exist, a mere prefix of a name does not.
  EXPECT_EQ(stringValue(RegRoot::CurrentUser, u"SOFTWARE\\TEST", u"onlyuser"), u"cu");
  EXPECT_EQ(errorOf([] { RegKey k; k.open(RegRoot::LocalMachine, u"Software\\Test"); }), 2);
  EXPECT_EQ(errorOf([] { RegKey k; k.open(RegRoot::LocalMachine, u"SOFTWARE\\Lockheed Martin"); }), 0);
  EXPECT_EQ(errorOf([] { RegKey k; k.open(RegRoot::LocalMachine, u"SOFTWARE"); }), 0);
  EXPECT_EQ(errorOf([] { RegKey k; k.open(RegRoot::LocalMachine, u"SOFTWARE\\Lockheed"); }), 2);
  EXPECT_EQ(errorOf([] { RegKey k; k.open(RegRoot::LocalMachine, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5\\X"); }), 2);
}

TEST(Registry, BadLinesAreSkippedAndTheRestCounts) {
  RegistryFile reg;
  reg.write(std::string(kHeader) +
            "; a comment\n"
            "garbage line\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
            "\"Unterminated\"=\"abc\n"
            "\"BadEscape\"=\"a\\nb\"\n"
            "\"TooLong\"=dword:123456789\n"
            "\"NotHex\"=dword:12g4\n"
            "\"Expand\"=hex(2):41,00,42,00,\\\n"
            "  00,00\n"
            "\"Trailing\"=\"x\" junk\n"
            "\"Bad\xC3\x28\"=\"invalid UTF-8\"\n"
            "\"NoEquals\" \"x\"\n"
            "\"SetupPath\"=\"D:\\\\P3Dv5\"\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\n"
            "\"Orphan\"=\"goes nowhere\"\n"
            "[HKEY_CLASSES_ROOT\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
            "\"SetupPath\"=\"wrong root\"\n"
            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\n"
            "\"SetupPath\"=\"E:\\\\P3Dv6\"\n"
            "\"Gone\"=\"x\"\n"
            "\"Gone\"=-\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
            "\"Second\"=\"merged\"\n"
            "\"SetupPath\"=\"D:\\\\P3Dv5 last\"\n");
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(5)), "D:\\P3Dv5 last");  // the later line wins
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(6)), "E:\\P3Dv6");
  EXPECT_EQ(stringValue(RegRoot::LocalMachine, kV5, u"Second"), u"merged");
  RegKey key;
  key.open(RegRoot::LocalMachine, kV5);
  for (const auto* name : {u"Unterminated", u"BadEscape", u"TooLong", u"NotHex", u"Expand", u"Trailing", u"NoEquals"})
    EXPECT_EQ(errorOf([&] { key.getStringValue(name); }) + errorOf([&] { key.getDwordValue(name); }), 4)
        << gf_utf16ToUtf8(name);
  EXPECT_EQ(errorOf([] { RegKey k; k.open(RegRoot::LocalMachine, u"SOFTWARE\\Broken"); }), 2);
  EXPECT_EQ(errorOf([] { stringValue(RegRoot::LocalMachine, kV6, u"Gone"); }), 2);
}

TEST(Registry, Utf16FileAsRegeditWritesIt) {
  RegistryFile reg;
  const std::u16string text = gf_utf8ToUtf16(
      std::string(kHeader) +
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\r\n"
      "\"SetupPath\"=\"C:\\\\Sims\\\\Pr\xC3\xA9par3D \xF0\x9F\x9B\xA9\\\\\"\r\n\r\n");
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  reg.write(bytes);
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(6)), "C:\\Sims\\Pr\xC3\xA9par3D \xF0\x9F\x9B\xA9\\");

  reg.write("\xEF\xBB\xBF" "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n\"SetupPath\"=\"bom\"\n");
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(5)), "bom");
  EXPECT_FALSE(gf_simKeyExists(6));
}

TEST(Registry, TheFileIsReadAgainWhenItChanges) {
  RegistryFile reg;
  reg.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n\"SetupPath\"=\"one\"\n");
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(5)), "one");
  RegKey open;
  open.open(RegRoot::LocalMachine, kV5);

  reg.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n\"SetupPath\"=\"two\"\n");
  EXPECT_EQ(gf_pathText(gf_getSimInstallPath(5)), "two");
  EXPECT_EQ(open.getStringValue(u"SetupPath"), u"two");

  // The key of an open handle goes away.
  reg.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\n");
  EXPECT_FALSE(gf_simKeyExists(5));
  EXPECT_EQ(errorOf([&] { open.getStringValue(u"SetupPath"); }), 1018);

  // Another file.
  const fs::path other = reg.dir() / "other.reg";
  writeFile(other, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n");
  ScopedEnv env("AMBT_REGISTRY", gf_pathText(other));
  EXPECT_TRUE(gf_simKeyExists(5));
  EXPECT_FALSE(gf_simKeyExists(6));
}

TEST(Registry, ClosedKeysHoldNoHandle) {
  RegistryFile reg;
  reg.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n\"SetupPath\"=\"x\"\n");
  RegKey key;
  key.open(RegRoot::LocalMachine, kV5);
  EXPECT_TRUE(key.isOpen());
  key.close();
  EXPECT_FALSE(key.isOpen());
  EXPECT_EQ(errorOf([&] { key.getStringValue(u"SetupPath"); }), 6);
  key.close();  // twice is harmless
}

}  // namespace
}  // namespace amb
