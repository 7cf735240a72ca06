#include "refdata/updater.hpp"

#include "core/exit.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "http_server.hpp"
#include "refdata/zip_archive.hpp"
#include "refdata_fixture.hpp"
#include "settings/options.hpp"

#include <gtest/gtest.h>

#include <random>

namespace amb {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr const char* kZip105 = "setup_Ambertrail_P3D_d_v10.10.5.zip";
constexpr const char* kTryManually =
    "The downloading/unzipping of the new version failed? Try manually via Quillmoor website";

class Updater : public test::RefdataTest {
protected:
  void SetUp() override {
    test::RefdataTest::SetUp();
    gf_resetOptions();
    PROGRAM_INSTALL_PATH.setValue(gf_pathText(m_dir.path()));
    useServerUrl(m_server.baseUrl());
    std::mt19937 rng(5);
    m_installer.resize(700000);
    for (char& c : m_installer) c = static_cast<char>(rng());
  }
  void TearDown() override {
    gf_resetOptions();
    test::RefdataTest::TearDown();
  }

  std::string zipBytes(const std::vector<dbgen::ZipInput>& entries) {
    const auto zip = path("made.zip");
    dbgen::writeZip(zip, entries);
    std::string bytes = test::readFile(zip);
    fs::remove(zip);
    return bytes;
  }
  void serveVersion(const std::string& text) { m_server.serve("release/version_P3D.json", text); }
  void serveInstaller(const std::vector<dbgen::ZipInput>& entries) {
    m_server.serve(std::string("release/") + kZip105, zipBytes(entries));
  }
  std::string expectedInstruction() const {
    return "New version 10.10.5 available. Exit here, and run as administrator:   \"" +
           gf_pathText(m_dir.path() / "install_new_version.exe") + "\"";
  }
  bool onlyExpectedFilesLeft() const {
    return !fs::exists(path("version.json")) && !fs::exists(path(kZip105)) &&
           !fs::exists(path(std::string(kZip105) + ".part"));
  }
  std::string message() const { return gf_messageLineSnapshot().message; }

  test::LoopbackHttpServer m_server;
  std::string m_installer;
};

TEST_F(Updater, NewerServerVersionUnpacksTheInstallerAndStopsWithError99) {
  serveVersion("10.10.5\n");
  serveInstaller({{"install_new_version.exe", m_installer}});
  try {
    gf_checkForProgramUpdate();
    FAIL() << "no user error";
  } catch (const UserErrorException& e) {
    EXPECT_EQ(std::string(e.what()), expectedInstruction());
    // What the start-up's exception reporter makes of it: the instruction alone on the error line.
    gf_reportException("lf_workerStartUp");
    EXPECT_EQ(gf_messageLineSnapshot().error, expectedInstruction());
  }
  EXPECT_EQ(test::readFile(path("install_new_version.exe")), m_installer);
  EXPECT_TRUE(onlyExpectedFilesLeft());
  EXPECT_TRUE(logHas(std::string("downloaded ") + kZip105));
  EXPECT_TRUE(logHas(std::string(kZip105) + " unzipped to install_new_version.exe"));
  EXPECT_EQ(m_server.requestedPaths(), (Strings{"release/version_P3D.json", std::string("release/") + kZip105}));
}

TEST_F(Updater, JsonVersionFileWorksToo) {
  serveVersion("{\"major\": 10, \"minor\": 10, \"patch\": 5}\r\n");
  serveInstaller({{"install_new_version.exe", m_installer}});
  EXPECT_THROW(gf_checkForProgramUpdate(), UserErrorException);
  EXPECT_TRUE(fs::exists(path("install_new_version.exe")));
}

TEST_F(Updater, SameOrOlderServerVersionDoesNothing) {
  for (const char* served : {"10.10.4", "10.9.99", "9.99.99"}) {
    serveVersion(served);
    EXPECT_NO_THROW(gf_checkForProgramUpdate());
  }
  EXPECT_EQ(m_server.requestedPaths().size(), 3u);  // only the version file, three times
  EXPECT_EQ(message(), "");
  EXPECT_FALSE(fs::exists(path("install_new_version.exe")));
  EXPECT_FALSE(logHas("===> Program Version file not found?"));
  EXPECT_TRUE(onlyExpectedFilesLeft());
}

TEST_F(Updater, NoUsableVersionFile) {
  const std::string url = m_server.baseUrl() + "release/version_P3D.json";
  // Missing (404): the download's own line, then the update check's.
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_TRUE(logHas("===> downloading \"" + url + "\" failed"));
  EXPECT_TRUE(logHas("===> Program Version file not found?"));
  // Empty, or not a version.
  for (const char* served : {"", "abc\n"}) {
    serveVersion(served);
    EXPECT_NO_THROW(gf_checkForProgramUpdate());
    EXPECT_TRUE(onlyExpectedFilesLeft());
  }
  const auto lines = logLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "===> Program Version file not found?"), 3);
  EXPECT_EQ(m_server.requestedPaths().size(), 3u);
}

TEST_F(Updater, StalledVersionServerTimesOut) {
  gf_setDownloadTimeouts({std::chrono::milliseconds(2000), std::chrono::milliseconds(1000), 0});
  m_server.hang("release/version_P3D.json");
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_TRUE(logHas("===> Program Version file not found?"));
  EXPECT_TRUE(onlyExpectedFilesLeft());
}

TEST_F(Updater, InstallerDownloadFailureIsShownAndTheStartGoesOn) {
  serveVersion("10.10.5");
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_TRUE(logHas("Downloading program installer file version 10.10.5 failed"));
  EXPECT_TRUE(logHas(kTryManually));
  EXPECT_EQ(message(), kTryManually);
  EXPECT_TRUE(onlyExpectedFilesLeft());
}

TEST_F(Updater, InstallerArchiveThatCannotBeOpened) {
  serveVersion("10.10.5");
  m_server.serve(std::string("release/") + kZip105, "not a zip");
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_TRUE(logHas(std::string("===> could not open ") + kZip105));
  EXPECT_EQ(message(), kTryManually);
  EXPECT_TRUE(onlyExpectedFilesLeft());
}

// The installer is the archive's .exe entry; folder entries and other files around it are not
// unpacked over it.
TEST_F(Updater, InstallerIsTheExeEntryWhateverSurroundsIt) {
  serveVersion("10.10.5");
  serveInstaller({{"readme.txt", "read me"}, {"Setup.EXE", m_installer}, {"docs/", ""}, {"notes.txt", "x"}});
  EXPECT_THROW(gf_checkForProgramUpdate(), UserErrorException);
  EXPECT_EQ(test::readFile(path("install_new_version.exe")), m_installer);
  EXPECT_TRUE(onlyExpectedFilesLeft());
}

TEST_F(Updater, BrokenInstallerEntryIsNeverReportedAsSuccess) {
  serveVersion("10.10.5");
  // A damaged entry, and an archive holding only a folder.
  const auto damaged = path("damaged.zip");
  dbgen::writeZip(damaged, {{"install_new_version.exe", m_installer}});
  test::damageFirstEntry(damaged);
  m_server.serve(std::string("release/") + kZip105, test::readFile(damaged));
  fs::remove(damaged);
  test::writeFile(path("install_new_version.exe"), "older installer");
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_TRUE(logHas("===> unzipping error code : " + std::to_string(kZipErrorRead)));
  EXPECT_FALSE(fs::exists(path("install_new_version.exe")));
  EXPECT_EQ(message(), kTryManually);

  gf_clearMessage();
  serveInstaller({{"installer/", ""}});
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_TRUE(logHas(std::string("===> no installer in ") + kZip105));
  EXPECT_FALSE(fs::exists(path("install_new_version.exe")));
  EXPECT_EQ(message(), kTryManually);
  EXPECT_TRUE(onlyExpectedFilesLeft());
}

TEST_F(Updater, NotRepeatedAfterARestart) {
  serveVersion("10.10.5");
  serveInstaller({{"install_new_version.exe", m_installer}});
  g_restartPending = 1;
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(Updater, InstallerNameFollowsTheVersion) {
  serveVersion("10.11.0");
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_EQ(m_server.requestedPaths(),
            (Strings{"release/version_P3D.json", "release/setup_Ambertrail_P3D_d_v10.11.0.zip"}));
}

#ifdef AMB_SERVER_FOLDER
// The folder "server" that the build lays out beside the program: the program starts offline from
// it, reads the generated data base and finds its own version, so no update.
class PackagedServer : public test::RefdataTest {};

TEST_F(PackagedServer, StartsOffline) {
  useServerUrl(gf_fileUrl(AMB_SERVER_FOLDER, true));
  EXPECT_EQ(lf_readServerVersion(), g_programVersion);
  EXPECT_NO_THROW(gf_checkForProgramUpdate());
  EXPECT_FALSE(logHas("===> Program Version file not found?"));
  ASSERT_TRUE(lf_readDataBase());
  EXPECT_GT(g_validModels.size(), 1000u);
  EXPECT_EQ(gf_airlineOfRegistration("N355DN"), "DAL");
  EXPECT_FALSE(fs::exists(path("input/temp2.xml")));
  EXPECT_FALSE(fs::exists(path("dbase.zip")));
  EXPECT_FALSE(fs::exists(path("version.json")));
}
#endif

}  // namespace
}  // namespace amb
