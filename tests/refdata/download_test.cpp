// Downloads of the data base and the update check against a loopback HTTP server and file folders.

#include "refdata/download.hpp"

#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "http_server.hpp"
#include "refdata/updater.hpp"
#include "refdata/zip_archive.hpp"
#include "refdata_fixture.hpp"
#include "settings/options.hpp"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

namespace amb {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using test::zipBytes;

class Downloads : public test::RefdataTest {
protected:
  void SetUp() override {
    test::RefdataTest::SetUp();
    useServerUrl(m_server.baseUrl());
    gf_setDownloadTimeouts({std::chrono::milliseconds(2000), std::chrono::milliseconds(1000), 0});
  }
  // No leftovers of a download in the working folder.
  bool noLeftovers() const {
    return std::none_of(fs::directory_iterator(m_dir.path()), fs::directory_iterator(), [](const auto& e) {
      const auto name = e.path().filename().string();
      return name.ends_with(".zip") || name.ends_with(".part") || name == "version.json";
    });
  }
  fs::path temp2() const { return path("input/temp2.xml"); }
  const std::string m_dbase = zipBytes({{"temp2.xml", dbgen::writeXml(test::smallDataBase())}});

  test::LoopbackHttpServer m_server;
};

TEST_F(Downloads, ReadsTheDataBaseOverHttpAndFromAFileFolder) {
  m_server.serve("dbase.zip", m_dbase);
  ASSERT_TRUE(lf_readDataBase());
  EXPECT_EQ(g_regcodeInfos.size(), 5u);
  EXPECT_FALSE(fs::exists(temp2()));
  EXPECT_TRUE(noLeftovers());
  const auto requests = m_server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].path + " " + requests[0].userAgent, "dbase.zip AMBT");

  gf_resetDataBase();
  test::writeFile(path("server/dbase.zip"), m_dbase);
  useServerUrl(gf_fileUrl(path("server"), true));
  ASSERT_TRUE(lf_readDataBase());
  EXPECT_EQ(g_validModels.size(), 14u);
  EXPECT_TRUE(noLeftovers());
  EXPECT_TRUE(fs::exists(path("server/dbase.zip")));  // the server's copy stays
}

// A failed download keeps the text on disk; an archive that cannot be unpacked (cut short, not a
// zip, an entry failing its checksum) leaves no partial text. Neither leaves a zip behind.
TEST_F(Downloads, FailedDataBaseDownloadsLeaveNoZipAndLoseNothing) {
  const struct {
    int status;  // 0: the server never answers; -1: nothing served
    std::string body;
    bool downloaded;
  } cases[] = {{-1, "", false},
               {0, "", false},
               {200, m_dbase.substr(0, m_dbase.size() - 30), true},
               {200, zipBytes({{"temp2.xml", dbgen::writeXml(test::smallDataBase())}}, true), true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    gf_resetDataBase();
    test::writeFile(temp2(), "earlier text");
    if (c.status >= 0) m_server.serve("dbase.zip", c.body, c.status);
    EXPECT_EQ(test::thrownText<std::runtime_error>(lf_readDataBase), "data base could not be read from on-line?");
    EXPECT_TRUE(logHas(c.downloaded ? "===> unzipping dbase.zip failed?" : "===> downloading dbase.zip failed?"));
    EXPECT_EQ(fs::exists(temp2()), !c.downloaded);
    EXPECT_TRUE(noLeftovers());
    EXPECT_TRUE(g_validModels.empty());
  }
}

TEST_F(Downloads, ArchivesWithAFolderOrSeveralEntries) {
  m_server.serve("dbase.zip", zipBytes({{"data/", ""}}));
  test::writeFile(path("keep.txt"), "kept");
  EXPECT_EQ(gf_downloadAndUnzip("dbase.zip", path("keep.txt")), 1);
  EXPECT_EQ(test::readFile(path("keep.txt")), "kept");
  // The data base reader then finds no "temp2.xml".
  EXPECT_EQ(test::thrownText<UserErrorException>(lf_readDataBase),
            "60: \"" + gf_pathText(g_inputFolder / "temp2.xml") + "\" not read because of File was not found");
  m_server.serve("two.zip", zipBytes({{"first.xml", "first"}, {"sub/", ""}, {"second.xml", "second"}}));
  EXPECT_EQ(gf_downloadAndUnzip("two.zip", path("input/two.xml")), 1);
  EXPECT_EQ(test::readFile(path("input/two.xml")), "second");  // the last entry wins
  EXPECT_TRUE(noLeftovers());
}

// A small archive may unpack to gigabytes, and an empty one holds no data base: both fail like a
// damaged archive, leaving neither the earlier text, a partial one nor the zip.
TEST_F(Downloads, ArchivesTooLargeUnpackedOrEmptyFail) {
  g_maxUnpackedBytes = 1 << 20;
  const std::string zeros(700 * 1024, '0');
  const std::string endOfDirectoryOnly = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  const struct {
    const char* what;
    std::string zip;
  } cases[] = {{"one entry over the limit", zipBytes({{"temp2.xml", zeros + zeros}})},
               {"entries over the limit together", zipBytes({{"a.xml", zeros}, {"temp2.xml", zeros}})},
               {"no entries", endOfDirectoryOnly}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::writeFile(temp2(), "earlier text");
    m_server.serve("dbase.zip", c.zip);
    EXPECT_EQ(gf_downloadDbase(temp2()), 0);
    EXPECT_TRUE(logHas("===> unzipping dbase.zip failed?"));
    EXPECT_FALSE(fs::exists(temp2()));
    EXPECT_TRUE(noLeftovers());
    EXPECT_TRUE(fs::is_empty(path("input")));
  }
  // Up to the limit is fine.
  m_server.serve("dbase.zip", zipBytes({{"a.xml", zeros}, {"temp2.xml", "<aircrafts/>"}}));
  EXPECT_EQ(gf_downloadDbase(temp2()), 1);
  EXPECT_EQ(test::readFile(temp2()), "<aircrafts/>");
}

TEST_F(Downloads, ServerUrlChoice) {
  m_env.reset();
  // Without the variable: the folder "server" beside this program.
#ifdef _WIN32
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(gf_serverBaseUrl(), gf_fileUrl(fs::path(self).parent_path() / "server", true));
  EXPECT_EQ(gf_fileUrl(gf_pathFromUtf8("C:/a b/c%d/\xC3\xA9"), false), "file:///C:/a%20b/c%25d/%C3%A9");
#else
  EXPECT_EQ(gf_serverBaseUrl(), gf_fileUrl(fs::read_symlink("/proc/self/exe").parent_path() / "server", true));
  EXPECT_EQ(gf_fileUrl("/a b/c%d/é", false), "file:///a%20b/c%25d/%C3%A9");
#endif
}

// ---- The update check ---------------------------------------------------------------------------

constexpr const char* kZip105 = "setup_Ambertrail_P3D_d_v10.10.5.zip";
constexpr const char* kTryManually =
    "The downloading/unzipping of the new version failed? Try manually via Quillmoor website";

class Updater : public Downloads {
protected:
  void SetUp() override {
    Downloads::SetUp();
    gf_resetOptions();
    PROGRAM_INSTALL_PATH.setValue(gf_pathText(m_dir.path()));
    std::mt19937 rng(5);
    for (char& c : m_installer) c = static_cast<char>(rng());
  }
  void TearDown() override {
    gf_resetOptions();
    Downloads::TearDown();
  }
  void serveVersion(const std::string& text) { m_server.serve("release/version_P3D.json", text); }
  void serveInstaller(const std::string& zip) { m_server.serve(std::string("release/") + kZip105, zip); }
  fs::path exe() const { return path("install_new_version.exe"); }
  std::string message() const { return gf_messageLineSnapshot().message; }

  std::string m_installer = std::string(700000, '\0');
};

// The installer is the .exe entry, whatever other entries surround it.
TEST_F(Updater, ANewerVersionUnpacksTheInstallerAndStopsWithTheInstruction) {
  const std::string instruction = "New version 10.10.5 available. Exit here, and run as administrator:   \"" +
                                  gf_pathText(exe()) + "\"";
  const std::pair<const char*, std::string> cases[] = {
      {"10.10.5\n", zipBytes({{"install_new_version.exe", m_installer}})},
      {"{\"major\": 10, \"minor\": 10, \"patch\": 5}\r\n",
       zipBytes({{"readme.txt", "read me"}, {"Setup.EXE", m_installer}, {"docs/", ""}, {"notes.txt", "x"}})}};
  for (const auto& [served, zip] : cases) {
    SCOPED_TRACE(served);
    serveVersion(served);
    serveInstaller(zip);
    fs::remove(exe());
    try {
      gf_checkForProgramUpdate();
      ADD_FAILURE() << "no user error";
    } catch (const UserErrorException& e) {
      EXPECT_EQ(std::string(e.what()), instruction);
      gf_reportException("lf_workerStartUp");  // the start-up's reporter shows it alone
      EXPECT_EQ(gf_messageLineSnapshot().error, instruction);
    }
    EXPECT_EQ(test::readFile(exe()), m_installer);
    EXPECT_TRUE(noLeftovers());
  }
  EXPECT_TRUE(logHas(std::string(kZip105) + " unzipped to install_new_version.exe"));
  EXPECT_EQ(m_server.requestedPaths().at(1), std::string("release/") + kZip105);
}

TEST_F(Updater, TheSameOrAnOlderVersionOrNoUsableVersionFileDoesNothing) {
  EXPECT_NO_THROW(gf_checkForProgramUpdate());  // no version file (404)
  EXPECT_TRUE(logHas("===> downloading \"" + m_server.baseUrl() + "release/version_P3D.json\" failed"));
  for (const char* served : {"10.10.4", "9.99.99", "", "abc\n"}) {
    serveVersion(served);
    EXPECT_NO_THROW(gf_checkForProgramUpdate());
  }
  m_server.serve("release/version_P3D.json", "", 0);  // a server that never answers
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_EQ(m_server.requestedPaths().size(), 6u);  // only the version file
  EXPECT_EQ(message(), "");
  EXPECT_FALSE(fs::exists(exe()));
  EXPECT_TRUE(noLeftovers());
  const auto lines = test::readLines(path("Log.txt"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "===> Program Version file not found?"), 4);
}

// A broken installer archive is never reported as success: the older installer is gone, the user
// is told to update by hand and the start goes on.
TEST_F(Updater, ABrokenInstallerArchiveTellsTheUserToUpdateByHand) {
  serveVersion("10.10.5");
  const std::tuple<std::string, std::string, bool> cases[] = {
      {"", "Downloading program installer file version 10.10.5 failed", true},
      {"not a zip", std::string("===> could not open ") + kZip105, true},
      {zipBytes({{"install_new_version.exe", m_installer}}, true),
       "===> unzipping error code : " + std::to_string(kZipErrorRead), false},
      {zipBytes({{"installer/", ""}}), std::string("===> no installer in ") + kZip105, true}};
  for (const auto& [zip, logLine, olderKept] : cases) {
    SCOPED_TRACE(logLine);
    if (!zip.empty()) serveInstaller(zip);
    test::writeFile(exe(), "older installer");
    gf_clearMessage();
    EXPECT_NO_THROW(gf_checkForProgramUpdate());
    EXPECT_TRUE(logHas(logLine));
    EXPECT_EQ(message(), kTryManually);
    EXPECT_EQ(fs::exists(exe()), olderKept);
    EXPECT_TRUE(noLeftovers());
  }
  // An installer that would unpack to more than any download may is not unpacked.
  g_maxUnpackedBytes = m_installer.size() - 1;
  serveInstaller(zipBytes({{"install_new_version.exe", m_installer}}));
  gf_clearMessage();
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_TRUE(logHas("===> unzipping error code : " + std::to_string(kZipErrorTooLarge)));
  EXPECT_EQ(message(), kTryManually);
  EXPECT_FALSE(fs::exists(exe()));
  EXPECT_TRUE(noLeftovers());
}

TEST_F(Updater, NotRepeatedAfterARestartAndTheInstallerNameFollowsTheVersion) {
  serveVersion("10.11.0");
  g_restartPending = 1;
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_TRUE(m_server.requests().empty());
  g_restartPending = 0;
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_EQ(m_server.requestedPaths(),
            (Strings{"release/version_P3D.json", "release/setup_Ambertrail_P3D_d_v10.11.0.zip"}));
}

#ifdef AMB_SERVER_FOLDER
// The folder "server" that the build lays out beside the program: the program starts offline from
// it, reads the generated data base and finds its own version, so no update.
TEST_F(Downloads, ThePackagedServerStartsOffline) {
  useServerUrl(gf_fileUrl(AMB_SERVER_FOLDER, true));
  EXPECT_EQ(lf_readServerVersion(), g_programVersion);
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_FALSE(logHas("===> Program Version file not found?"));
  ASSERT_TRUE(lf_readDataBase());
  EXPECT_GT(g_validModels.size(), 1000u);
  EXPECT_EQ(gf_airlineOfRegistration("N355DN"), "DAL");
  EXPECT_EQ(gf_aircraftCategory("A388"), Heavy);
  EXPECT_TRUE(noLeftovers());
}
#endif

}  // namespace
}  // namespace amb
