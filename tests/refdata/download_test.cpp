#include "refdata/download.hpp"

#include "core/files.hpp"
#include "core/user_error.hpp"
#include "http_server.hpp"
#include "refdata_fixture.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

namespace amb {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

class Downloads : public test::RefdataTest {
protected:
  void SetUp() override {
    test::RefdataTest::SetUp();
    useServerUrl(m_server.baseUrl());
  }

  std::string zipBytes(const std::vector<dbgen::ZipInput>& entries) {
    const auto zip = path("made.zip");
    dbgen::writeZip(zip, entries);
    std::string bytes = test::readFile(zip);
    fs::remove(zip);
    return bytes;
  }
  void serveDbase(const std::string& xml) { m_server.serve("dbase.zip", zipBytes({{"temp2.xml", xml}})); }

  // Leftovers of a download in the working folder.
  Strings leftovers() const {
    Strings names;
    for (const auto& e : fs::directory_iterator(m_dir.path())) {
      const auto name = e.path().filename().string();
      if (name.find(".zip") != std::string::npos || name.find(".part") != std::string::npos) names.push_back(name);
    }
    return names;
  }

  fs::path temp2() const { return path("input/temp2.xml"); }

  test::LoopbackHttpServer m_server;
};

TEST_F(Downloads, ReadsTheDataBaseOverHttp) {
  serveDbase(dbgen::writeXml(test::smallDataBase()));
  ASSERT_TRUE(lf_readDataBase());
  EXPECT_EQ(g_validModels.size(), 14u);
  EXPECT_EQ(g_regcodeInfos.size(), 5u);
  EXPECT_FALSE(fs::exists(temp2()));
  EXPECT_TRUE(leftovers().empty());
  const auto requests = m_server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].path, "dbase.zip");
  EXPECT_EQ(requests[0].userAgent, "AMBT");
}

TEST_F(Downloads, ReadsTheDataBaseFromAFileFolder) {
  const auto folder = useServerFolder();
  test::writeDbaseZip(folder, dbgen::writeXml(test::smallDataBase()));
  ASSERT_TRUE(lf_readDataBase());
  EXPECT_EQ(g_validModels.size(), 14u);
  EXPECT_FALSE(fs::exists(temp2()));
  EXPECT_TRUE(leftovers().empty());
  EXPECT_TRUE(fs::exists(folder / "dbase.zip"));  // the server's copy stays
}

TEST_F(Downloads, StatusErrorFailsTheReadAndKeepsWhatIsOnDisk) {
  test::writeFile(temp2(), "earlier text");
  for (int status : {404, 500}) {
    if (status != 404) m_server.serve("dbase.zip", "boom", status);
    try {
      lf_readDataBase();
      FAIL();
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "data base could not be read from on-line?");
    }
    EXPECT_TRUE(logHas("===> downloading dbase.zip failed?"));
    EXPECT_EQ(test::readFile(temp2()), "earlier text");
    EXPECT_TRUE(leftovers().empty());
  }
}

// Archives that cannot be unpacked: cut short (no directory), not a zip at all, and one whose entry
// fails its checksum. Each fails the read with no zip and no partial text left.
TEST_F(Downloads, BrokenArchivesFailTheRead) {
  const std::string good = zipBytes({{"temp2.xml", dbgen::writeXml(test::smallDataBase())}});
  const auto damagedPath = path("damaged.zip");
  test::writeFile(damagedPath, good);
  test::damageFirstEntry(damagedPath);
  const std::string damaged = test::readFile(damagedPath);
  fs::remove(damagedPath);
  for (const std::string& body : {good.substr(0, good.size() - 30), std::string("<html>nope</html>"), damaged}) {
    gf_resetDataBase();
    test::writeFile(temp2(), "stale");
    m_server.serve("dbase.zip", body);
    EXPECT_THROW(lf_readDataBase(), std::runtime_error);
    EXPECT_TRUE(logHas("===> unzipping dbase.zip failed?"));
    EXPECT_FALSE(fs::exists(temp2()));
    EXPECT_TRUE(leftovers().empty());
    EXPECT_TRUE(g_validModels.empty());
  }
}

TEST_F(Downloads, FolderOnlyArchiveLeavesTheDestinationUntouched) {
  m_server.serve("dbase.zip", zipBytes({{"data/", ""}}));
  test::writeFile(path("keep.txt"), "kept");
  EXPECT_EQ(gf_downloadAndUnzip("dbase.zip", path("keep.txt")), 1);
  EXPECT_EQ(test::readFile(path("keep.txt")), "kept");
  EXPECT_TRUE(leftovers().empty());
  // The data base reader then finds no "temp2.xml".
  try {
    lf_readDataBase();
    FAIL();
  } catch (const UserErrorException& e) {
    EXPECT_EQ(std::string(e.what()), "60: \"" + gf_pathText(g_inputFolder / "temp2.xml") + "\" not read because of File was not found");
  }
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Downloads, TheLastOfSeveralEntriesWins) {
  m_server.serve("AIG-regcodes.zip", zipBytes({{"first.xml", "first"}, {"sub/", ""}, {"second.xml", "second"}}));
  EXPECT_EQ(gf_downloadAndUnzip("AIG-regcodes.zip", path("input/AIG-regcodes.xml")), 1);
  EXPECT_EQ(test::readFile(path("input/AIG-regcodes.xml")), "second");
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Downloads, StalledServerTimesOut) {
  gf_setDownloadTimeouts({std::chrono::milliseconds(2000), std::chrono::milliseconds(1000), 0});
  m_server.hang("dbase.zip");
  EXPECT_THROW(lf_readDataBase(), std::runtime_error);
  EXPECT_TRUE(logHas("===> downloading dbase.zip failed?"));
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Downloads, OutputFolderMissingFailsWithoutNetworkAccess) {
  m_server.serve("x.txt", "x");
  Downloader d;
  const auto local = path("no/such/folder/x.txt");
  EXPECT_FALSE(gf_download(d, m_server.baseUrl() + "x.txt", local, true));
  EXPECT_TRUE(logHas("could not open output file: " + gf_pathText(local)));
  EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(Downloads, FailedTransferKeepsAnEarlierFile) {
  test::writeFile(path("x.txt"), "earlier");
  Downloader d;
  EXPECT_FALSE(gf_download(d, m_server.baseUrl() + "x.txt", path("x.txt"), true));
  EXPECT_EQ(test::readFile(path("x.txt")), "earlier");
  m_server.serve("x.txt", "line 1\nline 2\n");
  EXPECT_TRUE(gf_download(d, m_server.baseUrl() + "x.txt", path("x.txt"), false));
  EXPECT_EQ(test::readLines(path("x.txt")), (Strings{"line 1", "line 2"}));
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Downloads, ServerUrlChoice) {
  useServerUrl("http://127.0.0.1:1/base");
  EXPECT_EQ(gf_serverBaseUrl(), "http://127.0.0.1:1/base/");
  EXPECT_EQ(gf_serverP3dUrl(), "http://127.0.0.1:1/base/P3D/");
  m_env.reset();
  // Without the variable: the folder "server" beside this program.
#ifdef _WIN32
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const auto exeFolder = fs::path(self).parent_path();
#else
  const auto exeFolder = fs::read_symlink("/proc/self/exe").parent_path();
#endif
  EXPECT_EQ(gf_serverBaseUrl(), gf_fileUrl(exeFolder / "server", true));
#ifdef _WIN32
  EXPECT_EQ(gf_fileUrl(gf_pathFromUtf8("C:/a b/c%d/\xC3\xA9"), false), "file:///C:/a%20b/c%25d/%C3%A9");
#else
  EXPECT_EQ(gf_fileUrl("/a b/c%d/é", false), "file:///a%20b/c%25d/%C3%A9");
#endif
}

}  // namespace
}  // namespace amb
